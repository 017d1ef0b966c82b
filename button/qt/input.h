#pragma once

// Qt's input vocabulary in the terms the button's handlers use: Windows
// virtual-key codes, character codes, and the Button and Shift bit sets.

#include <QString>
#include <Qt>
#include <cstdint>
#include <optional>

namespace vx::qt {

// Shift argument: 1 Shift, 2 Ctrl, 4 Alt.
std::int16_t ShiftState(Qt::KeyboardModifiers modifiers);

// Button argument of a press or release. The mapping of Qt's buttons:
//   Qt::LeftButton   -> 1
//   Qt::RightButton  -> 2
//   Qt::MiddleButton -> 4
//   anything else (Qt::BackButton, Qt::ForwardButton, Qt::ExtraButton3 to
//   Qt::ExtraButton24, Qt::TaskButton) -> 0: the control never sees such a
//   button at all, neither as a press, a release, a double click nor a click;
//   the widget passes the event on to its parent (see IsControlButton).
std::int16_t ButtonCode(Qt::MouseButton button);

// Whether a press or release of `button` reaches the control (ButtonCode is
// not 0). Thumb buttons mean Back and Forward to the desktop, never "click".
bool IsControlButton(Qt::MouseButton button);

// Button argument of a move: the mask of the held buttons among those three.
std::int16_t ButtonMask(Qt::MouseButtons buttons);

// The virtual-key code of a Qt key (US layout for punctuation, whose codes
// follow the key and not the character); 0 for keys without one.
std::int16_t VirtualKeyCode(int qt_key, Qt::KeyboardModifiers modifiers);

// The character code a key press delivers for `text`: the Latin-1 code of its
// first character, 63 ('?') for a character outside Latin-1, -1 when the
// press produces no character.
int CharacterCode(const QString& text);

// A held key on X (without the server's detectable auto-repeat) repeats as
// a release and a press with the same time stamp. Qt marks both as
// auto-repeat only if the press is already queued when it handles the
// release; on a busy machine it is not yet, and the release looks like the
// key going up: a held Space would click on every repeat. The widget holds
// a release back for a moment (kReleaseHoldMs) and lets a press of the same
// key with the same time stamp take it back.
struct KeyRelease {
  int key = 0;
  Qt::KeyboardModifiers modifiers;
  unsigned long timestamp = 0;
};

inline constexpr int kReleaseHoldMs = 50;

// Whether key releases on this platform may be the first half of a repeat.
bool ReleasesMayBeRepeats();

class ReleaseHold {
 public:
  // Holds `release` back; returns the release held before, which is due now.
  std::optional<KeyRelease> Hold(const KeyRelease& release);
  // A press: true when it is the second half of the held release's repeat
  // (the release is gone). Otherwise the held release is due first, and is
  // returned through `due`.
  bool TakesBack(int key, unsigned long timestamp, std::optional<KeyRelease>& due);
  // The moment passed (or the focus went): the held release is due.
  std::optional<KeyRelease> Take();

 private:
  std::optional<KeyRelease> held_;
};

}  // namespace vx::qt

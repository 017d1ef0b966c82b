#pragma once

// Qt's input vocabulary in the terms the button's handlers use: Windows
// virtual-key codes, character codes, and the Button and Shift bit sets.

#include <QString>
#include <Qt>
#include <cstdint>

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

}  // namespace vx::qt

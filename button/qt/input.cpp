#include "button/qt/input.h"

#include <QGuiApplication>
#include <QList>
#include <utility>

namespace vx::qt {

std::int16_t ShiftState(Qt::KeyboardModifiers modifiers) {
  std::int16_t shift = 0;
  if (modifiers & Qt::ShiftModifier) shift |= 1;
  if (modifiers & Qt::ControlModifier) shift |= 2;
  if (modifiers & Qt::AltModifier) shift |= 4;
  return shift;
}

std::int16_t ButtonCode(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return 1;
    case Qt::RightButton:
      return 2;
    case Qt::MiddleButton:
      return 4;
    default:
      return 0;
  }
}

bool IsControlButton(Qt::MouseButton button) {
  return ButtonCode(button) != 0;
}

std::int16_t ButtonMask(Qt::MouseButtons buttons) {
  std::int16_t mask = 0;
  if (buttons & Qt::LeftButton) mask |= 1;
  if (buttons & Qt::RightButton) mask |= 2;
  if (buttons & Qt::MiddleButton) mask |= 4;
  return mask;
}

namespace {

// Keys of the numeric keypad have codes of their own.
std::int16_t KeypadCode(int key) {
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<std::int16_t>(96 + key - Qt::Key_0);
  switch (key) {
    case Qt::Key_Asterisk:
      return 106;
    case Qt::Key_Plus:
      return 107;
    case Qt::Key_Minus:
      return 109;
    case Qt::Key_Period:
    case Qt::Key_Comma:
      return 110;
    case Qt::Key_Slash:
      return 111;
    case Qt::Key_Enter:
      return 13;
    default:
      return -1;
  }
}

}  // namespace

std::int16_t VirtualKeyCode(int key, Qt::KeyboardModifiers modifiers) {
  if (modifiers & Qt::KeypadModifier) {
    const std::int16_t pad = KeypadCode(key);
    if (pad >= 0) return pad;
  }
  // Letters and digits share their codes with the upper-case characters.
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
    return static_cast<std::int16_t>(key);
  }
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
    return static_cast<std::int16_t>(112 + key - Qt::Key_F1);
  }
  switch (key) {
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return 9;
    case Qt::Key_Clear:
      return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Shift:
      return 16;
    case Qt::Key_Control:
      return 17;
    case Qt::Key_Alt:
      return 18;
    case Qt::Key_Pause:
      return 19;
    case Qt::Key_CapsLock:
      return 20;
    case Qt::Key_Escape:
      return 27;
    case Qt::Key_Space:
      return 32;
    case Qt::Key_PageUp:
      return 33;
    case Qt::Key_PageDown:
      return 34;
    case Qt::Key_End:
      return 35;
    case Qt::Key_Home:
      return 36;
    case Qt::Key_Left:
      return 37;
    case Qt::Key_Up:
      return 38;
    case Qt::Key_Right:
      return 39;
    case Qt::Key_Down:
      return 40;
    case Qt::Key_Print:
      return 44;
    case Qt::Key_Insert:
      return 45;
    case Qt::Key_Delete:
      return 46;
    case Qt::Key_Help:
      return 47;
    case Qt::Key_Meta:
      return 91;
    case Qt::Key_Menu:
      return 93;
    case Qt::Key_NumLock:
      return 144;
    case Qt::Key_ScrollLock:
      return 145;
    // Shifted digits: the code of the digit key.
    case Qt::Key_ParenRight:
      return 48;
    case Qt::Key_Exclam:
      return 49;
    case Qt::Key_At:
      return 50;
    case Qt::Key_NumberSign:
      return 51;
    case Qt::Key_Dollar:
      return 52;
    case Qt::Key_Percent:
      return 53;
    case Qt::Key_AsciiCircum:
      return 54;
    case Qt::Key_Ampersand:
      return 55;
    case Qt::Key_Asterisk:
      return 56;
    case Qt::Key_ParenLeft:
      return 57;
    // Punctuation keys of the US layout.
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
      return 186;
    case Qt::Key_Equal:
    case Qt::Key_Plus:
      return 187;
    case Qt::Key_Comma:
    case Qt::Key_Less:
      return 188;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
      return 189;
    case Qt::Key_Period:
    case Qt::Key_Greater:
      return 190;
    case Qt::Key_Slash:
    case Qt::Key_Question:
      return 191;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
      return 192;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
      return 219;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
      return 220;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
      return 221;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
      return 222;
    default:
      return 0;
  }
}

int CharacterCode(const QString& text) {
  if (text.isEmpty()) return -1;
  const char32_t c = text.toUcs4().value(0);
  return c <= 0xFF ? static_cast<int>(c) : '?';
}

bool ReleasesMayBeRepeats() {
  return QGuiApplication::platformName() == QLatin1String("xcb");
}

std::optional<KeyRelease> ReleaseHold::Hold(const KeyRelease& release) {
  return std::exchange(held_, release);
}

bool ReleaseHold::TakesBack(int key, unsigned long timestamp, std::optional<KeyRelease>& due) {
  due.reset();
  if (!held_) return false;
  if (held_->key == key && held_->timestamp == timestamp) {
    held_.reset();
    return true;
  }
  due = Take();
  return false;
}

std::optional<KeyRelease> ReleaseHold::Take() {
  return std::exchange(held_, std::nullopt);
}

}  // namespace vx::qt

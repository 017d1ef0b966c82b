// Mouse, keyboard, focus and hover-timer notifications: they move the visual
// state, redraw and raise the button's events to its container.

#include <cstdlib>

#include "button/model/torvel_button.h"

namespace vx::button {

namespace {

constexpr std::int16_t kRightButton = 2;
constexpr std::int16_t kKeyEnter = 13;
constexpr std::int16_t kKeySpace = 32;
constexpr std::int16_t kKeyLeft = 37;
constexpr std::int16_t kKeyUp = 38;
constexpr std::int16_t kKeyRight = 39;
constexpr std::int16_t kKeyDown = 40;

host::EventArgs MouseArgs(std::int16_t button, std::int16_t shift, float x, float y) {
  host::EventArgs a;
  a.button = button;
  a.shift = shift;
  a.x = x;
  a.y = y;
  return a;
}

host::EventArgs KeyArgs(std::int16_t key_code, std::int16_t shift) {
  host::EventArgs a;
  a.key_code = key_code;
  a.shift = shift;
  return a;
}

}  // namespace

void TorvelButton::RaiseEvent(const char* name, host::EventArgs& args) {
  site_.events->RaiseEvent(name, args);
}

void TorvelButton::RestoreEnabled() {
  if (s_.VisualState == Backdrop) return;
  // Only the right-button rule leaves the surface enabled while Enabled is
  // cleared; a button its container disabled stays disabled.
  if (s_.Enabled == kFalse && !site_.surface->Enabled()) return;
  s_.Enabled = kTrue;
}

void TorvelButton::UserControl_MouseDown(std::int16_t button, std::int16_t shift, float x,
                                         float y) {
  s_.LastMouseButton = static_cast<std::uint8_t>(std::abs(int{button}) & 0xFF);
  if (button == kRightButton) {
    // The click notification that follows the release must raise no Click;
    // no redraw, so the button does not flash its disabled look.
    s_.Enabled = kFalse;
  } else {
    s_.VisualState = Pressed;
    if (s_.OptionButton != kFalse) {
      if (s_.Value != kFalse) return;
      SetValue(kTrue);
      host::EventArgs none;
      RaiseEvent("Click", none);
    } else {
      RefreshButton();
    }
  }
  if (button >= 0) {
    host::EventArgs a = MouseArgs(button, shift, x, y);
    RaiseEvent("MouseDown", a);
  }
}

void TorvelButton::UserControl_MouseUp(std::int16_t button, std::int16_t shift, float x, float y) {
  if (button != kRightButton) {
    s_.VisualState = RestingState();
    if (s_.MouseInside != kFalse) s_.VisualState = Hover;
    RefreshButton();
  }
  if (button >= 0) {
    host::EventArgs a = MouseArgs(button, shift, x, y);
    RaiseEvent("MouseUp", a);
  }
}

void TorvelButton::UserControl_MouseMove(std::int16_t button, std::int16_t shift, float x,
                                         float y) {
  s_.VisualState = Hover;
  if (button == 0 || button == 1) {
    const bool outside =
        x < 0 || y < 0 || x > site_.surface->ScaleWidth() || y > site_.surface->ScaleHeight();
    if (outside) {
      s_.VisualState = RestingState();
    } else if (button == 1) {
      s_.VisualState = Pressed;
    }
  }
  // Only the move that brings the pointer in redraws; the timer catches the
  // way out.
  if (s_.MouseInside == kFalse) RefreshButton();
  s_.MouseInside = kTrue;
  if (timer_hover_ && !timer_hover_->Enabled()) timer_hover_->SetEnabled(true);
  host::EventArgs a = MouseArgs(button, shift, x, y);
  RaiseEvent("MouseMove", a);
}

void TorvelButton::TimerHover_Timer() {
  if (site_.surface->PointerOverWindow()) return;
  if (timer_hover_) timer_hover_->SetEnabled(false);
  s_.MouseInside = kFalse;
  RestoreEnabled();
  s_.VisualState = RestingState();
  RefreshButton();
  host::EventArgs none;
  RaiseEvent("MouseOut", none);
}

void TorvelButton::UserControl_Click() {
  if (s_.LastMouseButton != 1 && s_.Enabled == kFalse) {
    // The click that ends a right-button press.
    RestoreEnabled();
    return;
  }
  if (s_.OptionButton != kFalse) {
    if (s_.Value != kFalse) return;
    SetValue(kTrue);
  } else {
    UserControl_MouseUp(-1, 1, 1, 1);
  }
  host::EventArgs none;
  RaiseEvent("Click", none);
}

void TorvelButton::UserControl_DblClick() {
  // The second press of a double click: the pressed look, no second Click.
  if (s_.LastMouseButton == 1) UserControl_MouseDown(-1, 1, 1, 1);
}

void TorvelButton::UserControl_KeyDown(std::int16_t key_code, std::int16_t shift) {
  s_.LastKeyCode = static_cast<std::uint8_t>(key_code & 0xFF);
  host::EventArgs a = KeyArgs(key_code, shift);
  if (key_code == kKeySpace && !SelectedOption()) {
    space_press_ = true;
    UserControl_MouseDown(-1, 0, 0, 0);
    RaiseEvent("KeyDown", a);
    return;
  }
  if (key_code == kKeyEnter && s_.OptionButton != kFalse) return;
  if (key_code == kKeyRight || key_code == kKeyDown) {
    site_.keys->SendKeys("{Tab}");
    return;
  }
  if (key_code == kKeyLeft || key_code == kKeyUp) {
    site_.keys->SendKeys("+{Tab}");
    return;
  }
  RaiseEvent("KeyDown", a);
}

void TorvelButton::UserControl_KeyPress(std::int16_t key_ascii) {
  host::EventArgs a;
  a.key_ascii = key_ascii;
  RaiseEvent("KeyPress", a);
}

void TorvelButton::UserControl_KeyUp(std::int16_t key_code, std::int16_t shift) {
  host::EventArgs a = KeyArgs(key_code, shift);
  if (key_code == kKeySpace && s_.LastKeyCode == kKeySpace && !SelectedOption()) {
    space_press_ = false;
    UserControl_MouseUp(-1, 0, 0, 0);
    RaiseEvent("KeyUp", a);
    UserControl_Click();
    return;
  }
  if (key_code == kKeySpace && space_press_) {
    // A Space press that ends in no click still lets the button up.
    space_press_ = false;
    UserControl_MouseUp(-1, 0, 0, 0);
  }
  RaiseEvent("KeyUp", a);
}

void TorvelButton::UserControl_AccessKeyPress(std::int16_t key_ascii) {
  if (s_.OptionButton == kFalse) {
    s_.VisualState = Pressed;
    RefreshButton();
    float flash = 0.15f;
    PauseFor(flash);
    s_.LastMouseButton = 1;
  }
  if (SelectedOption()) {
    // The character stands in for the key code; the container may change it
    // on the way, as it may any argument.
    host::EventArgs a = KeyArgs(key_ascii, 0);
    RaiseEvent("KeyDown", a);
    host::EventArgs p;
    p.key_ascii = a.key_code;
    RaiseEvent("KeyPress", p);
    host::EventArgs u = KeyArgs(p.key_ascii, 0);
    RaiseEvent("KeyUp", u);
  } else {
    UserControl_Click();
  }
}

void TorvelButton::UserControl_EnterFocus() {
  s_.HasFocus = kTrue;
  s_.LastMouseButton = 1;
  s_.LastKeyCode = 0;
  space_press_ = false;
  if (s_.MouseInside == kFalse) s_.VisualState = Focused;
  RefreshButton();
}

void TorvelButton::UserControl_ExitFocus() {
  // The hover timer keeps running: while the pointer is over the button it
  // must still notice the pointer leave, end the hover look and raise
  // MouseOut. Once the pointer is out it has stopped by itself.
  s_.HasFocus = kFalse;
  s_.LastMouseButton = 1;
  s_.LastKeyCode = 0;
  space_press_ = false;
  s_.VisualState = s_.MouseInside != kFalse ? Hover : Normal;
  RefreshButton();
}

}  // namespace vx::button

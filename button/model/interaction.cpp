// The button's life with its host: creation, showing, termination, ambient
// and font changes, the access-key pause, option groups and the container
// name they rely on. Mouse, keyboard and focus are in events.cpp.

#include <chrono>
#include <cstdlib>
#include <string_view>

#include "button/model/torvel_button.h"
#include "platform/base/ascii.h"
#include "platform/base/failure.h"

namespace vx::button {

void TorvelButton::UserControl_Initialize() {
  s_.LastMouseButton = 1;
  s_.IsShown = kFalse;
  if (!timer_hover_) {
    timer_hover_ = site_.timers->CreateTimer([this] { TimerHover_Timer(); });
    timer_hover_->SetInterval(100);
  }
  timer_hover_->SetEnabled(false);
}

void TorvelButton::UserControl_Show() {
  s_.IsShown = kTrue;
  if (SelectedOption()) UpdateOptionGroup();
  UserControl_Resize();
}

void TorvelButton::UserControl_Terminate() {
  // Each step on its own: a failure must not keep the others from running.
  // No tick may reach a button whose font is gone.
  RunPastFailure([&] {
    if (timer_hover_) timer_hover_->SetEnabled(false);
  });
  RunPastFailure([&] { SetTextFont(nullptr); });
  s_.Icon = nullptr;
  s_.HasIcon = kFalse;
}

void TorvelButton::UserControl_AmbientChanged(const std::string& property_name) {
  static constexpr std::string_view kWatched = "BackColorForeColorFontPalette";
  if (kWatched.find(property_name) == std::string_view::npos) return;
  if (property_name == "Font") {
    const host::FontPtr ambient = site_.ambient->AmbientFont();
    if (!ambient) throw host::HostError("the container has no font");
    // A copy: changing the caption font must not change the container's.
    SetTextFont(host::Font::Create(ambient->attributes()));
    site_.surface->SetFont(s_.TextFont);
    // No redraw now, but the next one must not use the old caption font.
    s_.LayoutPending = kTrue;
    return;
  }
  if (property_name == "ForeColor" || s_.ColorScheme == ParentColors) {
    ApplyColorScheme(kFalse);
    RefreshButton();
  }
}

void TorvelButton::PauseFor(float& seconds) {
  site_.surface->Refresh();
  host::Clock& clock = *site_.clock;
  const float start = clock.SecondsSinceMidnight();
  // The host's clock decides; the steady clock only ends the wait should the
  // host's clock stand still.
  const auto real_start = std::chrono::steady_clock::now();
  for (;;) {
    const float now = clock.SecondsSinceMidnight();
    if (now < start || now - start >= seconds) return;
    const std::chrono::duration<double> real = std::chrono::steady_clock::now() - real_start;
    if (!(real.count() < seconds)) return;
  }
}

void TorvelButton::TextFont_FontChanged(const std::string& /*property_name*/) {
  const bool design = DesignTime();
  site_.surface->SetFont(s_.TextFont);
  Changed(design, keys::kFont);
  s_.LayoutPending = kTrue;
  RefreshButton();
}

std::string TorvelButton::Container() const {
  const std::string display = site_.ambient->DisplayName();
  std::string base = display;
  std::optional<int> index;
  if (const auto open = display.find('('); open != std::string::npos) {
    base = display.substr(0, open);
    index = std::atoi(display.c_str() + open + 1);
  }
  const host::ParentWindow& parent = *site_.parent;
  for (int i = 0; i < parent.ControlCount(); ++i) {
    const host::ControlEntry e = parent.Control(i);
    if (!ascii::EqualsNoCase(e.name, base) || e.index != index) continue;
    if (ascii::EqualsNoCase(e.container_name, parent.Name())) return parent.Name();
    if (e.container_index) return e.container_name + "(" + std::to_string(*e.container_index) + ")";
    return e.container_name;
  }
  throw host::HostError("\"" + display + "\" is not in its parent's control list");
}

void TorvelButton::UpdateOptionGroup() {
  const std::string mine = Container();
  const std::intptr_t own_window = hwnd();
  const host::ParentWindow& parent = *site_.parent;
  // Every entry of the parent's list; the host's own count leaves no extra
  // entry for the form to skip.
  for (int i = 0; i < parent.ControlCount(); ++i) {
    auto* other = dynamic_cast<TorvelButton*>(parent.Control(i).object);
    if (!other || other->Container() != mine) continue;
    if (other->hwnd() == own_window) {
      RefreshButton();
    } else if (other->Value() == kTrue) {
      other->SetValue(kFalse);
    }
  }
}

}  // namespace vx::button

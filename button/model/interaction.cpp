// Host notifications the model handles so far: the caption font's change
// notice, option groups and the container name they rely on.

#include <cstdlib>

#include "button/model/torvel_button.h"

namespace vx::button {

namespace {

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

void TorvelButton::TextFont_FontChanged(const std::string& /*property_name*/) {
  const bool design = DesignTime();
  site_.surface->SetFont(s_.TextFont);
  Changed(design, "FONT");
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
    if (!SameName(e.name, base) || e.index != index) continue;
    if (SameName(e.container_name, parent.Name())) return parent.Name();
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

#include "tests/support/button_rig.h"

namespace vx::support {

ButtonRig::ButtonRig(int w, int h, bool design, std::shared_ptr<render::ButtonPainter> p)
    : painter(std::move(p)) {
  host.SetUserMode(!design);
  host.SetSize(w, h);
  button = std::make_unique<button::TorvelButton>(host.site());
  host.Join(button.get());
  button->SetRenderer(painter);
}

void ButtonRig::Restore(const host::JsonPropertyBag::Json& stored) {
  host::JsonPropertyBag bag(stored);
  button->ReadProperties(bag);
  st().IsShown = button::kTrue;
  button->UserControl_Resize();
}

void ButtonRig::Place(const std::string& face) {
  button->InitProperties();
  host::FontAttributes a;
  a.name = face;
  a.size = 8.25;
  button->SetFont(host::Font::Create(a));
}

void ButtonRig::Clear(ColorRef color) {
  gdi::FillRect(surface(), {0, 0, surface().width(), surface().height()},
                gdi::CreateSolidBrush(color));
}

const Surface& ButtonRig::Draw(const Pose& pose, ColorRef background) {
  st().VisualState = pose.state;
  st().HasFocus = button::ToBool16(pose.focus);
  st().MouseInside = button::ToBool16(pose.mouse_inside);
  Clear(background);
  button->DrawButton(button::ToBool16(pose.backdrop_only));
  return surface();
}

}  // namespace vx::support

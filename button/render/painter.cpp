#include "button/render/painter.h"

#include <any>

namespace vx::render {

Painter::Painter(button::TorvelButton& button, PainterState& state) : button_(button), ps_(state) {}

Surface& Painter::surface() {
  if (site().surface == nullptr) throw RenderFailure("the control has no drawing surface");
  return site().surface->DrawingSurface();
}

gdi::Dc& Painter::dc() {
  Surface& target = surface();
  // The context lives as long as the surface it was made for: a pen selected
  // by one drawing step is still selected in the next.
  if (!ps_.dc || ps_.dc_surface != &target) {
    ps_.dc.emplace(target);
    ps_.dc_surface = &target;
  }
  return *ps_.dc;
}

void Painter::SelectNewPen(Color color) {
  gdi::DeleteObject(dc().SelectObject(gdi::CreatePen(static_cast<ColorRef>(color))));
}

text::Font Painter::SelectFont(text::Font font) {
  dc();  // the font belongs to the surface's context
  text::Font previous = std::move(ps_.selected_font);
  ps_.selected_font = std::move(font);
  return previous;
}

void ButtonPainter::DrawButton(button::TorvelButton& button, Bool16 backdrop_only) {
  if (state_.caption_out != nullptr) state_.caption_out->clear();
  Painter(button, state_).DrawButton(backdrop_only);
}

void ButtonPainter::CalculateLayout(button::TorvelButton& button) {
  Painter(button, state_).CalculateLayout();
}

void ButtonPainter::PrepareIcon(button::TorvelButton& button) {
  Painter(button, state_).PrepareIcon();
}

void ButtonPainter::ApplyWindowRegion(button::TorvelButton& button) {
  Painter p(button, state_);
  p.CreateButtonRegion();
  p.ApplyWindowRegion();
}

const gdi::Region* ButtonRegionOf(const button::TorvelButton& button) {
  return std::any_cast<gdi::Region>(&button.state().ButtonRegion);
}

}  // namespace vx::render

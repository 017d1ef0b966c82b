#include "button/render/painter.h"

namespace vx::render {

void Painter::CalculateLayout() {}

text::TextExtent Painter::MeasureText(std::string_view text) {
  return text::MeasureText(ps().selected_font, text);
}

}  // namespace vx::render

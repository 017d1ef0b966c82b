#include "button/render/painter.h"

namespace vx::render {

void Painter::CreateCaptionFont(Bool16 /*recalculate*/) {}
void Painter::ReleaseCaptionFont() {}
void Painter::DrawCaption(Color, Color, Color) {}

}  // namespace vx::render

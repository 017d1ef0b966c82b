#include "button/render/painter.h"

namespace vx::render {

void Painter::PrepareIcon() {}
void Painter::DrawIcon(Long, Long) {}

}  // namespace vx::render

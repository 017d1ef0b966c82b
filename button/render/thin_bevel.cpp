#include "button/render/painter.h"

namespace vx::render {

void Painter::RenderThinBevel(Bool16 /*backdrop_only*/) { throw RenderFailure("look not built yet"); }

}  // namespace vx::render

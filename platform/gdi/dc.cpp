#include "platform/gdi/dc.h"

namespace vx::gdi {

bool Dc::Polygon(std::span<const Point> points) {
  if (points.size() < 2) return false;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Point& a = points[i];
    const Point& b = points[(i + 1) % points.size()];
    DrawLineSegment(*surface_, a.x, a.y, b.x, b.y, pen_.color);
  }
  return true;
}

}  // namespace vx::gdi

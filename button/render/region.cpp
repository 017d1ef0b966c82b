#include <any>
#include <array>
#include <optional>
#include <vector>

#include "button/render/painter.h"

namespace vx::render {
namespace {

gdi::Region PixelRect(int x, int y, int w, int h) {
  return gdi::CreateRectRgn(x, y, x + w, y + h);
}

}  // namespace

void Painter::CreateButtonRegion() {
  const int w = W();
  const int h = H();
  const Long style = s().ButtonStyle;
  gdi::Region region;
  if (style != button::Rectangular) {
    int a = 0;
    int b = 0;
    if (style == button::LeftSegment) b = 18;
    if (style == button::MiddleSegment) a = b = 18;
    if (style == button::RightSegment) a = 18;
    const std::array<gdi::Point, 4> outline{{{0, 0}, {a, h}, {w, h}, {w - b, 0}}};
    region = gdi::CreatePolygonRgn(outline, gdi::FillMode::kWinding);
  } else {
    region = gdi::CreateRectRgn(0, 0, w, h);
    // The corner pixels each look leaves out, one small rectangle at a time.
    std::vector<gdi::Region> cut;
    switch (look().traits.corners) {
      case button::CornerCut::kCornerPixels:
        cut = {PixelRect(0, 0, 1, 1), PixelRect(0, h - 1, 1, 1), PixelRect(w - 1, 0, 1, 1),
               PixelRect(w - 1, h - 1, 1, 1)};
        break;
      case button::CornerCut::kRounded:
        cut = {PixelRect(0, 0, 2, 1),     PixelRect(0, h - 1, 2, 1),
               PixelRect(w - 2, 0, 2, 1), PixelRect(w - 2, h - 1, 2, 1),
               PixelRect(0, 1, 1, 1),     PixelRect(0, h - 2, 1, 1),
               PixelRect(w - 1, 1, 1, 1), PixelRect(w - 1, h - 2, 1, 1)};
        break;
      case button::CornerCut::kTwoCornerPixels:
        cut = {PixelRect(0, h - 1, 1, 1), PixelRect(w - 1, 0, 1, 1)};
        break;
      case button::CornerCut::kNone:
        break;
    }
    for (const gdi::Region& piece : cut) {
      gdi::Region rest;
      gdi::CombineRgn(rest, region, piece, gdi::RegionOp::kDiff);
      region = std::move(rest);
    }
  }
  s().ButtonRegion = std::move(region);
}

void Painter::ApplyWindowRegion() {
  const gdi::Region* region = ButtonRegionOf(button());
  if (region == nullptr || site().surface == nullptr) return;
  std::vector<host::ShapeRect> rects;
  for (const gdi::Rect& r : region->Rects()) rects.push_back({r.left, r.top, r.right, r.bottom});
  site().surface->SetWindowShape(std::move(rects));
}

}  // namespace vx::render

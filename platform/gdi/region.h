#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/gdi/types.h"

namespace vx::gdi {

enum class FillMode { kAlternate = 1, kWinding = 2 };
enum class RegionOp { kAnd = 1, kOr = 2, kXor = 3, kDiff = 4, kCopy = 5 };

// What CombineRgn reports about its result.
inline constexpr int kNullRegion = 1;
inline constexpr int kSimpleRegion = 2;
inline constexpr int kComplexRegion = 3;

// A set of pixels, held as bands of rows with identical spans. Pixels lie
// within [-kLimit, kLimit) on both axes: a region shapes a window, and window
// coordinates are 16-bit; anything beyond is cut off, which also bounds the
// work a far-out polygon can cause.
class Region {
 public:
  static constexpr int kLimit = 1 << 16;

  struct Span {
    int left = 0;  // x = left .. right - 1
    int right = 0;
    friend bool operator==(const Span&, const Span&) = default;
  };
  struct Band {
    int top = 0;  // rows top .. bottom - 1 share the spans
    int bottom = 0;
    std::uint32_t first = 0;  // index into spans()
    std::uint32_t count = 0;
    friend bool operator==(const Band&, const Band&) = default;
  };

  Region() = default;  // empty

  // x = l .. r-1, y = t .. b-1; inverted corners are swapped first.
  static Region FromRect(const Rect& r);
  // Row y holds the pixels x with left(y) <= x < right(y), the edges taken at
  // the row's top y (the point (x, y) lies inside, left edges inclusive).
  static Region FromPolygon(std::span<const Point> points, FillMode mode);
  // kCopy gives `a`.
  static Region Combine(const Region& a, const Region& b, RegionOp op);

  bool empty() const { return bands_.empty(); }
  bool Contains(int x, int y) const;
  // The bounding box; all zero when empty.
  Rect Bounds() const;
  // Disjoint rectangles covering the region, top to bottom, left to right.
  std::vector<Rect> Rects() const;
  // The region over a w x h area (true = inside).
  Mask ToMask(int width, int height) const;

  const std::vector<Band>& bands() const { return bands_; }
  std::span<const Span> spans(const Band& b) const {
    return std::span<const Span>(spans_).subspan(b.first, b.count);
  }

  friend bool operator==(const Region& a, const Region& b);

 private:
  void AppendRows(int top, int bottom, const std::vector<Span>& spans);

  std::vector<Band> bands_;
  std::vector<Span> spans_;
};

// The platform's names for the operations the button uses.
inline Region CreateRectRgn(int l, int t, int r, int b) {
  return Region::FromRect({l, t, r, b});
}
inline Region CreatePolygonRgn(std::span<const Point> points, FillMode mode) {
  return Region::FromPolygon(points, mode);
}
// dest = a op b; returns kNullRegion, kSimpleRegion or kComplexRegion.
int CombineRgn(Region& dest, const Region& a, const Region& b, RegionOp op);
inline bool PtInRegion(const Region& r, int x, int y) {
  return r.Contains(x, y);
}

}  // namespace vx::gdi

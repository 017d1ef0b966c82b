#include "platform/gdi/region.h"

#include <algorithm>

#include "platform/gdi/wide_int.h"

namespace vx::gdi {

namespace {

i64 ClampToLimit(i64 v) {
  return std::clamp<i64>(v, -Region::kLimit, Region::kLimit);
}

// The union of the runs of x where `inside(inA, inB)` holds.
template <typename Pred>
std::vector<Region::Span> CombineSpans(std::span<const Region::Span> a,
                                       std::span<const Region::Span> b, Pred inside) {
  std::vector<int> xs;
  xs.reserve(2 * (a.size() + b.size()));
  for (const auto& s : a) xs.insert(xs.end(), {s.left, s.right});
  for (const auto& s : b) xs.insert(xs.end(), {s.left, s.right});
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  std::vector<Region::Span> out;
  std::size_t ia = 0, ib = 0;
  for (std::size_t k = 0; k + 1 < xs.size(); ++k) {
    const int x0 = xs[k];
    while (ia < a.size() && a[ia].right <= x0) ++ia;
    while (ib < b.size() && b[ib].right <= x0) ++ib;
    const bool in_a = ia < a.size() && a[ia].left <= x0;
    const bool in_b = ib < b.size() && b[ib].left <= x0;
    if (!inside(in_a, in_b)) continue;
    if (!out.empty() && out.back().right == x0) {
      out.back().right = xs[k + 1];
    } else {
      out.push_back({x0, xs[k + 1]});
    }
  }
  return out;
}

}  // namespace

void Region::AppendRows(int top, int bottom, const std::vector<Span>& spans) {
  if (spans.empty() || top >= bottom) return;
  if (!bands_.empty()) {
    Band& last = bands_.back();
    if (last.bottom == top && last.count == spans.size() &&
        std::equal(spans.begin(), spans.end(), spans_.begin() + last.first)) {
      last.bottom = bottom;
      return;
    }
  }
  bands_.push_back({top, bottom, static_cast<std::uint32_t>(spans_.size()),
                    static_cast<std::uint32_t>(spans.size())});
  spans_.insert(spans_.end(), spans.begin(), spans.end());
}

Region Region::FromRect(const Rect& r) {
  Region out;
  const int l = static_cast<int>(ClampToLimit(std::min(r.left, r.right)));
  const int rr = static_cast<int>(ClampToLimit(std::max(r.left, r.right)));
  const int t = static_cast<int>(ClampToLimit(std::min(r.top, r.bottom)));
  const int b = static_cast<int>(ClampToLimit(std::max(r.top, r.bottom)));
  if (l < rr) out.AppendRows(t, b, {Span{l, rr}});
  return out;
}

Region Region::FromPolygon(std::span<const Point> points, FillMode mode) {
  Region out;
  if (points.size() < 3) return out;
  struct Edge {
    i64 x0, y0, x1, y1;  // y0 < y1
    int dir;
  };
  std::vector<Edge> edges;
  i64 ymin = points[0].y, ymax = points[0].y;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Point& p = points[i];
    const Point& q = points[(i + 1) % points.size()];
    ymin = std::min<i64>(ymin, p.y);
    ymax = std::max<i64>(ymax, p.y);
    if (p.y == q.y) continue;  // horizontal edges bound no row
    if (p.y < q.y) {
      edges.push_back({p.x, p.y, q.x, q.y, 1});
    } else {
      edges.push_back({q.x, q.y, p.x, p.y, -1});
    }
  }
  ymin = ClampToLimit(ymin);
  ymax = ClampToLimit(ymax);

  struct Crossing {
    i64 x;
    int dir;
  };
  std::vector<Crossing> crossings;
  std::vector<Span> spans;
  for (i64 y = ymin; y < ymax; ++y) {
    crossings.clear();
    for (const Edge& e : edges) {
      if (y < e.y0 || y >= e.y1) continue;
      // The first pixel at or right of the edge's exact x on this row.
      const i128 num = i128{e.x1 - e.x0} * (y - e.y0);
      const i64 x = e.x0 + static_cast<i64>(CeilDiv(num, e.y1 - e.y0));
      crossings.push_back({ClampToLimit(x), e.dir});
    }
    std::sort(crossings.begin(), crossings.end(),
              [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
    spans.clear();
    int winding = 0;
    i64 start = 0;
    for (const Crossing& c : crossings) {
      const bool was_inside = winding != 0;
      winding = mode == FillMode::kWinding ? winding + c.dir : winding ^ 1;
      const bool inside = winding != 0;
      if (!was_inside && inside) {
        start = c.x;
      } else if (was_inside && !inside && start < c.x) {
        if (!spans.empty() && spans.back().right >= start) {
          spans.back().right = static_cast<int>(c.x);
        } else {
          spans.push_back({static_cast<int>(start), static_cast<int>(c.x)});
        }
      }
    }
    out.AppendRows(static_cast<int>(y), static_cast<int>(y + 1), spans);
  }
  return out;
}

Region Region::Combine(const Region& a, const Region& b, RegionOp op) {
  if (op == RegionOp::kCopy) return a;
  auto inside = [op](bool in_a, bool in_b) {
    switch (op) {
      case RegionOp::kAnd:
        return in_a && in_b;
      case RegionOp::kOr:
        return in_a || in_b;
      case RegionOp::kXor:
        return in_a != in_b;
      case RegionOp::kDiff:
        return in_a && !in_b;
      case RegionOp::kCopy:
        break;
    }
    return in_a;
  };
  std::vector<int> ys;
  for (const Band& band : a.bands_) ys.insert(ys.end(), {band.top, band.bottom});
  for (const Band& band : b.bands_) ys.insert(ys.end(), {band.top, band.bottom});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

  Region out;
  std::size_t ia = 0, ib = 0;
  for (std::size_t k = 0; k + 1 < ys.size(); ++k) {
    const int y0 = ys[k];
    while (ia < a.bands_.size() && a.bands_[ia].bottom <= y0) ++ia;
    while (ib < b.bands_.size() && b.bands_[ib].bottom <= y0) ++ib;
    std::span<const Span> sa, sb;
    if (ia < a.bands_.size() && a.bands_[ia].top <= y0) sa = a.spans(a.bands_[ia]);
    if (ib < b.bands_.size() && b.bands_[ib].top <= y0) sb = b.spans(b.bands_[ib]);
    out.AppendRows(y0, ys[k + 1], CombineSpans(sa, sb, inside));
  }
  return out;
}

bool Region::Contains(int x, int y) const {
  auto band = std::upper_bound(bands_.begin(), bands_.end(), y,
                               [](int v, const Band& b) { return v < b.bottom; });
  if (band == bands_.end() || band->top > y) return false;
  for (const Span& s : spans(*band)) {
    if (x < s.left) return false;
    if (x < s.right) return true;
  }
  return false;
}

Rect Region::Bounds() const {
  if (bands_.empty()) return {};
  Rect r{kLimit, bands_.front().top, -kLimit, bands_.back().bottom};
  for (const Band& band : bands_) {
    r.left = std::min(r.left, spans_[band.first].left);
    r.right = std::max(r.right, spans_[band.first + band.count - 1].right);
  }
  return r;
}

std::vector<Rect> Region::Rects() const {
  std::vector<Rect> out;
  out.reserve(spans_.size());
  for (const Band& band : bands_) {
    for (const Span& s : spans(band)) out.push_back({s.left, band.top, s.right, band.bottom});
  }
  return out;
}

Mask Region::ToMask(int width, int height) const {
  Mask m(width, height);
  for (const Band& band : bands_) {
    const int y0 = std::max(band.top, 0), y1 = std::min(band.bottom, m.height());
    for (const Span& s : spans(band)) {
      const int x0 = std::max(s.left, 0), x1 = std::min(s.right, m.width());
      for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) m.set(x, y, true);
      }
    }
  }
  return m;
}

bool operator==(const Region& a, const Region& b) {
  if (a.bands_.size() != b.bands_.size()) return false;
  for (std::size_t i = 0; i < a.bands_.size(); ++i) {
    const auto& ba = a.bands_[i];
    const auto& bb = b.bands_[i];
    if (ba.top != bb.top || ba.bottom != bb.bottom) return false;
    const auto sa = a.spans(ba);
    const auto sb = b.spans(bb);
    if (!std::equal(sa.begin(), sa.end(), sb.begin(), sb.end())) return false;
  }
  return true;
}

int CombineRgn(Region& dest, const Region& a, const Region& b, RegionOp op) {
  dest = Region::Combine(a, b, op);
  if (dest.empty()) return kNullRegion;
  return dest.bands().size() == 1 && dest.bands()[0].count == 1 ? kSimpleRegion : kComplexRegion;
}

}  // namespace vx::gdi

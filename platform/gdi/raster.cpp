#include "platform/gdi/raster.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/gdi/wide_int.h"

namespace vx::gdi {

namespace {

// [lo, hi) cut to [0, limit); empty when lo >= hi afterwards.
struct Range {
  int lo = 0;
  int hi = 0;
  bool empty() const { return lo >= hi; }
};

Range Clip(i64 lo, i64 hi, int limit) {
  lo = std::max<i64>(lo, 0);
  hi = std::min<i64>(hi, limit);
  if (lo >= hi) return {};
  return {static_cast<int>(lo), static_cast<int>(hi)};
}

void Fill(Surface& s, i64 left, i64 top, i64 right, i64 bottom, ColorRef c) {
  const Range xs = Clip(left, right, s.width());
  const Range ys = Clip(top, bottom, s.height());
  if (xs.empty() || ys.empty()) return;
  for (int y = ys.lo; y < ys.hi; ++y) std::fill(s.row(y) + xs.lo, s.row(y) + xs.hi, c);
}

// Inverts the pixels (x0 + sx*j, y0 + sy*j), j in [0, count), whose walking
// distance d0 + j is even. Exactly one of sx, sy is non-zero (+1 or -1).
void InvertEvenSteps(Surface& s, i64 x0, i64 y0, int sx, int sy, i64 count, i64 d0) {
  if (count <= 0) return;
  i64 lo = 0;
  i64 hi = count;
  // Keep the fixed coordinate on the surface and the moving one within it.
  auto limit = [&](i64 start, int step, int size) {
    if (step == 0) {
      if (start < 0 || start >= size) hi = lo;
    } else if (step > 0) {
      lo = std::max(lo, -start);
      hi = std::min(hi, size - start);
    } else {
      lo = std::max(lo, start - size + 1);
      hi = std::min(hi, start + 1);
    }
  };
  limit(x0, sx, s.width());
  limit(y0, sy, s.height());
  if ((d0 + lo) % 2 != 0) ++lo;
  for (i64 j = lo; j < hi; j += 2) {
    ColorRef& p = s.row(static_cast<int>(y0 + sy * j))[x0 + sx * j];
    p = RgbOf(~p);
  }
}

}  // namespace

void FillRect(Surface& s, const Rect& r, Brush brush) {
  i64 left = r.left, right = r.right, top = r.top, bottom = r.bottom;
  if (right < left) {
    left = i64{r.right} + 1;
    right = i64{r.left} + 1;
  }
  if (bottom < top) {
    top = i64{r.bottom} + 1;
    bottom = i64{r.top} + 1;
  }
  Fill(s, left, top, right, bottom, RgbOf(brush.color));
}

void FrameRect(Surface& s, const Rect& r, Brush brush) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  const i64 l = r.left, t = r.top, rr = r.right, b = r.bottom;
  const ColorRef c = RgbOf(brush.color);
  Fill(s, l, t, rr, t + 1, c);
  Fill(s, l, b - 1, rr, b, c);
  Fill(s, l, t, l + 1, b, c);
  Fill(s, rr - 1, t, rr, b, c);
}

void SetPixelV(Surface& s, int x, int y, ColorRef color) {
  s.put(x, y, RgbOf(color));
}

ColorRef GetPixel(const Surface& s, int x, int y) {
  return s.contains(x, y) ? s.at(x, y) : kInvalidColor;
}

void DrawLineSegment(Surface& s, int x0, int y0, int x1, int y1, ColorRef color) {
  color = RgbOf(color);
  const i64 dx = i64{x1} - x0;
  const i64 dy = i64{y1} - y0;
  if (dx == 0 && dy == 0) return;
  // Bevels and frames are mostly axis-aligned: fill those directly.
  if (dy == 0) {
    Fill(s, dx > 0 ? x0 : i64{x1} + 1, y0, dx > 0 ? x1 : i64{x0} + 1, i64{y0} + 1, color);
    return;
  }
  if (dx == 0) {
    Fill(s, x0, dy > 0 ? y0 : i64{y1} + 1, i64{x0} + 1, dy > 0 ? y1 : i64{y0} + 1, color);
    return;
  }
  const bool x_major = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  const i64 dmajor = x_major ? dx : dy;
  const i64 dminor = x_major ? dy : dx;
  const i64 n = dmajor < 0 ? -dmajor : dmajor;
  const int step = dmajor > 0 ? 1 : -1;
  const i64 m0 = x_major ? x0 : y0;
  const i64 c0 = x_major ? y0 : x0;
  const i64 mlimit = x_major ? s.width() : s.height();
  const i64 climit = x_major ? s.height() : s.width();

  // Only the steps whose major coordinate lies on the surface are walked.
  i64 lo = 0;
  i64 hi = n;
  if (step > 0) {
    lo = std::max<i64>(lo, -m0);
    hi = std::min<i64>(hi, mlimit - m0);
  } else {
    lo = std::max<i64>(lo, m0 - mlimit + 1);
    hi = std::min<i64>(hi, m0 + 1);
  }
  if (lo >= hi) return;

  // Minor offset at step i: dminor * i / n rounded to nearest with halves
  // toward the smaller value, i.e. ceil((2 * dminor * i - n) / (2n)). Kept as
  // quotient q and slack e with 2*dminor*i - n = q*D - e, 0 <= e < D.
  const i64 D = 2 * n;
  const i128 a = i128{2} * dminor * lo - n;
  i64 q = static_cast<i64>(CeilDiv(a, D));
  i64 e = static_cast<i64>(i128{q} * D - a);
  const i64 de = 2 * dminor;
  for (i64 i = lo; i < hi; ++i) {
    const i64 m = m0 + step * i;
    const i64 c = c0 + q;
    if (c >= 0 && c < climit) {
      if (x_major) {
        s.set(static_cast<int>(m), static_cast<int>(c), color);
      } else {
        s.set(static_cast<int>(c), static_cast<int>(m), color);
      }
    }
    e -= de;
    if (e < 0) {
      e += D;
      ++q;
    } else if (e >= D) {
      e -= D;
      --q;
    }
  }
}

void DrawFocusRect(Surface& s, const Rect& r) {
  const i64 l = std::min(r.left, r.right), rr = std::max(r.left, r.right);
  const i64 t = std::min(r.top, r.bottom), b = std::max(r.top, r.bottom);
  const i64 w = rr - l, h = b - t;
  // A ring one pixel wide or high covers its pixels twice and cancels out.
  if (w <= 1 || h <= 1) return;
  // Walk from the top-right pixel: down the right side, along the bottom,
  // up the left side, along the top; even distances are inverted.
  InvertEvenSteps(s, rr - 1, t, 0, 1, h, 0);
  InvertEvenSteps(s, rr - 2, b - 1, -1, 0, w - 1, h);
  InvertEvenSteps(s, l, b - 2, 0, -1, h - 1, h + w - 1);
  InvertEvenSteps(s, l + 1, t, 1, 0, w - 2, 2 * h + w - 2);
}

TriVertex MakeVertex(int x, int y, ColorRef color) {
  TriVertex v;
  v.x = x;
  v.y = y;
  v.red = static_cast<std::uint16_t>((color & 0xFF) << 8);
  v.green = static_cast<std::uint16_t>(((color >> 8) & 0xFF) << 8);
  v.blue = static_cast<std::uint16_t>(((color >> 16) & 0xFF) << 8);
  return v;
}

bool GradientFill(Surface& s, const TriVertex& v0, const TriVertex& v1, int mode) {
  if (mode != kGradientFillRectH && mode != kGradientFillRectV) return false;
  const bool horizontal = mode == kGradientFillRectH;
  const TriVertex* a = &v0;
  const TriVertex* b = &v1;
  if (horizontal ? v1.x < v0.x : v1.y < v0.y) std::swap(a, b);
  const i64 left = std::min(v0.x, v1.x), right = std::max(v0.x, v1.x);
  const i64 top = std::min(v0.y, v1.y), bottom = std::max(v0.y, v1.y);
  const Range xs = Clip(left, right, s.width());
  const Range ys = Clip(top, bottom, s.height());
  if (xs.empty() || ys.empty()) return true;
  const i64 n = horizontal ? right - left : bottom - top;
  auto colour_at = [&](i64 k) {
    auto channel = [&](std::uint16_t c0, std::uint16_t c1) {
      return static_cast<ColorRef>((c0 + (i64{c1} - c0) * k / n) >> 8);
    };
    return channel(a->red, b->red) | channel(a->green, b->green) << 8 |
           channel(a->blue, b->blue) << 16;
  };
  if (horizontal) {
    ColorRef* first = s.row(ys.lo);
    for (int x = xs.lo; x < xs.hi; ++x) first[x] = colour_at(x - left);
    for (int y = ys.lo + 1; y < ys.hi; ++y)
      std::copy(first + xs.lo, first + xs.hi, s.row(y) + xs.lo);
  } else {
    for (int y = ys.lo; y < ys.hi; ++y) {
      std::fill(s.row(y) + xs.lo, s.row(y) + xs.hi, colour_at(y - top));
    }
  }
  return true;
}

void BitBlt(Surface& dst, int dx, int dy, int w, int h, const Surface& src, int sx, int sy) {
  if (w <= 0 || h <= 0) return;
  const i64 ox = i64{sx} - dx;  // source x = destination x + ox
  const i64 oy = i64{sy} - dy;
  const Range xs =
      Clip(std::max<i64>(dx, -ox), std::min<i64>(i64{dx} + w, src.width() - ox), dst.width());
  const Range ys =
      Clip(std::max<i64>(dy, -oy), std::min<i64>(i64{dy} + h, src.height() - oy), dst.height());
  if (xs.empty() || ys.empty()) return;
  const std::size_t bytes = sizeof(ColorRef) * static_cast<std::size_t>(xs.hi - xs.lo);
  auto copy_row = [&](int y) {
    // memmove: the rows may overlap when both are the same surface.
    std::memmove(dst.row(y) + xs.lo, src.row(static_cast<int>(y + oy)) + (xs.lo + ox), bytes);
  };
  if (&dst == &src && oy < 0) {
    for (int y = ys.hi - 1; y >= ys.lo; --y) copy_row(y);
  } else {
    for (int y = ys.lo; y < ys.hi; ++y) copy_row(y);
  }
}

namespace {

// Source offsets [lo, hi) along one axis.
struct SourceRange {
  i64 lo;
  i64 hi;
};

// The source offsets shown by target offset d when dn target pixels show sn
// source pixels: one when enlarging (or copying), a run when shrinking. The
// products need 128 bits for extents near the int range.
SourceRange MapAxis(i64 d, i64 dn, i64 sn) {
  if (dn >= sn) {
    const i64 s = static_cast<i64>(FloorDiv(i128{2 * d + 1} * sn, i128{2} * dn));
    return {s, s + 1};
  }
  const i128 den = i128{2} * dn;
  return {static_cast<i64>(CeilDiv(i128{2} * sn * d - dn, den)),
          static_cast<i64>(CeilDiv(i128{2} * sn * (d + 1) - dn, den))};
}

}  // namespace

bool StretchBlt(Surface& dst, int dx, int dy, int dw, int dh, const Surface& src, int sx, int sy,
                int sw, int sh) {
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return false;
  if (&dst == &src) {
    const Surface copy = src;
    return StretchBlt(dst, dx, dy, dw, dh, copy, sx, sy, sw, sh);
  }
  const Range xs = Clip(dx, i64{dx} + dw, dst.width());
  const Range ys = Clip(dy, i64{dy} + dh, dst.height());
  if (xs.empty() || ys.empty()) return true;

  auto build = [](Range r, int d0, int dn, int s0, int sn, int limit) {
    std::vector<SourceRange> map;
    map.reserve(static_cast<std::size_t>(r.hi - r.lo));
    for (int d = r.lo; d < r.hi; ++d) {
      SourceRange m = MapAxis(d - i64{d0}, dn, sn);
      m.lo = std::max<i64>(m.lo + s0, 0);
      m.hi = std::min<i64>(m.hi + s0, limit);
      map.push_back(m);
    }
    return map;
  };
  const std::vector<SourceRange> xmap = build(xs, dx, dw, sx, sw, src.width());
  const std::vector<SourceRange> ymap = build(ys, dy, dh, sy, sh, src.height());

  for (int y = ys.lo; y < ys.hi; ++y) {
    const SourceRange& my = ymap[static_cast<std::size_t>(y - ys.lo)];
    if (my.lo >= my.hi) continue;
    ColorRef* out = dst.row(y);
    for (int x = xs.lo; x < xs.hi; ++x) {
      const SourceRange& mx = xmap[static_cast<std::size_t>(x - xs.lo)];
      if (mx.lo >= mx.hi) continue;  // entirely off the source: left alone
      ColorRef acc = 0x00FFFFFFu;
      for (i64 v = my.lo; v < my.hi; ++v) {
        const ColorRef* in = src.row(static_cast<int>(v));
        for (i64 u = mx.lo; u < mx.hi; ++u) acc &= in[u];
      }
      out[x] = RgbOf(acc);
    }
  }
  return true;
}

void DrawStateDisabled(Surface& s, int x, int y, int cx, int cy, const Surface& picture,
                       const Mask* transparent, ColorRef highlight, ColorRef shadow) {
  const int pw = cx > 0 ? std::min(cx, picture.width()) : picture.width();
  const int ph = cy > 0 ? std::min(cy, picture.height()) : picture.height();
  auto foreground = [&](int px, int py) {
    if (transparent != nullptr && transparent->get(px, py)) return false;
    return RgbOf(picture.at(px, py)) != 0x00FFFFFFu;
  };
  auto pass = [&](int offset, ColorRef colour) {
    colour = RgbOf(colour);
    const i64 ox = i64{x} + offset;
    const i64 oy = i64{y} + offset;
    const Range pxs = Clip(-ox, s.width() - ox, pw);
    const Range pys = Clip(-oy, s.height() - oy, ph);
    for (int py = pys.lo; py < pys.hi; ++py) {
      ColorRef* out = s.row(static_cast<int>(oy + py));
      for (int px = pxs.lo; px < pxs.hi; ++px) {
        if (foreground(px, py)) out[ox + px] = colour;
      }
    }
  };
  pass(1, highlight);
  pass(0, shadow);
}

}  // namespace vx::gdi

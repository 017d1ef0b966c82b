#include "platform/text/font.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/text/font_system.h"
#include "platform/text/utf8.h"

namespace vx::text {

void LogFont::SetFaceName(std::string_view name) {
  std::size_t n = std::min<std::size_t>(name.size(), LF_FACESIZE - 1);
  if (n < name.size()) {
    // Step back over continuation bytes so no character is cut in half.
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
  }
  std::memset(lfFaceName, 0, sizeof lfFaceName);
  std::memcpy(lfFaceName, name.data(), n);
}

std::string_view LogFont::FaceName() const {
  std::size_t n = 0;
  while (n < LF_FACESIZE - 1 && lfFaceName[n] != '\0') ++n;
  return std::string_view(lfFaceName, n);
}

namespace {
const LogFont kEmptyLogFont{};
const std::string kEmptyString;
}  // namespace

const LogFont& Font::logFont() const {
  return state_ ? state_->lf : kEmptyLogFont;
}
FaceMatch Font::match() const {
  return state_ ? state_->match : FaceMatch::Fallback;
}
const std::string& Font::family() const {
  return state_ ? state_->family : kEmptyString;
}
const std::string& Font::style() const {
  return state_ ? state_->style : kEmptyString;
}
const std::string& Font::file() const {
  return state_ ? state_->file : kEmptyString;
}
int Font::pixelSize() const {
  return state_ ? state_->strike->em : 0;
}
int Font::escapement() const {
  return state_ ? state_->escapement : 0;
}

Smoothing Font::smoothing() const {
  return state_ ? state_->smoothing : Smoothing::Full;
}

Font CreateFontIndirect(const LogFont& lf) {
  return CreateFontIndirect(lf, Smoothing::Full);
}

Font CreateFontIndirect(const LogFont& lf, Smoothing smoothing) {
  Font font;
  font.state_ = detail::CreateFontState(lf, smoothing);
  return font;
}

bool DeleteObject(Font& font) {
  if (!font.state_) return false;
  font.state_.reset();
  return true;
}

TextMetrics GetTextMetrics(const Font& font) {
  if (!font.state_) return TextMetrics{};
  TextMetrics m = font.state_->strike->metrics;
  m.tmUnderlined = font.state_->lf.lfUnderline ? 255 : 0;
  m.tmStruckOut = font.state_->lf.lfStrikeOut ? 255 : 0;
  return m;
}

namespace {

int SumAdvances(detail::Strike& strike, std::u32string_view text) {
  std::int64_t width = 0;
  for (char32_t cp : text) width += detail::GlyphFor(strike, cp).measure;
  return static_cast<int>(std::clamp<std::int64_t>(width, 0, 1 << 30));
}

// Maps a pixel of the unrotated text cell (column i, row j, relative to its
// top-left corner) to the surface, for the four quarter turns.
struct CellMap {
  std::int64_t x;
  std::int64_t y;
  int escapement;
  void operator()(std::int64_t i, std::int64_t j, std::int64_t* sx, std::int64_t* sy) const {
    switch (escapement) {
      case 900:
        *sx = x + j, *sy = y - 1 - i;
        break;
      case 1800:
        *sx = x - 1 - i, *sy = y - 1 - j;
        break;
      case 2700:
        *sx = x - 1 - j, *sy = y + i;
        break;
      default:
        *sx = x + i, *sy = y + j;
        break;
    }
  }
};

// The fourth byte is the surface's, not the text's: a surface that keeps it
// set (an image's opaque pixels) keeps it.
inline ColorRef Blend(ColorRef dst, ColorRef src, unsigned a) {
  if (a >= 255) return (src & 0x00FFFFFFu) | (dst & 0xFF000000u);
  const unsigned na = 255 - a;
  ColorRef out = dst & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const unsigned d = (dst >> shift) & 0xFF, s = (src >> shift) & 0xFF;
    out |= ((d * na + s * a + 127) / 255) << shift;
  }
  return out;
}

inline void Paint(Surface& surface, std::int64_t sx, std::int64_t sy, ColorRef color, unsigned a) {
  if (a == 0 || sx < 0 || sy < 0 || sx >= surface.width() || sy >= surface.height()) return;
  const int x = static_cast<int>(sx), y = static_cast<int>(sy);
  surface.set(x, y, Blend(surface.at(x, y), color, a));
}

void FillBar(Surface& surface, const CellMap& map, int top, int rows, int width, ColorRef color) {
  // Only the columns of the bar that can reach the surface.
  std::int64_t lo = 0, hi = width;
  const std::int64_t w = surface.width(), h = surface.height();
  switch (map.escapement) {
    case 900:
      lo = std::max(lo, map.y - h), hi = std::min(hi, map.y);
      break;
    case 1800:
      lo = std::max(lo, map.x - w), hi = std::min(hi, map.x);
      break;
    case 2700:
      lo = std::max(lo, -map.y), hi = std::min(hi, h - map.y);
      break;
    default:
      lo = std::max(lo, -map.x), hi = std::min(hi, w - map.x);
      break;
  }
  for (int j = top; j < top + rows; ++j) {
    for (std::int64_t i = lo; i < hi; ++i) {
      std::int64_t sx, sy;
      map(i, j, &sx, &sy);
      Paint(surface, sx, sy, color, 255);
    }
  }
}

// Standard smoothing blends a grey level l (2..15) of the text colour t
// over the surface colour d by the platform's ramp: the lighter side of t
// moves towards d by one ramp value, the darker side by the other.
constexpr int kRamp[17] = {0,    0x4d, 0x68, 0x7c, 0x8c, 0x9a, 0xa7, 0xb2, 0xbd,
                           0xc7, 0xd0, 0xd9, 0xe1, 0xe9, 0xf0, 0xf8, 0xff};

inline ColorRef BlendLevel(ColorRef dst, ColorRef text, int l) {
  if (l >= 16) return (text & 0x00FFFFFFu) | (dst & 0xFF000000u);
  ColorRef out = dst & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((dst >> shift) & 0xFF);
    const int t = static_cast<int>((text >> shift) & 0xFF);
    int v = d;
    if (d > t) {
      const int max = kRamp[16 - l] + (255 - kRamp[16 - l]) * t / 255;
      v = t + (d - t) * (max - t) / (255 - t);
    } else if (d < t) {
      const int min = kRamp[l] * t / 255;
      v = t - (t - d) * (t - min) / t;
    }
    out |= static_cast<ColorRef>(v) << shift;
  }
  return out;
}

// base + offset in double, truncated toward zero. cos 90 and cos 270 are
// not quite 0 in double: near 0 the tiny term survives and turned origins
// land one pixel off, as the platform's do; at larger coordinates it is
// rounded away.
std::int64_t TruncSum(double base, double offset) {
  return static_cast<std::int64_t>(std::trunc(base + offset));
}

struct Point {
  std::int64_t x;
  std::int64_t y;
};

// Fills a polygon as the platform fills the text's bars: in each row y the
// pixels ceil(left(y)) <= x < right(y), edges taken at the row's top.
void FillPolygon(Surface& surface, const Point (&p)[4], ColorRef color) {
  std::int64_t top = p[0].y, bottom = p[0].y;
  for (const Point& q : p) top = std::min(top, q.y), bottom = std::max(bottom, q.y);
  top = std::max<std::int64_t>(top, 0);
  bottom = std::min<std::int64_t>(bottom, surface.height());
  for (std::int64_t y = top; y < bottom; ++y) {
    double left = HUGE_VAL, right = -HUGE_VAL;
    for (int i = 0; i < 4; ++i) {
      const Point& a = p[i];
      const Point& b = p[(i + 1) % 4];
      if (a.y == b.y || y < std::min(a.y, b.y) || y >= std::max(a.y, b.y)) continue;
      const double x = static_cast<double>(a.x) + static_cast<double>(y - a.y) *
                                                      static_cast<double>(b.x - a.x) /
                                                      static_cast<double>(b.y - a.y);
      left = std::min(left, x), right = std::max(right, x);
    }
    if (left > right) continue;
    const std::int64_t from = std::max<std::int64_t>(static_cast<std::int64_t>(std::ceil(left)), 0);
    ColorRef* row = surface.row(static_cast<int>(y));
    for (std::int64_t x = from; x < right && x < surface.width(); ++x) {
      row[x] = (color & 0x00FFFFFFu) | (row[x] & 0xFF000000u);
    }
  }
}

// The underline or strike-out bar at `pos` above the baseline, `w` thick,
// along the measured width, turned with the line.
void FillTextBar(Surface& surface, Point origin, double sin_e, double cos_e, std::int64_t width,
                 int pos, int w, ColorRef color) {
  const double off = pos + w / 2;
  const std::int64_t wx = static_cast<std::int64_t>(std::trunc(width * cos_e));
  const std::int64_t wy = static_cast<std::int64_t>(std::trunc(-width * sin_e));
  const Point p0{TruncSum(static_cast<double>(origin.x), -off * sin_e),
                 TruncSum(static_cast<double>(origin.y), -off * cos_e)};
  const Point p1{TruncSum(static_cast<double>(origin.x + wx), -off * sin_e),
                 TruncSum(static_cast<double>(origin.y + wy), -off * cos_e)};
  const Point p2{TruncSum(static_cast<double>(p1.x), w * sin_e),
                 TruncSum(static_cast<double>(p1.y), w * cos_e)};
  const Point p3{TruncSum(static_cast<double>(p0.x), w * sin_e),
                 TruncSum(static_cast<double>(p0.y), w * cos_e)};
  FillPolygon(surface, {p0, p1, p2, p3}, color);
}

void PaintGlyph(Surface& surface, const detail::Glyph& g, std::int64_t gx, std::int64_t gy,
                int first_row, int end_row, ColorRef color) {
  for (int r = std::max(first_row, 0); r < std::min(end_row, g.rows); ++r) {
    const std::int64_t sy = gy + r;
    if (sy < 0 || sy >= surface.height()) continue;
    const std::uint8_t* cov = g.coverage.data() + static_cast<std::size_t>(r) * g.width;
    ColorRef* row = surface.row(static_cast<int>(sy));
    for (int c = 0; c < g.width; ++c) {
      const std::int64_t sx = gx + c;
      if (cov[c] <= 1 || sx < 0 || sx >= surface.width()) continue;
      row[sx] = BlendLevel(row[sx], color, cov[c]);
    }
  }
}

// Text as the platform draws it with standard smoothing or smoothing off.
int TextOutGdi(Surface& surface, const detail::FontState& state, int x, int y,
               const std::u32string& text, ColorRef color) {
  detail::Strike& strike = *state.strike;
  // Raster faces are never turned: the line runs horizontally from the
  // text origin.
  const int esc = strike.bitmap ? 0 : state.escapement;
  const double e = esc * M_PI / 1800.0;
  const double sin_e = esc == 0 ? 0.0 : std::sin(e);
  const double cos_e = esc == 0 ? 1.0 : std::cos(e);
  const int ascent = strike.metrics.tmAscent;
  const int descent = strike.metrics.tmDescent;
  const Point origin{TruncSum(x, ascent * sin_e), TruncSum(y, ascent * cos_e)};
  std::int64_t drawn = 0;     // drawn advances, unturned
  std::int64_t measured = 0;  // measured advances
  for (char32_t cp : text) {
    const detail::Glyph& upright = detail::GlyphFor(strike, cp);
    if (esc == 0) {
      // Clipped to the cell: nothing above the ascent or below the descent.
      const int first = std::max(0, upright.top - ascent);
      const int end = upright.top + descent;
      PaintGlyph(surface, upright, origin.x + drawn + upright.left, origin.y - upright.top, first,
                 end, color);
    } else {
      const detail::Glyph& g = detail::TurnedGlyphFor(strike, cp, esc);
      const std::int64_t px =
          origin.x + static_cast<std::int64_t>(std::trunc(cos_e * static_cast<double>(measured)));
      const std::int64_t py =
          origin.y + static_cast<std::int64_t>(std::trunc(-sin_e * static_cast<double>(measured)));
      PaintGlyph(surface, g, px + g.left, py - g.top, 0, g.rows, color);
    }
    drawn += upright.advance;
    measured += upright.measure;
  }
  const std::int64_t width = std::clamp<std::int64_t>(measured, 0, 1 << 30);
  if (state.lf.lfUnderline) {
    FillTextBar(surface, origin, sin_e, cos_e, width, strike.underline_pos, strike.underline_width,
                color);
  }
  if (state.lf.lfStrikeOut) {
    FillTextBar(surface, origin, sin_e, cos_e, width, strike.strikeout_pos, strike.strikeout_width,
                color);
  }
  return static_cast<int>(width);
}

}  // namespace

TextExtent MeasureText(const Font& font, std::string_view utf8) {
  if (!font.state_ || utf8.empty()) return TextExtent{};
  auto lock = detail::FontLock();
  auto& strike = *font.state_->strike;
  return TextExtent{SumAdvances(strike, DecodeUtf8(utf8)), strike.metrics.tmHeight};
}

int TextOut(Surface& surface, const Font& font, int x, int y, std::string_view utf8,
            ColorRef color) {
  if (!font.state_ || utf8.empty()) return 0;
  color &= 0x00FFFFFFu;
  const std::u32string text = DecodeUtf8(utf8);
  auto lock = detail::FontLock();
  auto& strike = *font.state_->strike;
  if (strike.gdi) return TextOutGdi(surface, *font.state_, x, y, text, color);
  const CellMap map{x, y, font.state_->escapement};
  const int ascent = strike.metrics.tmAscent;
  std::int64_t pen = 0;
  for (char32_t cp : text) {
    const detail::Glyph& g = detail::GlyphFor(strike, cp);
    const std::int64_t left = pen + g.left;
    const std::int64_t top = ascent - g.top;
    for (int r = 0; r < g.rows; ++r) {
      const std::uint8_t* cov = g.coverage.data() + static_cast<std::size_t>(r) * g.width;
      if (map.escapement == 0) {
        const std::int64_t sy = y + top + r;
        if (sy < 0 || sy >= surface.height()) continue;
        ColorRef* row = surface.row(static_cast<int>(sy));
        for (int c = 0; c < g.width; ++c) {
          const std::int64_t sx = x + left + c;
          if (cov[c] == 0 || sx < 0 || sx >= surface.width()) continue;
          row[sx] = Blend(row[sx], color, cov[c]);
        }
      } else {
        for (int c = 0; c < g.width; ++c) {
          std::int64_t sx, sy;
          map(left + c, top + r, &sx, &sy);
          Paint(surface, sx, sy, color, cov[c]);
        }
      }
    }
    pen += g.advance;
  }
  const int width = static_cast<int>(std::clamp<std::int64_t>(pen, 0, 1 << 30));
  if (font.state_->lf.lfUnderline) {
    FillBar(surface, map, strike.underline_top, strike.underline_size, width, color);
  }
  if (font.state_->lf.lfStrikeOut) {
    FillBar(surface, map, strike.strikeout_top, strike.strikeout_size, width, color);
  }
  return width;
}

}  // namespace vx::text

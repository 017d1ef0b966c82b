#include "platform/text/font.h"

#include <algorithm>
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

Font CreateFontIndirect(const LogFont& lf) {
  Font font;
  font.state_ = detail::CreateFontState(lf);
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
  for (char32_t cp : text) width += detail::GlyphFor(strike, cp).advance;
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

#pragma once

// Fonts and single-line text on a Surface, with the platform's logical-font
// record, its text metrics, its one-line measurement and its text output.
// Faces come from fontconfig and FreeType; a font handle is cheap to create
// and delete because faces, sizes and glyphs are cached behind it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/gdi/surface.h"

namespace vx::text {

// Weights, qualities, character sets and pitch-and-family flags, with the
// platform's values.
inline constexpr std::int32_t FW_DONTCARE = 0;
inline constexpr std::int32_t FW_NORMAL = 400;
inline constexpr std::int32_t FW_SEMIBOLD = 600;
inline constexpr std::int32_t FW_BOLD = 700;

inline constexpr std::uint8_t DEFAULT_QUALITY = 0;
inline constexpr std::uint8_t NONANTIALIASED_QUALITY = 3;
inline constexpr std::uint8_t ANTIALIASED_QUALITY = 4;

inline constexpr std::uint8_t ANSI_CHARSET = 0;
inline constexpr std::uint8_t DEFAULT_CHARSET = 1;
inline constexpr std::uint8_t SYMBOL_CHARSET = 2;

// Careful: TMPF_FIXED_PITCH set means the font is NOT fixed pitch.
inline constexpr std::uint8_t TMPF_FIXED_PITCH = 0x01;
inline constexpr std::uint8_t TMPF_VECTOR = 0x02;
inline constexpr std::uint8_t TMPF_TRUETYPE = 0x04;
inline constexpr std::uint8_t TMPF_DEVICE = 0x08;
inline constexpr std::uint8_t FF_DONTCARE = 0x00;
inline constexpr std::uint8_t FF_ROMAN = 0x10;
inline constexpr std::uint8_t FF_SWISS = 0x20;
inline constexpr std::uint8_t FF_MODERN = 0x30;
inline constexpr std::uint8_t FF_SCRIPT = 0x40;
inline constexpr std::uint8_t FF_DECORATIVE = 0x50;

inline constexpr int LF_FACESIZE = 32;

// The logical font record (ANSI form). Heights are in pixels: negative asks
// for that character (em) height, positive for that cell height, 0 for the
// default size. Escapement is in tenths of a degree, counter-clockwise.
struct LogFont {
  std::int32_t lfHeight = 0;
  std::int32_t lfWidth = 0;  // not supported: glyphs keep their natural width
  std::int32_t lfEscapement = 0;
  std::int32_t lfOrientation = 0;
  std::int32_t lfWeight = 0;
  std::uint8_t lfItalic = 0;
  std::uint8_t lfUnderline = 0;
  std::uint8_t lfStrikeOut = 0;
  std::uint8_t lfCharSet = 0;
  std::uint8_t lfOutPrecision = 0;
  std::uint8_t lfClipPrecision = 0;
  std::uint8_t lfQuality = 0;
  std::uint8_t lfPitchAndFamily = 0;
  char lfFaceName[LF_FACESIZE] = {};

  // Stores the name cut to 31 bytes so that the terminating NUL fits. A UTF-8
  // sequence is never split: the cut moves back to the sequence's start.
  void SetFaceName(std::string_view name);
  // The name up to the first NUL (at most 31 bytes even if the array was
  // filled without one).
  std::string_view FaceName() const;
};

// The platform's TEXTMETRIC (ANSI form), in pixels.
struct TextMetrics {
  std::int32_t tmHeight = 0;
  std::int32_t tmAscent = 0;
  std::int32_t tmDescent = 0;
  std::int32_t tmInternalLeading = 0;
  std::int32_t tmExternalLeading = 0;
  std::int32_t tmAveCharWidth = 0;
  std::int32_t tmMaxCharWidth = 0;
  std::int32_t tmWeight = 0;
  std::int32_t tmOverhang = 0;
  std::int32_t tmDigitizedAspectX = 96;
  std::int32_t tmDigitizedAspectY = 96;
  std::uint8_t tmFirstChar = 0;
  std::uint8_t tmLastChar = 0;
  std::uint8_t tmDefaultChar = 0;
  std::uint8_t tmBreakChar = 0;
  std::uint8_t tmItalic = 0;
  std::uint8_t tmUnderlined = 0;
  std::uint8_t tmStruckOut = 0;
  std::uint8_t tmPitchAndFamily = 0;
  std::uint8_t tmCharSet = 0;
};

// How the face name of the record was satisfied.
enum class FaceMatch {
  Exact,       // a face of that family
  Substitute,  // a configured replacement (e.g. a metric-compatible family)
  Fallback,    // nothing answers to the name: the default face
};

struct TextExtent {
  int cx = 0;
  int cy = 0;
  friend bool operator==(const TextExtent&, const TextExtent&) = default;
};

// How glyph edges are smoothed, and with it how text is measured.
enum class Smoothing {
  // Grey at every size with 255 levels, glyphs hinted for black-and-white
  // output and measured by those advances: the drawing for modern screens.
  Full,
  // The platform's standard smoothing: grey (17 levels, blended by its
  // ramp) only at the sizes whose gasp range asks for it, for synthesised
  // styles and for fonts without a gasp table, black-and-white otherwise;
  // widths measured from the outlines; turned text rasterised from the
  // turned outline; raster faces never turned. lfQuality
  // NONANTIALIASED_QUALITY draws black-and-white.
  Standard,
  // As Standard, but black-and-white at every size.
  Off,
};

namespace detail {
struct FontState;
}

// A font handle. Copies share one font; a default-constructed or deleted
// handle is empty, measures 0 by 0 and draws nothing.
class Font {
 public:
  Font() = default;
  explicit operator bool() const { return state_ != nullptr; }

  const LogFont& logFont() const;
  FaceMatch match() const;
  const std::string& family() const;  // the family actually used
  const std::string& style() const;   // its style name ("Bold Italic")
  const std::string& file() const;
  int pixelSize() const;   // em height in pixels
  int escapement() const;  // 0, 900, 1800 or 2700: the turn actually drawn
  Smoothing smoothing() const;

 private:
  friend Font CreateFontIndirect(const LogFont& lf, Smoothing smoothing);
  friend bool DeleteObject(Font& font);
  friend TextMetrics GetTextMetrics(const Font& font);
  friend TextExtent MeasureText(const Font& font, std::string_view utf8);
  friend int TextOut(Surface& surface, const Font& font, int x, int y, std::string_view utf8,
                     ColorRef color);

  std::shared_ptr<const detail::FontState> state_;
};

// A face that cannot be found is replaced by the default face (see
// Font::match()); the handle is empty only when no face is installed at
// all. The escapement is snapped to the nearest quarter turn and
// lfOrientation is ignored (the compatible graphics mode turns glyphs with
// the line). lfWeight of 600 or more asks for bold, lfItalic for italic;
// a family without such a face is emboldened (one pixel wider) or slanted.
// lfQuality NONANTIALIASED_QUALITY draws black-and-white glyphs, anything
// else antialiased ones; sizes and advances are the same either way.
// The one-argument form draws with Smoothing::Full.
Font CreateFontIndirect(const LogFont& lf);
Font CreateFontIndirect(const LogFont& lf, Smoothing smoothing);

// Empties the handle. Returns false when it was already empty, so deleting a
// font twice is harmless.
bool DeleteObject(Font& font);

TextMetrics GetTextMetrics(const Font& font);

// What DrawTextA gives with DT_CALCRECT | DT_SINGLELINE | DT_NOCLIP |
// DT_NOPREFIX for a rectangle at (0, 0): cx = the sum of the glyphs' advance
// widths in whole pixels, cy = tmHeight; an empty text gives 0 by 0. The
// measurement ignores the escapement. Text is UTF-8; bytes that are not
// valid UTF-8 are read as Windows-1252 characters.
TextExtent MeasureText(const Font& font, std::string_view utf8);

// Writes one line with a transparent background. (x, y) is the top-left
// corner of the unrotated text cell, turned with the text: for escapement
// 900 the cell covers columns x .. x+cy-1 and rows y-cx .. y-1 (reading
// upwards from y); for 2700 columns x-cy .. x-1 and rows y .. y+cx-1
// (reading downwards); for 1800 columns x-cx .. x-1 and rows y-cy .. y-1.
// Ink may reach outside the cell (overhanging glyphs); nothing outside the
// surface is touched. Underline and strike-out follow the record. Returns
// the advance (the measured cx).
int TextOut(Surface& surface, const Font& font, int x, int y, std::string_view utf8,
            ColorRef color);

}  // namespace vx::text

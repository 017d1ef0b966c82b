#pragma once

// Inside the text library: faces, sizes and glyphs shared by all font
// handles. Everything that touches FreeType runs under one lock (FreeType
// objects are not thread-safe); hold FontLock() while using a Strike.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/text/font.h"

namespace vx::text::detail {

struct Face;

// One rendered glyph: coverage 0..255, placed relative to the pen position
// on the baseline (top = rows above the baseline).
struct Glyph {
  int advance = 0;      // whole pixels, as drawn
  int measure = 0;      // whole pixels, as measured
  bool levels = false;  // coverage holds the 17 levels 0..16, not 0..255
  int left = 0;
  int top = 0;
  int width = 0;
  int rows = 0;
  std::vector<std::uint8_t> coverage;  // rows * width
};

// A face at one pixel size, with its synthesis and rendering choices.
class Strike {
 public:
  Strike() = default;
  Strike(const Strike&) = delete;
  Strike& operator=(const Strike&) = delete;
  ~Strike();

  std::shared_ptr<Face> face;
  void* size = nullptr;  // FT_Size
  int em = 0;
  bool synth_bold = false;
  bool synth_italic = false;
  bool mono = false;
  // Drawn and measured as the platform's standard smoothing (or with
  // smoothing off) does, rather than the long-standing grey.
  bool gdi = false;
  bool bitmap = false;  // a raster face: never turned
  TextMetrics metrics;  // tmUnderlined / tmStruckOut left 0
  // Rows of the underline and strike-out bars, from the top of the cell.
  int underline_top = 0;
  int underline_size = 1;
  int strikeout_top = 0;
  int strikeout_size = 1;
  // The bars as the platform places them: offset above the baseline and
  // thickness, not kept inside the cell.
  int underline_pos = 0;
  int underline_width = 1;
  int strikeout_pos = 0;
  int strikeout_width = 1;

  // Glyph cache by glyph index, and the code point map (glyphs may come
  // from a fallback strike for characters the face lacks).
  std::unordered_map<std::uint32_t, Glyph> glyphs;
  // Glyphs rasterised from the turned outline, by turn and glyph index.
  std::unordered_map<std::uint64_t, Glyph> turned;
  struct Mapped {
    Strike* strike;
    std::uint32_t index;
  };
  std::unordered_map<char32_t, Mapped> chars;
  std::vector<std::shared_ptr<Strike>> fallbacks;  // keeps mapped strikes alive
};

struct FontState {
  LogFont lf;
  std::shared_ptr<Strike> strike;
  FaceMatch match = FaceMatch::Exact;
  int escapement = 0;
  Smoothing smoothing = Smoothing::Full;
  std::string family;
  std::string style;
  std::string file;
};

// Recursive: releasing the last handle of a strike frees FreeType objects,
// which may happen while the lock is already held.
std::unique_lock<std::recursive_mutex> FontLock();

// Resolves the record's face and builds the state of a new handle.
std::shared_ptr<const FontState> CreateFontState(const LogFont& lf, Smoothing smoothing);

// The glyph that shows a code point (the face's missing-glyph box when no
// installed face has it). Requires FontLock(). The reference stays valid
// while the strike lives.
const Glyph& GlyphFor(Strike& strike, char32_t cp);
// The same glyph rasterised from its outline turned by `escapement` tenths
// of a degree (a standard-smoothing strike of an outline face only).
const Glyph& TurnedGlyphFor(Strike& strike, char32_t cp, int escapement);

}  // namespace vx::text::detail

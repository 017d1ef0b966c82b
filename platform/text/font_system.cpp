#include "platform/text/font_system.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_TRIGONOMETRY_H
#include FT_BITMAP_H
#include FT_GLYPH_H
#include FT_TRUETYPE_TABLES_H
#include FT_WINFONTS_H

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <tuple>

#include "platform/base/ascii.h"
#include "platform/text/utf8.h"

#if defined(__SANITIZE_ADDRESS__)
#define VX_TEXT_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_TEXT_LSAN 1
#endif
#endif
#if defined(VX_TEXT_LSAN)
#include <sanitizer/lsan_interface.h>
#endif

namespace vx::text::detail {
namespace {

// Sizes beyond this are clamped: a glyph at 1024 pixels already takes a
// megabyte, and no caption needs more.
constexpr int kMaxEm = 1024;
// lfHeight 0 asks for the default size: the system font's 16-pixel cell.
constexpr int kDefaultCellHeight = 16;
// Cache sizes before old entries are dropped (live handles keep theirs).
constexpr std::size_t kMaxResolved = 256;
constexpr std::size_t kMaxStrikes = 64;
constexpr std::size_t kMaxFallbacks = 512;

// Where Debian's fonts-wine puts the look-alikes of the platform's own
// faces (Tahoma among them); the default configuration does not list it.
constexpr const char* kWineFontDir = "/usr/share/wine/fonts";

std::recursive_mutex& Mutex() {
  // Never destroyed: handles held by static objects may be released after
  // every other static is gone.
  static auto* mutex = new std::recursive_mutex;
  return *mutex;
}

struct Library {
  FT_Library ft = nullptr;
  Library() {
    if (FT_Init_FreeType(&ft) != 0) {
      ft = nullptr;
      return;
    }
    // The classic TrueType interpreter hints both axes and honours the
    // fonts' device widths, so advances come out in whole pixels as the
    // platform's non-smoothed GDI gives them.
    FT_UInt version = TT_INTERPRETER_VERSION_35;
    FT_Property_Set(ft, "truetype", "interpreter-version", &version);
  }
  ~Library() {
    if (ft) FT_Done_FreeType(ft);
  }
};

enum class Kind { TrueType, OtherOutline, Bitmap };
enum class CharMode { Unicode, Symbol, Bytes };

struct VdmxEntry {
  int ppem;
  int y_max;
  int y_min;
};

int RoundDiv(std::int64_t num, std::int64_t den) {
  // Rounds half away from zero; den > 0.
  if (num >= 0) return static_cast<int>((2 * num + den) / (2 * den));
  return -static_cast<int>((-2 * num + den) / (2 * den));
}

}  // namespace

struct Face {
  std::shared_ptr<Library> lib;
  FT_Face ft = nullptr;
  std::string file;
  int index = 0;
  std::string family;
  std::string style;
  Kind kind = Kind::TrueType;
  CharMode char_mode = CharMode::Unicode;
  bool has_fnt = false;
  FT_WinFNT_HeaderRec fnt{};
  int weight = 400;
  bool italic = false;
  bool fixed_pitch = false;
  std::uint8_t family_bits = FF_DONTCARE;
  std::vector<VdmxEntry> vdmx;
  // The gasp ranges in file order: largest ppem and flags.
  std::vector<std::pair<int, int>> gasp;
  bool gasp_valid = false;

  ~Face() {
    auto lock = FontLock();
    if (ft) FT_Done_Face(ft);
  }
};

Strike::~Strike() {
  auto lock = FontLock();
  if (size) FT_Done_Size(static_cast<FT_Size>(size));
}

std::unique_lock<std::recursive_mutex> FontLock() {
  return std::unique_lock<std::recursive_mutex>(Mutex());
}

namespace {

std::uint16_t U16(const std::vector<FT_Byte>& b, std::size_t at) {
  return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}
std::int16_t S16(const std::vector<FT_Byte>& b, std::size_t at) {
  return static_cast<std::int16_t>(U16(b, at));
}

// The VDMX table lists, per pixel size, the ascent and descent of the cell.
// The platform takes them only from a ratio record for a character set other
// than 0 that covers a 1:1 aspect ratio, and only for the sizes its group
// spans; fonts whose one record has character set 0 (Tahoma's) get the cell
// from usWinAscent and usWinDescent instead.
std::vector<VdmxEntry> ReadVdmx(FT_Face face) {
  std::vector<VdmxEntry> out;
  FT_ULong length = 0;
  const FT_ULong tag = FT_MAKE_TAG('V', 'D', 'M', 'X');
  if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &length) != 0 || length < 6) return out;
  std::vector<FT_Byte> b(length);
  if (FT_Load_Sfnt_Table(face, tag, 0, b.data(), &length) != 0) return out;
  const std::size_t ratios = U16(b, 4);
  const std::size_t offsets_at = 6 + 4 * ratios;
  if (offsets_at + 2 * ratios > b.size()) return out;
  for (std::size_t i = 0; i < ratios; ++i) {
    const std::size_t r = 6 + 4 * i;
    const int charset = b[r], x = b[r + 1], y_start = b[r + 2], y_end = b[r + 3];
    if (charset == 0) continue;
    const bool all = x == 0 && y_start == 0 && y_end == 0;
    if (!all && !(y_start <= x && x <= y_end)) continue;
    const std::size_t group = U16(b, offsets_at + 2 * i);
    if (group + 4 > b.size()) return out;
    const std::size_t recs = U16(b, group);
    const int start_size = b[group + 2], end_size = b[group + 3];
    if (group + 4 + 6 * recs > b.size()) return out;
    for (std::size_t k = 0; k < recs; ++k) {
      const std::size_t e = group + 4 + 6 * k;
      const int ppem = U16(b, e);
      if (ppem < start_size || ppem > end_size) continue;
      out.push_back({ppem, S16(b, e + 2), S16(b, e + 4)});
    }
    return out;
  }
  return out;
}

// The gasp table: version 0 or 1, at least one range, all of it present.
void ReadGasp(Face& face) {
  FT_ULong length = 0;
  const FT_ULong tag = FT_MAKE_TAG('g', 'a', 's', 'p');
  if (FT_Load_Sfnt_Table(face.ft, tag, 0, nullptr, &length) != 0 || length < 4) return;
  std::vector<FT_Byte> b(length);
  if (FT_Load_Sfnt_Table(face.ft, tag, 0, b.data(), &length) != 0) return;
  const int version = U16(b, 0);
  const std::size_t ranges = U16(b, 2);
  if (version > 1 || ranges == 0 || 4 + 4 * ranges > b.size()) return;
  for (std::size_t i = 0; i < ranges; ++i) {
    face.gasp.emplace_back(U16(b, 4 + 4 * i), U16(b, 6 + 4 * i));
  }
  face.gasp_valid = true;
}

// Whether standard smoothing draws this face grey at `ppem`: where its gasp
// range says DOGRAY (past the last range, the last range's flags), and
// always when it has no valid table.
bool GaspSaysGrey(const Face& face, int ppem) {
  constexpr int kDoGray = 0x0002;
  if (!face.gasp_valid) return true;
  for (const auto& [max_ppem, flags] : face.gasp) {
    if (ppem <= max_ppem) return (flags & kDoGray) != 0;
  }
  return (face.gasp.back().second & kDoGray) != 0;
}

std::uint8_t FamilyBits(const TT_OS2* os2, bool fixed) {
  if (fixed) return FF_MODERN;
  if (!os2 || os2->version == 0xFFFF) return FF_DONTCARE;
  const int kind = os2->panose[0];
  if (kind == 2) {  // Latin text
    if (os2->panose[3] == 9) return FF_MODERN;
    const int serif = os2->panose[1];
    if (serif >= 11 && serif <= 15) return FF_SWISS;
    if (serif >= 2 && serif <= 10) return FF_ROMAN;
  } else if (kind == 3) {
    return FF_SCRIPT;
  } else if (kind == 4 || kind == 5) {
    return FF_DECORATIVE;
  }
  switch (os2->sFamilyClass >> 8) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
      return FF_ROMAN;
    case 8:
      return FF_SWISS;
    case 9:
    case 12:
      return FF_DECORATIVE;
    case 10:
      return FF_SCRIPT;
    default:
      return FF_DONTCARE;
  }
}

std::shared_ptr<Face> OpenFace(const std::shared_ptr<Library>& lib, const std::string& file,
                               int index) {
  if (!lib->ft) return nullptr;
  FT_Face ft = nullptr;
  if (FT_New_Face(lib->ft, file.c_str(), index, &ft) != 0) return nullptr;
  auto face = std::make_shared<Face>();
  face->lib = lib;
  face->ft = ft;
  face->file = file;
  face->index = index;
  face->family = ft->family_name ? ft->family_name : "";
  face->style = ft->style_name ? ft->style_name : "";
  if (!FT_IS_SCALABLE(ft)) {
    face->kind = Kind::Bitmap;
  } else if (FT_IS_SFNT(ft)) {
    face->kind = Kind::TrueType;
  } else {
    face->kind = Kind::OtherOutline;
  }
  face->has_fnt = FT_Get_WinFNT_Header(ft, &face->fnt) == 0;
  if (FT_Select_Charmap(ft, FT_ENCODING_UNICODE) == 0) {
    face->char_mode = CharMode::Unicode;
  } else if (FT_Select_Charmap(ft, FT_ENCODING_MS_SYMBOL) == 0) {
    face->char_mode = CharMode::Symbol;
  } else if (ft->num_charmaps > 0) {
    FT_Set_Charmap(ft, ft->charmaps[0]);
    face->char_mode = CharMode::Bytes;
  }
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
  const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(ft, FT_SFNT_POST));
  face->fixed_pitch = FT_IS_FIXED_WIDTH(ft) || (post && post->isFixedPitch != 0);
  if (face->has_fnt) {
    face->weight = face->fnt.weight;
    face->italic = face->fnt.italic != 0;
    face->family_bits = face->fnt.pitch_and_family & 0xF0;
  } else {
    face->weight = (os2 && os2->version != 0xFFFF && os2->usWeightClass > 0)
                       ? os2->usWeightClass
                       : ((ft->style_flags & FT_STYLE_FLAG_BOLD) ? FW_BOLD : FW_NORMAL);
    face->italic = (ft->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    face->family_bits = FamilyBits(os2, face->fixed_pitch);
  }
  if (face->kind == Kind::TrueType) {
    face->vdmx = ReadVdmx(ft);
    ReadGasp(*face);
  }
  return face;
}

// Ascent and descent of a TrueType cell at em pixels: the VDMX values when
// the font lists the size, else usWinAscent / usWinDescent scaled and
// rounded, which is what the platform does.
std::pair<int, int> SfntCell(const Face& face, int em) {
  for (const auto& e : face.vdmx) {
    if (e.ppem == em) return {e.y_max, -e.y_min};
  }
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face.ft, FT_SFNT_OS2));
  const int upem = face.ft->units_per_EM > 0 ? face.ft->units_per_EM : 2048;
  if (os2 && os2->version != 0xFFFF && (os2->usWinAscent || os2->usWinDescent)) {
    // Scaled as the platform scales them: a 16.16 factor, rounded twice.
    const FT_Long s = FT_MulDiv(em, 0x10000, upem);
    const FT_Long descent = std::abs(static_cast<std::int16_t>(os2->usWinDescent));
    return {static_cast<int>(FT_MulFix(os2->usWinAscent, s)),
            static_cast<int>(FT_MulFix(descent, s))};
  }
  return {RoundDiv(std::int64_t{face.ft->ascender} * em, upem),
          RoundDiv(-std::int64_t{face.ft->descender} * em, upem)};
}

// The em size in pixels for a record height on this face.
int EmFor(const Face& face, std::int32_t lf_height) {
  std::int64_t h = lf_height;
  if (h < 0) return static_cast<int>(std::clamp<std::int64_t>(-h, 1, kMaxEm));
  if (h == 0) h = kDefaultCellHeight;
  h = std::min<std::int64_t>(h, 4 * kMaxEm);
  if (face.kind == Kind::Bitmap) return static_cast<int>(h);  // a cell height; see PickStrike
  // A cell height: the largest VDMX size whose cell fits, else scale by the
  // cell's share of the em.
  int best = 0;
  for (const auto& e : face.vdmx) {
    if (e.y_max - e.y_min <= h) best = std::max(best, e.ppem);
  }
  if (best > 0) return std::min(best, kMaxEm);
  const int upem = face.ft->units_per_EM > 0 ? face.ft->units_per_EM : 2048;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face.ft, FT_SFNT_OS2));
  std::int64_t cell = (os2 && os2->version != 0xFFFF)
                          ? std::int64_t{os2->usWinAscent} + os2->usWinDescent
                          : std::int64_t{face.ft->ascender} - face.ft->descender;
  if (cell <= 0) cell = upem;
  return static_cast<int>(std::clamp<std::int64_t>(RoundDiv(h * upem, cell), 1, kMaxEm));
}

// For bitmap faces: the strike whose character height (or cell height, for
// a positive record height) is closest, the smaller one on a tie.
int PickStrike(const Face& face, std::int32_t lf_height) {
  const FT_Face ft = face.ft;
  const bool cell = lf_height >= 0;
  const std::int64_t want =
      lf_height < 0 ? -std::int64_t{lf_height} : (lf_height == 0 ? kDefaultCellHeight : lf_height);
  int best = 0;
  std::int64_t best_diff = -1;
  for (int i = 0; i < ft->num_fixed_sizes; ++i) {
    const auto& s = ft->available_sizes[i];
    const std::int64_t have = cell ? s.height : (s.y_ppem + 32) >> 6;
    const std::int64_t diff = have > want ? 2 * (have - want) + 1 : 2 * (want - have);
    if (best_diff < 0 || diff < best_diff) best = i, best_diff = diff;
  }
  return best;
}

void FillTrueTypeMetrics(Strike& s) {
  const Face& face = *s.face;
  const FT_Face ft = face.ft;
  const int em = s.em;
  const int upem = ft->units_per_EM > 0 ? ft->units_per_EM : 2048;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA));
  const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(ft, FT_SFNT_POST));
  const bool has_os2 = os2 && os2->version != 0xFFFF;
  auto scale = [&](std::int64_t units) { return RoundDiv(units * em, upem); };

  TextMetrics& m = s.metrics;
  const auto [ascent, descent] = SfntCell(face, em);
  m.tmAscent = ascent;
  m.tmDescent = descent;
  m.tmHeight = ascent + descent;
  m.tmInternalLeading = m.tmHeight - em;
  if (has_os2 && hhea) {
    const std::int64_t win = std::int64_t{os2->usWinAscent} + os2->usWinDescent;
    const std::int64_t typo = std::int64_t{hhea->Ascender} - hhea->Descender;
    m.tmExternalLeading = std::max(0, scale(hhea->Line_Gap - (win - typo)));
  }
  m.tmAveCharWidth = has_os2 && os2->xAvgCharWidth > 0 ? scale(os2->xAvgCharWidth) : 0;
  m.tmMaxCharWidth = hhea ? scale(hhea->advance_Width_Max) : scale(ft->max_advance_width);
  m.tmWeight = face.weight;
  m.tmItalic = face.italic ? 255 : 0;
  const bool symbol = face.char_mode == CharMode::Symbol;
  m.tmCharSet = symbol ? SYMBOL_CHARSET : ANSI_CHARSET;
  if (has_os2) {
    // Symbol fonts list their characters at U+F0xx: the byte is the code.
    auto byte = [&](int c) {
      return static_cast<std::uint8_t>(symbol ? c & 0xFF : std::min(c, 0xFF));
    };
    m.tmFirstChar = byte(os2->usFirstCharIndex);
    m.tmLastChar = byte(os2->usLastCharIndex);
  } else {
    m.tmFirstChar = 0x20;
    m.tmLastChar = 0xFF;
  }
  m.tmDefaultChar = m.tmFirstChar > 0 ? m.tmFirstChar - 1 : 0;
  m.tmBreakChar = 0x20;
  std::uint8_t pitch = TMPF_VECTOR | TMPF_TRUETYPE;
  if (!face.fixed_pitch) pitch |= TMPF_FIXED_PITCH;
  m.tmPitchAndFamily = pitch | face.family_bits;

  // The post table gives the top of the underline, OS/2 the top of the
  // strike-out bar, both relative to the baseline.
  if (post && (post->underlinePosition || post->underlineThickness)) {
    s.underline_top = ascent + scale(-std::int64_t{post->underlinePosition});
    s.underline_size = std::max(1, scale(post->underlineThickness));
  } else {
    s.underline_top = ascent + 1;
    s.underline_size = std::max(1, em / 14);
  }
  if (has_os2 && os2->yStrikeoutSize > 0) {
    s.strikeout_top = ascent - scale(os2->yStrikeoutPosition);
    s.strikeout_size = std::max(1, scale(os2->yStrikeoutSize));
  } else {
    s.strikeout_size = s.underline_size;
    s.strikeout_top = ascent - std::max(1, em * 3 / 10);
  }
}

void FillOtherMetrics(Strike& s) {
  const Face& face = *s.face;
  const FT_Face ft = face.ft;
  TextMetrics& m = s.metrics;
  if (face.has_fnt) {
    const auto& h = face.fnt;
    m.tmHeight = h.pixel_height;
    m.tmAscent = h.ascent;
    m.tmDescent = h.pixel_height - h.ascent;
    m.tmInternalLeading = h.internal_leading;
    m.tmExternalLeading = h.external_leading;
    m.tmAveCharWidth = h.avg_width;
    m.tmMaxCharWidth = h.max_width;
    m.tmFirstChar = h.first_char;
    m.tmLastChar = h.last_char;
    m.tmDefaultChar = static_cast<std::uint8_t>(h.first_char + h.default_char);
    m.tmBreakChar = static_cast<std::uint8_t>(h.first_char + h.break_char);
    m.tmCharSet = h.charset;
    m.tmDigitizedAspectX = h.horizontal_resolution ? h.horizontal_resolution : 96;
    m.tmDigitizedAspectY = h.vertical_resolution ? h.vertical_resolution : 96;
    // A vector FNT font is still no TrueType or device font.
    m.tmPitchAndFamily = static_cast<std::uint8_t>(
        (h.pitch_and_family & ~(TMPF_TRUETYPE | TMPF_DEVICE | TMPF_VECTOR)) |
        ((h.file_type & 1) ? TMPF_VECTOR : 0));
  } else {
    const FT_Size_Metrics& sm = ft->size->metrics;
    m.tmAscent = static_cast<int>((sm.ascender + 63) >> 6);
    m.tmDescent = static_cast<int>((-sm.descender + 63) >> 6);
    m.tmHeight = m.tmAscent + m.tmDescent;
    m.tmInternalLeading = std::max(0, m.tmHeight - s.em);
    m.tmExternalLeading = std::max(0, static_cast<int>((sm.height + 32) >> 6) - m.tmHeight);
    m.tmMaxCharWidth = static_cast<int>((sm.max_advance + 32) >> 6);
    m.tmAveCharWidth = 0;  // filled from 'x' below
    m.tmFirstChar = 0x20;
    m.tmLastChar = 0xFF;
    m.tmDefaultChar = 0x1F;
    m.tmBreakChar = 0x20;
    std::uint8_t pitch = face.fixed_pitch ? 0 : TMPF_FIXED_PITCH;
    // Type 1 outlines can be turned: the platform counts them as device
    // fonts. Bitmap-only faces get neither flag.
    if (face.kind == Kind::OtherOutline) pitch |= TMPF_VECTOR | TMPF_DEVICE;
    m.tmPitchAndFamily = pitch | face.family_bits;
  }
  m.tmWeight = face.weight;
  m.tmItalic = face.italic ? 255 : 0;
  s.underline_top = m.tmAscent + 1;
  s.underline_size = 1;
  s.strikeout_top = m.tmAscent - std::max(1, (m.tmAscent - m.tmInternalLeading) / 3);
  s.strikeout_size = 1;
}

struct ResolveKey {
  std::string name;
  bool bold;
  bool italic;
  int pixel_hint;
  int charset;
  auto operator<=>(const ResolveKey&) const = default;
};

struct Resolved {
  std::string file;
  int index = 0;
  FaceMatch match = FaceMatch::Fallback;
  bool want_bold = false;
  bool want_italic = false;
};

struct StrikeKey {
  std::string file;
  int index;
  int em;
  int strike_pick;
  bool synth_bold;
  bool synth_italic;
  bool mono;
  bool gdi;
  auto operator<=>(const StrikeKey&) const = default;
};

class FontSystem {
 public:
  static FontSystem& Get() {
    // Lives for the whole process, like the mutex.
    static auto* system = new FontSystem;
    return *system;
  }

  std::shared_ptr<const FontState> Create(const LogFont& lf, Smoothing smoothing);
  const Glyph& GlyphOf(Strike& strike, char32_t cp);
  const Glyph& TurnedGlyphOf(Strike& strike, char32_t cp, int escapement);
  Strike::Mapped MappingOf(Strike& strike, char32_t cp);

 private:
  FontSystem();

  Resolved Resolve(std::string_view name, bool bold, bool italic, int pixel_hint, int charset);
  bool FamilyExists(const std::string& family);
  bool Match(FcPattern* pattern, std::string* file, int* index, std::vector<std::string>* families,
             std::string* format = nullptr);
  void PickRasterFile(const std::string& family, bool bold, int pixel_hint, int charset,
                      std::string* file, int* index);
  std::shared_ptr<Face> FaceAt(const std::string& file, int index);
  std::shared_ptr<Strike> StrikeFor(const std::shared_ptr<Face>& face, std::int32_t lf_height,
                                    bool want_bold, bool want_italic, bool mono, bool gdi);
  std::shared_ptr<Face> FallbackFace(char32_t cp, bool bold, bool italic);
  std::uint32_t IndexOf(const Face& face, char32_t cp);
  Glyph Render(Strike& strike, std::uint32_t index);
  Glyph RenderGdi(Strike& strike, std::uint32_t index, int escapement);

  std::shared_ptr<Library> lib_;
  FcConfig* config_ = nullptr;
  std::map<ResolveKey, Resolved> resolved_;
  std::map<std::pair<std::string, int>, std::weak_ptr<Face>> faces_;
  std::map<StrikeKey, std::shared_ptr<Strike>> strikes_;
  std::map<std::tuple<char32_t, bool, bool>, std::pair<std::string, int>> fallback_faces_;
};

FontSystem::FontSystem() : lib_(std::make_shared<Library>()) {
#if defined(VX_TEXT_LSAN)
  // fontconfig's parser drops the patterns of every <selectfont> rule it
  // reads (the system's own rules included); that loss is not ours to fix.
  __lsan::ScopedDisabler fontconfig_parser_leaks;
#endif
  config_ = FcInitLoadConfig();
  if (!config_) return;
  std::string extra =
      "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">"
      "<fontconfig>"
      // The platform's raster faces (bitmap-only) must be reachable by name
      // like any other face; the default configuration rejects them.
      "<selectfont><acceptfont><pattern><patelt name=\"fontformat\"><string>Windows "
      "FNT</string></patelt></pattern></acceptfont></selectfont>";
  std::error_code ec;
  if (std::filesystem::is_directory(kWineFontDir, ec)) {
    extra += std::string("<dir>") + kWineFontDir + "</dir>";
  }
  extra += "</fontconfig>";
  FcConfigParseAndLoadFromMemory(config_, reinterpret_cast<const FcChar8*>(extra.c_str()), FcFalse);
  FcConfigBuildFonts(config_);
}

bool FontSystem::Match(FcPattern* pattern, std::string* file, int* index,
                       std::vector<std::string>* families, std::string* format) {
  FcConfigSubstitute(config_, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config_, pattern, &result);
  if (!match) return false;
  FcChar8* path = nullptr;
  int idx = 0;
  bool ok = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch;
  if (ok) {
    *file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &idx) != FcResultMatch) idx = 0;
    *index = idx;
    FcChar8* fmt = nullptr;
    if (format && FcPatternGetString(match, FC_FONTFORMAT, 0, &fmt) == FcResultMatch) {
      *format = reinterpret_cast<const char*>(fmt);
    }
    if (families) {
      FcChar8* fam = nullptr;
      for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &fam) == FcResultMatch; ++i) {
        families->push_back(ascii::Lower(reinterpret_cast<const char*>(fam)));
      }
    }
  }
  FcPatternDestroy(match);
  return ok;
}

bool FontSystem::FamilyExists(const std::string& family) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* set = FcFontList(config_, pattern, os);
  const bool found = set && set->nfont > 0;
  if (set) FcFontSetDestroy(set);
  FcObjectSetDestroy(os);
  FcPatternDestroy(pattern);
  return found;
}

// Bold and italic may arrive as words at the end of the face name ("Arial
// Bold Italic"); a family that really carries such a word keeps it.
Resolved FontSystem::Resolve(std::string_view name_in, bool bold, bool italic, int pixel_hint,
                             int charset) {
  Resolved r;
  std::string name(name_in);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(name.begin());
  if (!name.empty() && config_ && !FamilyExists(name)) {
    for (;;) {
      const auto space = name.find_last_of(' ');
      if (space == std::string::npos) break;
      const std::string word = ascii::Lower(name.substr(space + 1));
      if (word == "bold") {
        bold = true;
      } else if (word == "italic" || word == "oblique") {
        italic = true;
      } else if (word != "regular" && word != "normal" && word != "") {
        break;
      }
      name.erase(space);
      while (!name.empty() && name.back() == ' ') name.pop_back();
    }
  }
  r.want_bold = bold;
  r.want_italic = italic;
  if (!config_) return r;

  auto make = [&](const std::string* family) {
    FcPattern* p = FcPatternCreate();
    if (family) FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family->c_str()));
    FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(p, FC_PIXEL_SIZE, pixel_hint);
    return p;
  };
  std::vector<std::string> families;
  std::string format;
  FcPattern* p = make(name.empty() ? nullptr : &name);
  const bool found = Match(p, &r.file, &r.index, &families, &format);
  FcPatternDestroy(p);
  if (!found) return r;
  if (format == "Windows FNT" && !families.empty()) {
    PickRasterFile(families.front(), bold, pixel_hint, charset, &r.file, &r.index);
  }
  if (name.empty()) {
    r.match = FaceMatch::Fallback;
    return r;
  }
  if (std::find(families.begin(), families.end(), ascii::Lower(name)) != families.end()) {
    r.match = FaceMatch::Exact;
    return r;
  }
  std::string default_file;
  int default_index = 0;
  FcPattern* d = make(nullptr);
  const bool have_default = Match(d, &default_file, &default_index, nullptr);
  FcPatternDestroy(d);
  r.match = (have_default && default_file == r.file && default_index == r.index)
                ? FaceMatch::Fallback
                : FaceMatch::Substitute;
  return r;
}

// A raster family comes as one file per character set and size; fontconfig
// knows neither, so read the headers and take the record's character set
// (ANSI by default), then the size, then the weight.
void FontSystem::PickRasterFile(const std::string& family, bool bold, int pixel_hint, int charset,
                                std::string* file, int* index) {
  if (!lib_->ft) return;
  const int want_charset = charset == DEFAULT_CHARSET ? ANSI_CHARSET : charset;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddString(pattern, FC_FONTFORMAT, reinterpret_cast<const FcChar8*>("Windows FNT"));
  FcObjectSet* os = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
  FcFontSet* set = FcFontList(config_, pattern, os);
  std::int64_t best = -1;
  for (int i = 0; set && i < set->nfont; ++i) {
    FcChar8* path = nullptr;
    int idx = 0;
    if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &path) != FcResultMatch) continue;
    if (FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &idx) != FcResultMatch) idx = 0;
    FT_Face ft = nullptr;
    if (FT_New_Face(lib_->ft, reinterpret_cast<const char*>(path), idx, &ft) != 0) continue;
    FT_WinFNT_HeaderRec h{};
    if (FT_Get_WinFNT_Header(ft, &h) == 0) {
      const std::int64_t size = h.pixel_height - h.internal_leading;
      // The largest strike whose em fits the size, else the smallest: the
      // platform never takes a strike larger than asked when one fits.
      const std::int64_t size_cost =
          size > pixel_hint ? 1'000'000 + size : std::int64_t{pixel_hint} - size;
      const std::int64_t weight_cost = std::abs((bold ? FW_BOLD : FW_NORMAL) - h.weight);
      const std::int64_t cost = (h.charset == want_charset ? 0 : std::int64_t{1} << 50) +
                                size_cost * 10'000 + weight_cost;
      if (best < 0 || cost < best) {
        best = cost;
        *file = reinterpret_cast<const char*>(path);
        *index = idx;
      }
    }
    FT_Done_Face(ft);
  }
  if (set) FcFontSetDestroy(set);
  FcObjectSetDestroy(os);
  FcPatternDestroy(pattern);
}

std::shared_ptr<Face> FontSystem::FaceAt(const std::string& file, int index) {
  auto key = std::make_pair(file, index);
  auto it = faces_.find(key);
  if (it != faces_.end()) {
    if (auto face = it->second.lock()) return face;
  }
  auto face = OpenFace(lib_, file, index);
  if (!face) return nullptr;
  if (faces_.size() > 4 * kMaxStrikes) {
    std::erase_if(faces_, [](const auto& kv) { return kv.second.expired(); });
  }
  faces_[key] = face;
  return face;
}

std::shared_ptr<Strike> FontSystem::StrikeFor(const std::shared_ptr<Face>& face,
                                              std::int32_t lf_height, bool want_bold,
                                              bool want_italic, bool mono, bool gdi) {
  const bool bitmap = face->kind == Kind::Bitmap;
  const int em = EmFor(*face, lf_height);
  const int pick = bitmap ? PickStrike(*face, lf_height) : 0;
  const bool synth_bold = want_bold && face->weight < FW_SEMIBOLD;
  // Bitmaps cannot be slanted here; they stay upright.
  const bool synth_italic = want_italic && !face->italic && !bitmap;
  // Standard smoothing draws grey where the gasp table asks, and always for
  // synthesised styles; raster faces are solid.
  if (gdi && !mono) mono = !(GaspSaysGrey(*face, em) || synth_bold || synth_italic);
  StrikeKey key{face->file, face->index, bitmap ? 0 : em, pick, synth_bold, synth_italic,
                mono,       gdi};
  if (auto it = strikes_.find(key); it != strikes_.end()) return it->second;

  auto strike = std::make_shared<Strike>();
  strike->face = face;
  strike->synth_bold = synth_bold;
  strike->synth_italic = synth_italic;
  strike->mono = mono || bitmap;
  strike->gdi = gdi;
  strike->bitmap = bitmap;
  FT_Size size = nullptr;
  if (FT_New_Size(face->ft, &size) != 0) return nullptr;
  strike->size = size;
  FT_Activate_Size(size);
  if (bitmap) {
    if (face->ft->num_fixed_sizes <= 0 || FT_Select_Size(face->ft, pick) != 0) return nullptr;
    strike->em = static_cast<int>((face->ft->available_sizes[pick].y_ppem + 32) >> 6);
  } else {
    strike->em = em;
    if (FT_Set_Pixel_Sizes(face->ft, 0, static_cast<FT_UInt>(em)) != 0) return nullptr;
  }
  if (face->kind == Kind::TrueType) {
    FillTrueTypeMetrics(*strike);
  } else {
    FillOtherMetrics(*strike);
  }
  TextMetrics& m = strike->metrics;
  if (synth_bold) {
    // Emboldening widens every glyph by one pixel.
    m.tmWeight = FW_BOLD;
    m.tmAveCharWidth += 1;
    m.tmMaxCharWidth += 1;
  }
  if (synth_italic) m.tmItalic = 255;
  if (face->kind == Kind::TrueType) {
    const FT_Face ft = face->ft;
    const int upem = ft->units_per_EM > 0 ? ft->units_per_EM : 2048;
    const FT_Long sc = FT_MulDiv(strike->em, 0x10000, upem);
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(ft, FT_SFNT_POST));
    if (post) {
      strike->underline_pos = static_cast<int>(FT_MulFix(post->underlinePosition, sc));
      strike->underline_width =
          std::max(1, static_cast<int>(std::abs(FT_MulFix(post->underlineThickness, sc))));
    }
    if (os2 && os2->version != 0xFFFF) {
      strike->strikeout_pos = static_cast<int>(FT_MulFix(os2->yStrikeoutPosition, sc));
      strike->strikeout_width =
          std::max(1, static_cast<int>(std::abs(FT_MulFix(os2->yStrikeoutSize, sc))));
    }
  } else {
    strike->underline_pos = 0;
    strike->underline_width = m.tmAscent / 20 + 1;
    strike->strikeout_pos = m.tmAscent / 2;
    strike->strikeout_width = strike->underline_width;
  }
  if (m.tmAveCharWidth == 0) m.tmAveCharWidth = GlyphOf(*strike, U'x').advance;
  // Keep the bars inside the cell.
  strike->underline_top =
      std::clamp(strike->underline_top, 0, std::max(0, m.tmHeight - strike->underline_size));
  strike->strikeout_top =
      std::clamp(strike->strikeout_top, 0, std::max(0, m.tmHeight - strike->strikeout_size));

  if (strikes_.size() >= kMaxStrikes) strikes_.clear();
  strikes_[key] = strike;
  return strike;
}

std::uint32_t FontSystem::IndexOf(const Face& face, char32_t cp) {
  switch (face.char_mode) {
    case CharMode::Unicode:
      return FT_Get_Char_Index(face.ft, cp);
    case CharMode::Symbol:
      if (cp < 0x100) {
        if (auto i = FT_Get_Char_Index(face.ft, 0xF000 + cp)) return i;
      }
      return FT_Get_Char_Index(face.ft, cp);
    case CharMode::Bytes: {
      const int byte = UnicodeToCp1252(cp);
      if (byte < 0) return 0;
      return FT_Get_Char_Index(face.ft, static_cast<FT_ULong>(byte));
    }
  }
  return 0;
}

std::shared_ptr<Face> FontSystem::FallbackFace(char32_t cp, bool bold, bool italic) {
  if (!config_) return nullptr;
  const auto key = std::make_tuple(cp, bold, italic);
  auto it = fallback_faces_.find(key);
  if (it == fallback_faces_.end()) {
    if (fallback_faces_.size() >= kMaxFallbacks) fallback_faces_.clear();
    std::pair<std::string, int> where;
    FcPattern* p = FcPatternCreate();
    FcCharSet* cs = FcCharSetCreate();
    FcCharSetAddChar(cs, cp);
    FcPatternAddCharSet(p, FC_CHARSET, cs);
    FcPatternAddBool(p, FC_SCALABLE, FcTrue);
    FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(config_, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result = FcResultNoMatch;
    if (FcPattern* m = FcFontMatch(config_, p, &result)) {
      FcCharSet* have = nullptr;
      FcChar8* path = nullptr;
      int index = 0;
      if (FcPatternGetCharSet(m, FC_CHARSET, 0, &have) == FcResultMatch &&
          FcCharSetHasChar(have, cp) && FcPatternGetString(m, FC_FILE, 0, &path) == FcResultMatch) {
        if (FcPatternGetInteger(m, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
        where = {reinterpret_cast<const char*>(path), index};
      }
      FcPatternDestroy(m);
    }
    FcCharSetDestroy(cs);
    FcPatternDestroy(p);
    it = fallback_faces_.emplace(key, where).first;
  }
  if (it->second.first.empty()) return nullptr;
  return FaceAt(it->second.first, it->second.second);
}

// Emboldens a glyph as the platform does: its coverage overstruck one pixel
// to the right, one pixel wider and one further to advance.
void Overstrike(Glyph& g) {
  std::vector<std::uint8_t> wide(static_cast<std::size_t>(g.width + 1) * g.rows, 0);
  for (int y = 0; y < g.rows; ++y) {
    for (int x = 0; x <= g.width; ++x) {
      const int a = x < g.width ? g.coverage[static_cast<std::size_t>(y) * g.width + x] : 0;
      const int b = x > 0 ? g.coverage[static_cast<std::size_t>(y) * g.width + x - 1] : 0;
      wide[static_cast<std::size_t>(y) * (g.width + 1) + x] =
          static_cast<std::uint8_t>(std::max(a, b));
    }
  }
  g.coverage = std::move(wide);
  g.width += 1;
  g.advance += 1;
}

namespace {

// Copies a FreeType bitmap into a glyph's coverage, one byte a pixel, top row
// first whichever way the bitmap's pitch runs; `level` gives a pixel's
// coverage from its source row and column.
template <typename Level>
void CopyCoverage(const FT_Bitmap& bm, Glyph& g, Level level) {
  g.width = static_cast<int>(bm.width);
  g.rows = static_cast<int>(bm.rows);
  g.coverage.assign(static_cast<std::size_t>(g.width) * g.rows, 0);
  for (int y = 0; y < g.rows; ++y) {
    const unsigned char* src =
        bm.pitch >= 0 ? bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch
                      : bm.buffer + static_cast<std::ptrdiff_t>(g.rows - 1 - y) * -bm.pitch;
    std::uint8_t* dst = g.coverage.data() + static_cast<std::size_t>(y) * g.width;
    for (int x = 0; x < g.width; ++x) dst[x] = level(src, x);
  }
}

}  // namespace

// A glyph as standard smoothing (or smoothing off) draws it: hinted for
// its target, grey coverage in 17 levels, measured from the outline's
// advance, synthesised styles applied to the outline, turned glyphs turned
// after hinting and before rasterising.
Glyph FontSystem::RenderGdi(Strike& strike, std::uint32_t index, int escapement) {
  Glyph g;
  g.levels = true;
  const FT_Face ft = strike.face->ft;
  FT_Activate_Size(static_cast<FT_Size>(strike.size));
  auto load = [&](FT_Int32 flags) {
    return FT_Load_Glyph(ft, index, flags) == 0 || FT_Load_Glyph(ft, 0, flags) == 0;
  };
  const int bold = strike.synth_bold ? 1 : 0;
  if (strike.bitmap) {
    if (!load(FT_LOAD_DEFAULT)) return g;
    g.measure = static_cast<int>((ft->glyph->advance.x + 32) >> 6);
    g.advance = g.measure;
  } else {
    // Widths come from the outline at the default target, never from an
    // embedded bitmap's advance.
    if (!load(FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP)) return g;
    const FT_Pos a = ft->glyph->advance.x + 64 * bold;
    g.measure = static_cast<int>(((a + 63) & -64) >> 6);
    FT_Int32 flags =
        strike.mono ? FT_LOAD_TARGET_MONO : (FT_LOAD_TARGET_NORMAL | FT_LOAD_NO_BITMAP);
    // Embedded bitmaps only for black-and-white glyphs drawn untransformed.
    if (escapement != 0 || strike.synth_italic) flags |= FT_LOAD_NO_BITMAP;
    if (!load(flags)) return g;
    g.advance = static_cast<int>(((ft->glyph->advance.x + 63) & -64) >> 6) + bold;
  }
  FT_GlyphSlot slot = ft->glyph;
  // A slanted or turned glyph is rasterised into the box of its hinted cell
  // corners, slanted and turned, not into the box of its outline.
  std::vector<unsigned char> own;
  FT_Bitmap boxed;
  FT_Bitmap_Init(&boxed);
  const bool transformed = strike.synth_italic || escapement != 0;
  int box_left = 0, box_top = 0;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (strike.synth_bold) FT_Outline_Embolden(&slot->outline, FT_MulDiv(strike.em, 64, 24));
    FT_Matrix m{0x10000, 0, 0, 0x10000};
    if (strike.synth_italic) m.xy = 0x4000;  // x += y / 4
    if (escapement != 0) {
      FT_Vector unit;
      FT_Vector_Unit(&unit, static_cast<FT_Angle>(escapement) * 0x10000 / 10);
      FT_Matrix turn{unit.x, -unit.y, unit.y, unit.x};
      FT_Matrix_Multiply(&turn, &m);
    }
    if (!transformed) {
      if (FT_Render_Glyph(slot, strike.mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) {
        return g;
      }
    } else {
      const FT_Glyph_Metrics& gm = slot->metrics;
      const FT_Pos l = gm.horiBearingX & -64, r = (gm.horiBearingX + gm.width + 63) & -64;
      // Clipped to the text cell before it is turned.
      const FT_Pos t = std::min<FT_Pos>((gm.horiBearingY + 63) & -64, 64 * strike.metrics.tmAscent);
      const FT_Pos b =
          std::max<FT_Pos>((gm.horiBearingY - gm.height) & -64, -64 * strike.metrics.tmDescent);
      FT_Pos x_min = 0, x_max = 0, y_min = 0, y_max = 0;
      bool first = true;
      for (FT_Vector v : {FT_Vector{l, t}, FT_Vector{r, t}, FT_Vector{l, b}, FT_Vector{r, b}}) {
        FT_Vector_Transform(&v, &m);
        if (first || v.x < x_min) x_min = v.x;
        if (first || v.x > x_max) x_max = v.x;
        if (first || v.y < y_min) y_min = v.y;
        if (first || v.y > y_max) y_max = v.y;
        first = false;
      }
      x_min &= -64, y_min &= -64, x_max = (x_max + 63) & -64, y_max = (y_max + 63) & -64;
      box_left = static_cast<int>(x_min >> 6);
      box_top = static_cast<int>(y_max >> 6);
      FT_Outline_Transform(&slot->outline, &m);
      FT_Outline_Translate(&slot->outline, -x_min, -y_min);
      boxed.width = static_cast<unsigned>((x_max - x_min) >> 6);
      boxed.rows = static_cast<unsigned>((y_max - y_min) >> 6);
      if (strike.mono) {
        boxed.pixel_mode = FT_PIXEL_MODE_MONO;
        boxed.pitch = static_cast<int>((boxed.width + 7) / 8);
      } else {
        boxed.pixel_mode = FT_PIXEL_MODE_GRAY;
        boxed.num_grays = 256;
        boxed.pitch = static_cast<int>(boxed.width);
      }
      own.assign(static_cast<std::size_t>(boxed.pitch) * boxed.rows, 0);
      boxed.buffer = own.data();
      if (boxed.rows > 0 && boxed.width > 0 &&
          FT_Outline_Get_Bitmap(lib_->ft, &slot->outline, &boxed) != 0) {
        return g;
      }
    }
  }
  const FT_Bitmap& bm =
      transformed && slot->format == FT_GLYPH_FORMAT_OUTLINE ? boxed : slot->bitmap;
  g.left = slot->bitmap_left;
  g.top = slot->bitmap_top;
  if (&bm == &boxed) g.left = box_left, g.top = box_top;
  // GDI's 17 levels: 16 for a set mono pixel, a gray one scaled down.
  CopyCoverage(bm, g, [&](const unsigned char* src, int x) -> std::uint8_t {
    if (bm.pixel_mode == FT_PIXEL_MODE_MONO) return (src[x >> 3] & (0x80 >> (x & 7))) ? 16 : 0;
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) return static_cast<std::uint8_t>(src[x] * 17 / 256);
    return 0;
  });
  if (strike.bitmap && strike.synth_bold) {
    // A raster face is emboldened by a one-pixel overstrike.
    Overstrike(g);
    g.measure += 1;
  }
  return g;
}

Glyph FontSystem::Render(Strike& strike, std::uint32_t index) {
  if (strike.gdi) return RenderGdi(strike, index, 0);
  Glyph g;
  const FT_Face ft = strike.face->ft;
  FT_Activate_Size(static_cast<FT_Size>(strike.size));
  // Hinted for black-and-white output whatever the rendering, so advances
  // never depend on antialiasing.
  FT_Int32 flags = FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO;
  if (strike.synth_italic) flags |= FT_LOAD_NO_BITMAP;
  if (FT_Load_Glyph(ft, index, flags) != 0 && FT_Load_Glyph(ft, 0, flags) != 0) return g;
  FT_GlyphSlot slot = ft->glyph;
  g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (strike.synth_italic) {
      FT_Matrix shear{0x10000, 0x3333, 0, 0x10000};  // x += 0.2 y
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (FT_Render_Glyph(slot, strike.mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) {
      return g;
    }
  }
  const FT_Bitmap& bm = slot->bitmap;
  g.left = slot->bitmap_left;
  g.top = slot->bitmap_top;
  CopyCoverage(bm, g, [&](const unsigned char* src, int x) -> std::uint8_t {
    switch (bm.pixel_mode) {
      case FT_PIXEL_MODE_MONO:
        return (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      case FT_PIXEL_MODE_GRAY: {
        const int grays = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
        return static_cast<std::uint8_t>(std::min(255, src[x] * 255 / grays));
      }
      case FT_PIXEL_MODE_BGRA:
        return src[4 * x + 3];
      default:
        return 0;
    }
  });
  if (strike.synth_bold) {
    Overstrike(g);
  }
  g.measure = g.advance;
  return g;
}

const Glyph& FontSystem::TurnedGlyphOf(Strike& strike, char32_t cp, int escapement) {
  const Strike::Mapped m = MappingOf(strike, cp);
  Strike& owner = *m.strike;
  const std::uint64_t key = (static_cast<std::uint64_t>(escapement) << 32) | m.index;
  auto it = owner.turned.find(key);
  if (it == owner.turned.end()) {
    it = owner.turned.emplace(key, RenderGdi(owner, m.index, escapement)).first;
  }
  return it->second;
}

const Glyph& FontSystem::GlyphOf(Strike& strike, char32_t cp) {
  const Strike::Mapped m = MappingOf(strike, cp);
  Strike& owner = *m.strike;
  auto it = owner.glyphs.find(m.index);
  if (it == owner.glyphs.end()) it = owner.glyphs.emplace(m.index, Render(owner, m.index)).first;
  return it->second;
}

Strike::Mapped FontSystem::MappingOf(Strike& strike, char32_t cp) {
  auto mapped = strike.chars.find(cp);
  if (mapped == strike.chars.end()) {
    Strike::Mapped m{&strike, IndexOf(*strike.face, cp)};
    const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
    if (m.index == 0 && strike.face->has_fnt) {
      const int def = strike.metrics.tmDefaultChar;
      m.index = IndexOf(*strike.face, Cp1252ToUnicode(static_cast<unsigned char>(def)));
    } else if (m.index == 0 && !control) {
      // A character the face lacks: take it from a face that has it, at the
      // same size, rather than show a box.
      const bool bold = strike.metrics.tmWeight >= FW_SEMIBOLD;
      const bool italic = strike.metrics.tmItalic != 0;
      if (auto face = FallbackFace(cp, bold, italic); face && face != strike.face) {
        auto other = StrikeFor(face, -strike.em, bold, italic, strike.mono, strike.gdi);
        if (other) {
          if (const auto index = IndexOf(*face, cp)) {
            m = {other.get(), index};
            if (std::find(strike.fallbacks.begin(), strike.fallbacks.end(), other) ==
                strike.fallbacks.end()) {
              strike.fallbacks.push_back(other);
            }
          }
        }
      }
    }
    mapped = strike.chars.emplace(cp, m).first;
  }
  return mapped->second;
}

std::shared_ptr<const FontState> FontSystem::Create(const LogFont& lf, Smoothing smoothing) {
  const bool bold = lf.lfWeight >= FW_SEMIBOLD;
  const bool italic = lf.lfItalic != 0;
  const std::int64_t h = lf.lfHeight;
  const int hint = static_cast<int>(
      std::clamp<std::int64_t>(h < 0 ? -h : (h == 0 ? kDefaultCellHeight : h * 5 / 6), 1, kMaxEm));
  const std::string name(lf.FaceName());
  ResolveKey key{ascii::Lower(name), bold, italic, hint, lf.lfCharSet};
  auto it = resolved_.find(key);
  if (it == resolved_.end()) {
    if (resolved_.size() >= kMaxResolved) resolved_.clear();
    it = resolved_.emplace(key, Resolve(name, bold, italic, hint, lf.lfCharSet)).first;
  }
  const Resolved r = it->second;
  std::shared_ptr<Face> face = r.file.empty() ? nullptr : FaceAt(r.file, r.index);
  const bool gdi = smoothing != Smoothing::Full;
  const bool mono = lf.lfQuality == NONANTIALIASED_QUALITY || smoothing == Smoothing::Off;
  std::shared_ptr<Strike> strike =
      face ? StrikeFor(face, lf.lfHeight, r.want_bold, r.want_italic, mono, gdi) : nullptr;
  if (!strike) return nullptr;

  auto state = std::make_shared<FontState>();
  state->lf = lf;
  state->strike = std::move(strike);
  state->match = r.match;
  const std::int64_t e = ((std::int64_t{lf.lfEscapement} % 3600) + 3600) % 3600;
  state->escapement = static_cast<int>(((e + 450) / 900) % 4 * 900);
  state->smoothing = smoothing;
  state->family = face->family;
  state->style = face->style;
  state->file = face->file;
  return state;
}

}  // namespace

std::shared_ptr<const FontState> CreateFontState(const LogFont& lf, Smoothing smoothing) {
  auto lock = FontLock();
  return FontSystem::Get().Create(lf, smoothing);
}

const Glyph& GlyphFor(Strike& strike, char32_t cp) {
  return FontSystem::Get().GlyphOf(strike, cp);
}

const Glyph& TurnedGlyphFor(Strike& strike, char32_t cp, int escapement) {
  return FontSystem::Get().TurnedGlyphOf(strike, cp, escapement);
}

}  // namespace vx::text::detail

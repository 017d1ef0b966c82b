// Face resolution, metrics and measurement with the fonts the program
// relies on (fonts-liberation, fonts-wine).
#include <gtest/gtest.h>

#include <string>

#include "platform/text/font.h"
#include "platform/text/utf8.h"

namespace vx::text {
namespace {

LogFont Record(std::string_view face, int height = -11) {
  LogFont lf;
  lf.lfHeight = height;
  lf.SetFaceName(face);
  return lf;
}

Font Make(std::string_view face, int height = -11) {
  return CreateFontIndirect(Record(face, height));
}

TEST(Utf8Test, MalformedBytesReadAsWindows1252) {
  EXPECT_EQ(DecodeUtf8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), U"a\u00E9\u20AC\U0001F600");
  // Overlong form, UTF-16 surrogate, a sequence cut short, a stray
  // continuation byte: each byte stands for itself.
  EXPECT_EQ(DecodeUtf8("\xC0\xAF"), U"\u00C0\u00AF");
  EXPECT_EQ(DecodeUtf8("\xED\xA0\x80"), U"\u00ED\u00A0\u20AC");
  EXPECT_EQ(DecodeUtf8("x\xE2\x82"), U"x\u00E2\u201A");
  EXPECT_EQ(DecodeUtf8("\x81\x9F"), U"\uFFFD\u0178");
  EXPECT_EQ(DecodeUtf8(std::string_view("\0z", 2)), std::u32string(U"\0z", 2));
}

TEST(Utf8Test, TextsThatAreNotUtf8BecomeTheCharactersTheyDrawAs) {
  // Valid text comes back unchanged, whatever it holds.
  for (std::string_view valid :
       {std::string_view(""), std::string_view("plain"),
        std::string_view("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), std::string_view("\0z", 2),
        std::string_view("\xF4\x8F\xBF\xBF")}) {
    EXPECT_TRUE(IsValidUtf8(valid)) << valid;
    EXPECT_EQ(ToValidUtf8(valid), valid);
  }
  // Each byte outside a well-formed sequence becomes its Windows-1252
  // character; neighbouring valid sequences are kept.
  EXPECT_EQ(ToValidUtf8("\xFF\xFE"), "\xC3\xBF\xC3\xBE");
  EXPECT_EQ(ToValidUtf8("cdromCollection\xA9"), "cdromCollection\xC2\xA9");
  EXPECT_EQ(ToValidUtf8("\xC3\xA9\x80\xC3\xA9"), "\xC3\xA9\xE2\x82\xAC\xC3\xA9");
  EXPECT_EQ(ToValidUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");                  // overlong
  EXPECT_EQ(ToValidUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");  // surrogate
  EXPECT_EQ(ToValidUtf8("\xF4\x90\x80\x80"),                               // past U+10FFFF
            "\xC3\xB4\xEF\xBF\xBD\xE2\x82\xAC\xE2\x82\xAC");
  EXPECT_EQ(ToValidUtf8("\x81"), "\xEF\xBF\xBD");  // undefined in 1252
  // A long ASCII run with one stray byte anywhere in it.
  for (std::size_t at : {0u, 7u, 8u, 15u, 63u}) {
    std::string text(64, 'x');
    text[at] = '\x9F';
    EXPECT_FALSE(IsValidUtf8(text)) << at;
    EXPECT_TRUE(IsValidUtf8(ToValidUtf8(text)));
    EXPECT_EQ(DecodeUtf8(ToValidUtf8(text)), DecodeUtf8(text));
  }
}

TEST(LogFontTest, FaceNameIsCutSoTheNulFits) {
  LogFont lf;
  lf.SetFaceName("An Extremely Long Face Name That Goes On");
  EXPECT_EQ(lf.FaceName(), "An Extremely Long Face Name Tha");
  EXPECT_EQ(lf.lfFaceName[31], '\0');

  // 30 ASCII bytes and a two-byte character: the character does not fit.
  lf.SetFaceName(std::string(30, 'a') + "\xC3\xA9xyz");
  EXPECT_EQ(lf.FaceName(), std::string(30, 'a'));

  // A record filled without a NUL still reads as at most 31 bytes.
  for (char& c : lf.lfFaceName) c = 'Z';
  EXPECT_EQ(lf.FaceName().size(), 31u);
}

TEST(FaceResolutionTest, StyleWordsInTheFaceNameSelectTheFace) {
  Font f = Make("Arial Bold Italic");
  ASSERT_TRUE(f);
  EXPECT_EQ(f.family(), "Liberation Sans");
  EXPECT_EQ(f.style(), "Bold Italic");
  EXPECT_EQ(f.match(), FaceMatch::Substitute);
  const TextMetrics m = GetTextMetrics(f);
  EXPECT_EQ(m.tmWeight, FW_BOLD);
  EXPECT_NE(m.tmItalic, 0);

  // Same face whether bold arrives through the name or the weight.
  LogFont lf = Record("Arial");
  lf.lfWeight = FW_BOLD;
  Font by_weight = CreateFontIndirect(lf);
  EXPECT_EQ(by_weight.style(), "Bold");
  EXPECT_EQ(MeasureText(by_weight, "Check Source"),
            MeasureText(Make("Arial Bold"), "Check Source"));
}

TEST(FaceResolutionTest, ProgramFacesResolveToTheirReplacements) {
  Font times = Make("Times New Roman");
  EXPECT_EQ(times.family(), "Liberation Serif");
  EXPECT_EQ(times.match(), FaceMatch::Substitute);
  EXPECT_EQ(times.pixelSize(), 11);

  Font tahoma = Make("Tahoma");  // the look-alike from fonts-wine
  EXPECT_EQ(tahoma.family(), "Tahoma");
  EXPECT_EQ(tahoma.match(), FaceMatch::Exact);
  EXPECT_EQ(Make("tAHOMA").family(), "Tahoma");
}

TEST(FaceResolutionTest, MissingOrCutNamesFallBackToTheDefaultFace) {
  Font missing = Make("No Such Face Anywhere");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing.match(), FaceMatch::Fallback);
  EXPECT_GT(MeasureText(missing, "Check Source").cx, 0);

  Font empty = Make("");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty.family(), missing.family());

  LogFont lf;
  lf.lfHeight = -11;
  lf.SetFaceName("Times New Roman Times New Roman Times New Roman");
  Font cut = CreateFontIndirect(lf);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut.logFont().FaceName(), "Times New Roman Times New Roman");  // 31 bytes
  EXPECT_EQ(cut.match(), FaceMatch::Fallback);
}

TEST(FontHandleTest, DeletingTwiceIsHarmlessAndEmptyHandlesDoNothing) {
  Font f = Make("Times New Roman");
  Font copy = f;
  EXPECT_TRUE(DeleteObject(f));
  EXPECT_FALSE(DeleteObject(f));
  EXPECT_FALSE(f);
  EXPECT_EQ(MeasureText(f, "abc"), (TextExtent{0, 0}));
  EXPECT_EQ(GetTextMetrics(f).tmHeight, 0);
  // Other handles to the font stay usable.
  EXPECT_EQ(MeasureText(copy, "Check Source").cy, 12);
}

TEST(TextMetricsTest, TrueTypeFaceAtEightPointTwentyFive) {
  // 8.25 pt at 96 dpi is lfHeight -11: an 11-pixel em. Liberation Serif
  // shares Times New Roman's usWinAscent 1825 and usWinDescent 443 (of
  // 2048): 9.80 and 2.38 pixels, rounded to 10 and 2.
  const TextMetrics m = GetTextMetrics(Make("Times New Roman"));
  EXPECT_EQ(m.tmAscent, 10);
  EXPECT_EQ(m.tmDescent, 2);
  EXPECT_EQ(m.tmHeight, m.tmAscent + m.tmDescent);
  EXPECT_EQ(m.tmInternalLeading, m.tmHeight - 11);
  EXPECT_EQ(m.tmExternalLeading, 0);
  EXPECT_EQ(m.tmWeight, FW_NORMAL);
  EXPECT_EQ(m.tmItalic, 0);
  EXPECT_EQ(m.tmAveCharWidth, 6);  // xAvgCharWidth 1163 -> 6.25
  EXPECT_GE(m.tmMaxCharWidth, m.tmAveCharWidth);
  // Variable pitch (the inverted bit), vector, TrueType, roman family.
  EXPECT_EQ(m.tmPitchAndFamily, TMPF_FIXED_PITCH | TMPF_VECTOR | TMPF_TRUETYPE | FF_ROMAN);

  EXPECT_EQ(GetTextMetrics(Make("Arial")).tmPitchAndFamily & 0xF0, FF_SWISS);
  // Fixed pitch clears TMPF_FIXED_PITCH.
  EXPECT_EQ(GetTextMetrics(Make("Courier New")).tmPitchAndFamily,
            TMPF_VECTOR | TMPF_TRUETYPE | FF_MODERN);
}

TEST(TextMetricsTest, VdmxHeightsAndPositiveCellHeights) {
  // Tahoma at an 11-pixel em: 11 pixels up, 2 down.
  const TextMetrics m = GetTextMetrics(Make("Tahoma"));
  EXPECT_EQ(m.tmHeight, 13);
  EXPECT_EQ(m.tmAscent, 11);

  // A positive height asks for the cell: 12 is Times New Roman's cell at
  // an 11-pixel em.
  Font cell = Make("Times New Roman", 12);
  EXPECT_EQ(cell.pixelSize(), 11);
  EXPECT_EQ(GetTextMetrics(cell).tmHeight, 12);
}

TEST(TextMetricsTest, TahomaCellsComeFromItsWinAscentNotItsVdmx) {
  // Its one VDMX ratio record is for character set 0, which the platform
  // passes over: the VDMX heights would make each cell 2 pixels taller.
  for (const auto& [height, cell] : {std::pair{-12, 14}, {-15, 18}, {-16, 19}, {-19, 23}}) {
    const TextMetrics m = GetTextMetrics(Make("Tahoma", height));
    EXPECT_EQ(m.tmHeight, cell) << "lfHeight " << height;
    EXPECT_EQ(m.tmHeight, m.tmAscent + m.tmDescent);
  }
}

TEST(TextMetricsTest, RasterStrikeIsTheLargestWhoseEmFits) {
  // MS Sans Serif comes in cells of 13, 16 and 20 pixels. A 15-pixel em
  // takes the 16-pixel cell, whose em fits, and not the nearer 20.
  EXPECT_EQ(GetTextMetrics(Make("MS Sans Serif", -15)).tmHeight, 16);
  EXPECT_EQ(GetTextMetrics(Make("MS Sans Serif", -13)).tmHeight, 16);
  EXPECT_EQ(GetTextMetrics(Make("MS Sans Serif", -12)).tmHeight, 13);
  EXPECT_EQ(GetTextMetrics(Make("MS Sans Serif", -40)).tmHeight, 20);
  // Smaller than every strike: the smallest.
  EXPECT_EQ(GetTextMetrics(Make("MS Sans Serif", -5)).tmHeight, 13);
}

TEST(TextMetricsTest, RasterFaceHasNoTrueTypeOrVectorFlag) {
  Font f = Make("MS Sans Serif");  // a bitmap-only face of fonts-wine
  ASSERT_TRUE(f);
  EXPECT_EQ(f.family(), "MS Sans Serif");
  const TextMetrics m = GetTextMetrics(f);
  EXPECT_EQ(m.tmPitchAndFamily & (TMPF_TRUETYPE | TMPF_VECTOR | TMPF_DEVICE), 0);
  EXPECT_EQ(m.tmPitchAndFamily & TMPF_FIXED_PITCH, TMPF_FIXED_PITCH);
  EXPECT_EQ(m.tmHeight, 13);
  EXPECT_EQ(m.tmAscent, 11);
  EXPECT_EQ(m.tmHeight - m.tmInternalLeading, 11);
  EXPECT_EQ(m.tmCharSet, ANSI_CHARSET);
  EXPECT_EQ(MeasureText(f, "Check Source").cy, 13);
}

TEST(TextMetricsTest, UnderlineStrikeOutAndSyntheticBoldReported) {
  LogFont lf = Record("Times New Roman");
  lf.lfUnderline = 1;
  lf.lfStrikeOut = 1;
  const TextMetrics m = GetTextMetrics(CreateFontIndirect(lf));
  EXPECT_NE(m.tmUnderlined, 0);
  EXPECT_NE(m.tmStruckOut, 0);

  // A family without a bold face is emboldened: one more pixel a glyph.
  LogFont bold = Record("DejaVu Math TeX Gyre");
  bold.lfWeight = FW_BOLD;
  Font emboldened = CreateFontIndirect(bold);
  Font regular = Make("DejaVu Math TeX Gyre");
  ASSERT_EQ(regular.family(), "DejaVu Math TeX Gyre");
  EXPECT_EQ(GetTextMetrics(emboldened).tmWeight, FW_BOLD);
  EXPECT_EQ(MeasureText(emboldened, "abcd").cx, MeasureText(regular, "abcd").cx + 4);
}

TEST(MeasureTextTest, EmptyTextIsZeroByZero) {
  EXPECT_EQ(MeasureText(Make("Times New Roman"), ""), (TextExtent{0, 0}));
  EXPECT_EQ(MeasureText(Make("Times New Roman"), " ").cy, 12);
}

TEST(MeasureTextTest, CheckSourceInTimesNewRomanEightPointTwentyFive) {
  // Hinted whole-pixel advances at an 11-pixel em: C7 h6 e5 c5 k6 space3
  // S5 o6 u5 r4 c5 e5.
  Font f = Make("Times New Roman");
  EXPECT_EQ(MeasureText(f, "Check Source"), (TextExtent{62, 12}));
  // It fits the 89 x 19 button on one line (89 - 12 = 77 pixels free).
}

TEST(MeasureTextTest, WidthsAddUpAndDoNotDependOnRendering) {
  for (const char* face : {"Times New Roman", "Tahoma", "Arial Bold Italic", "MS Sans Serif"}) {
    SCOPED_TRACE(face);
    LogFont lf = Record(face);
    Font aa = CreateFontIndirect(lf);
    const TextExtent whole = MeasureText(aa, "Check Source");
    EXPECT_EQ(whole.cx, MeasureText(aa, "Check").cx + MeasureText(aa, " Source").cx);
    int sum = 0;
    for (char c : std::string("Check Source")) sum += MeasureText(aa, std::string(1, c)).cx;
    EXPECT_EQ(whole.cx, sum);
    EXPECT_EQ(whole.cy, GetTextMetrics(aa).tmAscent + GetTextMetrics(aa).tmDescent);

    lf.lfQuality = NONANTIALIASED_QUALITY;
    EXPECT_EQ(MeasureText(CreateFontIndirect(lf), "Check Source"), whole);
    lf.lfEscapement = 900;
    EXPECT_EQ(MeasureText(CreateFontIndirect(lf), "Check Source"), whole);
  }
}

TEST(MeasureTextTest, AnyCharactersMeasure) {
  Font f = Make("Times New Roman");
  // Bytes that are not UTF-8 read as Windows-1252: 0x80 is the euro sign.
  EXPECT_EQ(MeasureText(f, "\x80"), MeasureText(f, "\xE2\x82\xAC"));
  EXPECT_EQ(MeasureText(f, "a\xC3").cx, MeasureText(f, "a\xC3\x83").cx);
  // A character Liberation Serif lacks comes from a face that has it.
  const int snowman = MeasureText(f, "\xE2\x98\x83").cx;
  EXPECT_EQ(snowman, MeasureText(Make("DejaVu Sans"), "\xE2\x98\x83").cx);
  EXPECT_GT(snowman, 0);
}

}  // namespace
}  // namespace vx::text

#include <gtest/gtest.h>

#include "tests/button/model/fixture.h"

namespace vx::button {
namespace {

using testing::Placed;

TEST(ButtonShiftColor, WorkedExamplesAndClamping) {
  EXPECT_EQ(ShiftColor(0xC89664, 48, kFalse), 0xF8C694);
  EXPECT_EQ(ShiftColor(0xC89664, 48, kTrue), 0xFAC694);
  EXPECT_EQ(ShiftColor(0x659664, -72, kTrue), 0x404E1C);  // blue 101 - 37 = 64, not 63
  EXPECT_EQ(ShiftColor(0x659664, -72, kFalse), 0x1D4E1C);
  EXPECT_EQ(ShiftColor(0xFFFFFF, 47), 0xFFFFFF);
  EXPECT_EQ(ShiftColor(0x000000, -64), 0x000000);
  EXPECT_EQ(ShiftColor(-1, 0), 0x0000FF);
  EXPECT_EQ(ShiftColor(static_cast<Color>(0x8000000F), 0), 0x00000F);
  // No offset can overflow.
  EXPECT_EQ(ShiftColor(0x808080, std::numeric_limits<Long>::max(), kTrue), 0xFFFFFF);
  EXPECT_EQ(ShiftColor(0x808080, std::numeric_limits<Long>::min(), kTrue), 0);
}

struct WorkingColours {
  Color face, light, highlight, shadow, dark, text, hover;
};

void ExpectWorking(const TorvelButton& b, const WorkingColours& w) {
  const ButtonState& s = b.state();
  EXPECT_EQ(s.FaceColor, w.face);
  EXPECT_EQ(s.LightColor, w.light);
  EXPECT_EQ(s.HighlightColor, w.highlight);
  EXPECT_EQ(s.ShadowColor, w.shadow);
  EXPECT_EQ(s.DarkShadowColor, w.dark);
  EXPECT_EQ(s.TextColor, w.text);
  EXPECT_EQ(s.HoverTextColor, w.hover);
}

TEST(ButtonColorScheme, EverySchemesWorkingColours) {
  Placed p(true);
  TorvelButton& b = p.b();
  ExpectWorking(b, {0xC8D0D4, 0xC8D0D4, 0xFFFFFF, 0x808080, 0x404040, 0, 0});

  b.SetBackColor(0xC0C0C0);
  b.SetForeColor(0x0000FF);
  b.SetMouseOver(0x00FF00);
  ExpectWorking(b, {0xC0C0C0, 0xDFDFDF, 0xEFEFEF, 0x808080, 0x000000, 0x0000FF, 0x00FF00});
  b.SetColorScheme(CustomGradient);
  ExpectWorking(b, {0xC0C0C0, 0xDFDFDF, 0xEFEFEF, 0x808080, 0x000000, 0x0000FF, 0x00FF00});

  b.SetColorScheme(FixedGrey);
  ExpectWorking(b, {0xC0C0C0, 0xDFDFDF, 0xFFFFFF, 0x808080, 0, 0, 0});

  p.host.container().SetBackColor(0x204060);
  p.host.container().SetTextColor(0x00FFFF);
  b.SetColorScheme(ParentColors);
  ExpectWorking(b, {0x204060, 0x3F5F7F, 0x4F6F8F, 0x000020, 0, 0x00FFFF, 0x00FFFF});
  EXPECT_EQ(b.BackColor(), 0x204060);
  EXPECT_EQ(b.ForeColor(), 0x00FFFF);
  EXPECT_EQ(b.MouseOver(), 0x00FFFF);

  p.host.container().palette().Set(host::COLOR_BTNFACE, 0x112233);
  b.SetColorScheme(SystemColors);
  EXPECT_EQ(b.state().FaceColor, 0x112233);
  EXPECT_EQ(b.BackColor(), 0x112233);
}

TEST(ButtonColorScheme, ParentColoursFollowThePaletteUntilSet) {
  Placed p(true);
  p.b().SetColorScheme(ParentColors);
  EXPECT_EQ(p.b().state().FaceColor, 0xC8D0D4);
  EXPECT_EQ(p.b().state().TextColor, 0);
  // Hover text is the text colour, whatever MouseOver holds.
  p.b().state().MouseOver = 0x123456;
  p.b().ApplyColorScheme(kFalse);
  EXPECT_EQ(p.b().state().HoverTextColor, 0);
}

TEST(ButtonColorScheme, ResetOnlyForTheSchemesThatOwnTheirColours) {
  Placed p(true);
  p.b().SetBackColor(0x010203);
  p.b().SetForeColor(0x040506);
  p.b().SetMouseOver(0x070809);
  p.b().ApplyColorScheme(kTrue);
  EXPECT_EQ(p.b().BackColor(), 0x010203);
  EXPECT_EQ(p.b().ForeColor(), 0x040506);
  EXPECT_EQ(p.b().MouseOver(), 0x070809);
}

TEST(ButtonColorScheme, EmbossColoursAreOverwrittenAndNotRestored) {
  Placed p(true);
  p.b().SetEmbossEngraveMid(0x111111);
  p.b().SetEmbossEngraveShadow(0x222222);
  EXPECT_EQ(p.b().ColorScheme(), CustomColors);
  p.b().SetColorScheme(SystemColors);
  EXPECT_EQ(p.b().EmbossEngraveMid(), 0xC0C0C0);
  EXPECT_EQ(p.b().EmbossEngraveShadow(), 0xFFFFFF);
  p.b().SetColorScheme(CustomColors);
  EXPECT_EQ(p.b().EmbossEngraveMid(), 0xC0C0C0);
  EXPECT_EQ(p.b().EmbossEngraveShadow(), 0xFFFFFF);
}

TEST(ButtonColorScheme, OutOfRangeSchemeInTheFieldComputesSystemColours) {
  for (Long scheme : {0, 6, -3}) {
    Placed p(true);
    p.b().state().ColorScheme = CustomColors;
    p.b().state().BackColor = 0x123456;
    p.b().ApplyColorScheme(kFalse);
    p.b().state().ColorScheme = scheme;
    p.b().ApplyColorScheme(kFalse);
    ExpectWorking(p.b(), {0xC8D0D4, 0xC8D0D4, 0xFFFFFF, 0x808080, 0x404040, 0, 0});
  }
}

TEST(ButtonColorScheme, ParentWithoutDeviceContextFailsTheAssignment) {
  Placed p(true);
  p.host.container().SetHasDeviceContext(false);
  const Color face = p.b().state().FaceColor;
  EXPECT_THROW(p.b().SetColorScheme(ParentColors), host::HostError);
  EXPECT_EQ(p.b().state().FaceColor, face);
}

TEST(ButtonConvertSysColor, ReferencesResolvedOthersUnchanged) {
  Placed p(true);
  EXPECT_EQ(p.b().ConvertSysColor(static_cast<Color>(0x8000000F)), 0xC8D0D4);
  EXPECT_EQ(p.b().ConvertSysColor(static_cast<Color>(0x80000015)), 0x404040);
  EXPECT_EQ(p.b().ConvertSysColor(static_cast<Color>(0x800000C8)), 0);  // unknown index
  EXPECT_EQ(p.b().ConvertSysColor(-1), -1);
  EXPECT_EQ(p.b().ConvertSysColor(0x123456), 0x123456);
}

TEST(ButtonDetectOS, TheTable) {
  struct Row {
    host::VersionTriple v;
    std::int16_t gradient;
    std::int16_t mode;
  };
  const Row rows[] = {
      {{1, 4, 0}, -1, 0}, {{1, 4, 10}, 0, 0}, {{1, 4, 90}, 0, 0}, {{2, 3, 51}, -1, 2},
      {{2, 4, 0}, -1, 1}, {{2, 5, 0}, 0, 0},  {{2, 5, 1}, 0, 0},  {{2, 6, 0}, 0, 0},
      {{1, 4, 3}, 0, 0},  {{2, 4, 1}, 0, 0},  {{0, 4, 0}, 0, 0},  {{2, 3, 5}, 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(host::VersionText(r.v));
    EXPECT_EQ(DetectOSFor(r.v, kTrue), r.gradient);
    EXPECT_EQ(DetectOSFor(r.v, kFalse), r.mode);
  }
  EXPECT_EQ(DetectOSFor(std::nullopt, kTrue), 0);
  EXPECT_EQ(DetectOSFor(std::nullopt, kFalse), 0);
}

TEST(ButtonDetectOS, ThisMachinesTripleIsAModernPlatform) {
  const auto v = host::HostVersionTriple();
  ASSERT_TRUE(v.has_value()) << "uname gave no kernel release";
  EXPECT_EQ(v->platform, host::kLinuxPlatformId);
  EXPECT_EQ(DetectOSFor(v, kTrue), 0);
  EXPECT_EQ(DetectOSFor(v, kFalse), 0);
}

TEST(ButtonDetectOS, AskedAnewAtEveryCall) {
  Placed p(true, host::VersionTriple{2, 5, 1});
  EXPECT_EQ(p.b().DetectOS(kFalse), 0);
  p.host.SetVersion(host::VersionTriple{2, 3, 51});
  EXPECT_EQ(p.b().DetectOS(kFalse), 2);
  p.b().SetGraphicsMode(-1);
  EXPECT_EQ(p.b().GraphicsMode(), 2);
}

}  // namespace
}  // namespace vx::button

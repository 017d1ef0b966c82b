// Caption font and caption drawing on a real button with real fonts: the
// font record, the non-TrueType notice, the turned font, the coloured passes
// of every look, the press offset, the underline, the icon step and the
// release of the font whatever happens.

#include <gtest/gtest.h>

#include <any>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gdi/raster.h"
#include "platform/text/font.h"
#include "tests/support/button_rig.h"
#include "tests/support/surface_diff.h"

namespace vx::render {
namespace {

constexpr const char* kFace = "Liberation Sans";
constexpr ColorRef kBack = 0x336699;

text::Font MakeFont(const char* face, int escapement = 0) {
  text::LogFont lf;
  lf.lfHeight = -11;  // 8.25 pt at 15 twips per pixel
  lf.lfEscapement = escapement;
  lf.SetFaceName(face);
  // The button's own default smoothing, not the text library's.
  text::Font f = text::CreateFontIndirect(lf, text::Smoothing::Standard);
  if (!f || f.match() == text::FaceMatch::Fallback) {
    ADD_FAILURE() << "the font " << face << " is not installed";
  }
  return f;
}

const text::Font* FontIn(const std::any& slot) {
  return std::any_cast<text::Font>(&slot);
}

struct Rig : support::ButtonRig {
  explicit Rig(bool design = false, const char* face = kFace, int w = 100, int h = 30)
      : ButtonRig(w, h, design) {
    Place(face);
    host.ClearRecords();
  }

  // Lays the caption out through the pipeline's path, then clears the
  // surface for the caption alone.
  void Prepare(const std::string& caption) {
    st().Caption = caption;
    button->SetAccessKey();
    Painter p(*button, ps());
    p.CreateCaptionFont(kTrue);
    p.ReleaseCaptionFont();
    Clear();
  }
  void Clear() { ButtonRig::Clear(kBack); }
  void Draw(Color main, Color lower_right, Color upper_left) {
    Painter(*button, ps()).DrawCaption(main, lower_right, upper_left);
  }
  bool FontReleased() {
    const text::Font* handle = FontIn(st().CaptionFontHandle);
    return (handle == nullptr || !*handle) && !ps().selected_font;
  }
};

struct Pass {
  Color color;
  int d;
};

// What the caption should look like: each line in each pass, then the
// underline, all moved by the press offset.
Surface Expected(Rig& r, const std::vector<Pass>& passes, int p, Color underline = -1,
                 int escapement = 0) {
  Surface want(r.surface().width(), r.surface().height(), kBack);
  const text::Font font = MakeFont(kFace, escapement);
  for (const button::CaptionLine& line : r.st().CaptionLines) {
    for (const Pass& pass : passes) {
      text::TextOut(want, font, line.X + p + pass.d, line.Y + p + pass.d, line.Text,
                    static_cast<ColorRef>(pass.color));
    }
  }
  if (underline != -1) {
    const auto& st = r.st();
    for (int i = 0; i < st.UnderlineLength; ++i) {
      if (escapement == 0) {
        want.put(st.UnderlineX + p + i, st.UnderlineY + p, static_cast<ColorRef>(underline));
      } else {
        want.put(st.UnderlineX + p, st.UnderlineY + p + i, static_cast<ColorRef>(underline));
      }
    }
  }
  return want;
}

TEST(CaptionFont, RecordCarriesBoldAndItalicInTheFaceText) {
  Rig r;
  r.st().GraphicsModeInForce = 2;
  host::FontAttributes a;
  a.name = kFace;
  a.size = 10;
  a.weight = 700;
  a.italic = true;
  a.underline = true;
  a.strikethrough = true;
  r.button->SetFont(host::Font::Create(a));
  Painter p(*r.button, r.ps());
  p.CreateCaptionFont(kFalse);
  const text::Font* handle = FontIn(r.st().CaptionFontHandle);
  ASSERT_TRUE(handle != nullptr && *handle);
  const text::LogFont& lf = handle->logFont();
  EXPECT_EQ(lf.FaceName(), "Liberation Sans Bold Italic");
  EXPECT_EQ(lf.lfWeight, 0);
  EXPECT_EQ(lf.lfItalic, 0);
  EXPECT_EQ(lf.lfUnderline, 1);
  EXPECT_EQ(lf.lfStrikeOut, 1);
  EXPECT_EQ(lf.lfHeight, -13);
  EXPECT_EQ(lf.lfEscapement, 0);
  EXPECT_EQ(handle->style(), "Bold Italic");
  EXPECT_EQ(r.ps().graphics_mode, 2);
  // Selected into the context while it lives; what it displaced is kept.
  EXPECT_EQ(r.ps().selected_font.logFont().FaceName(), "Liberation Sans Bold Italic");
  ASSERT_NE(FontIn(r.st().PreviousFont), nullptr);
  EXPECT_FALSE(*FontIn(r.st().PreviousFont));
  p.ReleaseCaptionFont();
  EXPECT_TRUE(r.FontReleased());
}

TEST(CaptionFont, HeightFromPointsRoundsHalvesToEven) {
  EXPECT_EQ(CaptionFontHeight(10, 15), -13);      // 13.33
  EXPECT_EQ(CaptionFontHeight(8.25, 15), -11);    // exactly 11
  EXPECT_EQ(CaptionFontHeight(9.375, 15), -12);   // 12.5
  EXPECT_EQ(CaptionFontHeight(10.125, 15), -14);  // 13.5
  // The size is read to four decimal places first: 9.37504 is 9.375.
  EXPECT_EQ(CaptionFontHeight(9.37504, 15), -12);
  EXPECT_EQ(CaptionFontHeight(12, 12), -20);
  EXPECT_EQ(CaptionFontHeight(10, 0), 0);  // no ratio: the default size
}

TEST(CaptionFont, VerticalCaptionsGetATurnedFontThatIsReleased) {
  for (const auto& [orientation, escapement] :
       {std::pair{button::VerticalUp, 900}, std::pair{button::VerticalDown, 2700}}) {
    Rig r;
    r.st().CaptionOrientation = orientation;
    r.st().Caption = "Go";
    Painter p(*r.button, r.ps());
    p.CreateCaptionFont(kTrue);
    const text::Font* handle = FontIn(r.st().CaptionFontHandle);
    ASSERT_TRUE(handle != nullptr && *handle);
    EXPECT_EQ(handle->logFont().lfEscapement, escapement);
    EXPECT_EQ(handle->logFont().lfOrientation, 0);
    EXPECT_EQ(r.ps().selected_font.escapement(), escapement);
    EXPECT_FALSE(*FontIn(r.st().PreviousFont));  // the original, not the unturned font
    // The layout measured with the unturned font, as horizontal text.
    EXPECT_EQ(r.st().CaptionLines.at(0).Width, text::MeasureText(MakeFont(kFace), "Go").cx);
    p.ReleaseCaptionFont();
    EXPECT_TRUE(r.FontReleased());
  }
}

TEST(CaptionFont, NonTrueTypeNoticeOnlyWhileDesigning) {
  const text::Font raster = MakeFont("MS Sans Serif");
  ASSERT_EQ(
      text::GetTextMetrics(raster).tmPitchAndFamily & (text::TMPF_TRUETYPE | text::TMPF_DEVICE), 0)
      << "MS Sans Serif should be a raster face";
  ASSERT_GE(text::GetTextMetrics(raster).tmPitchAndFamily, 4) << "the family sits in the high bits";

  auto notices = [](bool design, const char* face, Long orientation) {
    Rig r(design, face);
    r.st().CaptionOrientation = orientation;
    Painter p(*r.button, r.ps());
    p.CreateCaptionFont(kFalse);
    const int escapement = r.ps().selected_font.escapement();
    p.ReleaseCaptionFont();
    EXPECT_TRUE(r.FontReleased());
    return std::pair{r.host.messages(), escapement};
  };
  const auto [shown, turned] = notices(true, "MS Sans Serif", button::VerticalUp);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Non-True Type fonts may not draw vertically");
  EXPECT_EQ(shown[0].icon, host::MessageIcon::Information);
  EXPECT_EQ(turned, 900);  // drawn turned all the same
  EXPECT_TRUE(notices(false, "MS Sans Serif", button::VerticalUp).first.empty());
  EXPECT_TRUE(notices(true, "MS Sans Serif", button::Horizontal).first.empty());
  EXPECT_TRUE(notices(true, kFace, button::VerticalDown).first.empty());
}

TEST(CaptionDraw, NoCaptionFontOutlivesADrawing) {
  Rig r;
  r.button->SetCaption("Check Source");  // the whole pipeline, layout included
  EXPECT_EQ(r.st().LayoutPending, kTrue);
  EXPECT_TRUE(r.FontReleased());
  r.Draw(0, -1, -1);
  EXPECT_TRUE(r.FontReleased());
  r.button->RefreshButton();
  EXPECT_TRUE(r.FontReleased());
}

struct PassCase {
  const char* name;
  std::function<void(Rig&)> setup;
  Color main, lower_right, upper_left;
  std::vector<Pass> want;
};

TEST(CaptionDraw, PassesOfEveryLook) {
  const Color text = 0x102030;
  const std::vector<PassCase> cases = {
      {"plain, one pass", [](Rig&) {}, 0x0000FF, -1, -1, {{0x0000FF, 0}}},
      {"plain, colour 0 is black", [](Rig&) {}, 0, 0xFFFFFF, -1, {{0xFFFFFF, 1}, {0, 0}}},
      {"plain, three passes",
       [](Rig&) {},
       0x111111,
       0x00FF00,
       0xFF0000,
       {{0xFF0000, -1}, {0x00FF00, 1}, {0x111111, 0}}},
      {"engraved",
       [&](Rig& r) {
         r.st().CaptionStyle = button::Engraved;
         r.st().TextColor = text;
       },
       0x0000FF,
       -1,
       -1,
       {{0xFFFFFF, -1}, {0xC0C0C0, 1}, {text, 0}}},
      {"embossed",
       [&](Rig& r) {
         r.st().CaptionStyle = button::Embossed;
         r.st().TextColor = text;
       },
       0x0000FF,
       -1,
       -1,
       {{0xC0C0C0, -1}, {0xFFFFFF, 1}, {text, 0}}},
      {"shadowed",
       [&](Rig& r) {
         r.st().CaptionStyle = button::Shadowed;
         r.st().TextColor = text;
       },
       0x0000FF,
       -1,
       -1,
       {{0xFFFFFF, 1}, {0xFFFFFF, -1}, {text, 0}}},
      {"styled but disabled draws plain",
       [&](Rig& r) {
         r.st().CaptionStyle = button::Engraved;
         r.st().Enabled = kFalse;
       },
       0x808080,
       0xFFFFFF,
       -1,
       {{0xFFFFFF, 1}, {0x808080, 0}}},
      {"disabled on a gradient",
       [](Rig& r) {
         r.st().ColorScheme = button::CustomGradient;
         r.st().Enabled = kFalse;
         r.host.container().SetBackColor(0x604020);
       },
       0x0000FF,
       0x00FF00,
       0xFF0000,
       {{0x000000, -1}, {0x7F5F3F, 1}, {0, 0}}},
      {"disabled latched option on a gradient",
       [](Rig& r) {
         r.st().ColorScheme = button::CustomGradient;
         r.st().Enabled = kFalse;
         r.st().OptionButton = kTrue;
         r.st().Value = kTrue;
         r.host.container().SetBackColor(0x604020);
       },
       0x0000FF,
       -1,
       -1,
       {{0x7F5F3F, -1}, {0x000000, 1}, {0x8F6F4F, 0}}},
      {"latched option on a gradient",
       [](Rig& r) {
         r.st().ColorScheme = button::CustomGradient;
         r.st().OptionButton = kTrue;
         r.st().Value = kTrue;
         r.st().GradientStartColor = 0x00AA00;
       },
       0x0000FF,
       -1,
       -1,
       {{0x00AA00, 0}}},
  };
  for (const PassCase& c : cases) {
    Rig r;
    r.Prepare("Hg");
    c.setup(r);
    r.Draw(c.main, c.lower_right, c.upper_left);
    EXPECT_EQ(support::CountDifferences(r.surface(), Expected(r, c.want, 0)), 0) << c.name;
    EXPECT_TRUE(r.FontReleased()) << c.name;
  }
}

TEST(CaptionDraw, StyledTextIgnoresTheHoverColourButUnderlinesInIt) {
  Rig r;
  r.Prepare("&Save");
  r.st().CaptionStyle = button::Engraved;
  r.st().TextColor = 0;
  const Color hover = 0x0000FF;
  r.Draw(hover, -1, -1);
  EXPECT_EQ(support::CountDifferences(
                r.surface(), Expected(r, {{0xFFFFFF, -1}, {0xC0C0C0, 1}, {0, 0}}, 0, hover)),
            0);
}

TEST(CaptionDraw, PressOffsetMovesCaptionAndUnderline) {
  struct Case {
    Long type;
    Bool16 option;
    int offset;
  };
  for (const Case& c : {Case{button::Classic3D, kFalse, 1}, Case{button::Etched, kFalse, 0},
                        Case{button::Classic3D, kTrue, 0}}) {
    Rig r;
    r.Prepare("&Save");
    r.st().ButtonType = c.type;
    r.st().OptionButton = c.option;
    r.st().VisualState = button::Pressed;
    ASSERT_GT(r.st().UnderlineLength, 0);
    r.Draw(0, -1, -1);
    EXPECT_EQ(support::CountDifferences(r.surface(), Expected(r, {{0, 0}}, c.offset, 0)), 0)
        << "type " << c.type << ", option " << c.option;
  }
}

TEST(CaptionDraw, UnderlineOnlyWithAnAccessKey) {
  Rig r;
  r.Prepare("&Save");
  r.st().AccessKeyPos = 0;  // the fields keep their values
  r.Draw(0, -1, -1);
  EXPECT_EQ(support::CountDifferences(r.surface(), Expected(r, {{0, 0}}, 0)), 0);
}

TEST(CaptionDraw, VerticalCaptionWithItsUnderline) {
  for (const auto& [orientation, escapement] :
       {std::pair{button::VerticalUp, 900}, std::pair{button::VerticalDown, 2700}}) {
    Rig r(false, kFace, 30, 100);
    r.st().CaptionOrientation = orientation;
    r.Prepare("S&ave");
    r.Draw(0x0000FF, -1, -1);
    const Surface want = Expected(r, {{0x0000FF, 0}}, 0, 0x0000FF, escapement);
    EXPECT_EQ(support::CountDifferences(r.surface(), want), 0) << escapement;
  }
}

TEST(CaptionDraw, NothingBeforeTheFirstLayoutButTheFontIsReleased) {
  Rig r;
  r.Prepare("&Save");
  r.st().CaptionLines.clear();
  r.st().HasIcon = kTrue;
  r.st().Icon = host::Picture::FromSurface(Surface(16, 16, 0x00FF00));
  r.Draw(0, 0xFFFFFF, 0xFFFFFF);
  EXPECT_EQ(support::CountDifferences(r.surface(), Surface(100, 30, kBack)), 0);
  EXPECT_TRUE(r.FontReleased());
}

TEST(CaptionDraw, AFailingStepIsContainedAndReleases) {
  Rig r;
  r.Prepare("Save");
  r.st().ColorScheme = button::CustomGradient;
  r.st().Enabled = kFalse;
  r.host.container().SetHasDeviceContext(false);  // the container's colour cannot be read
  EXPECT_NO_THROW(r.Draw(0, -1, -1));
  EXPECT_EQ(support::CountDifferences(r.surface(), Surface(100, 30, kBack)), 0);
  EXPECT_TRUE(r.FontReleased());
}

TEST(CaptionDraw, IconStepDrawsAtTheLaidOutPlaceWithThePressOffset) {
  for (int pressed = 0; pressed < 2; ++pressed) {
    Rig r(false, kFace, 120, 40);
    r.st().Icon = host::Picture::FromSurface(Surface(16, 16, 0x00FF00));
    r.st().HasIcon = kTrue;
    r.Prepare("Go");
    r.st().VisualState = pressed ? button::Pressed : button::Normal;
    r.Draw(0, -1, -1);
    const int x = r.st().IconX + pressed;
    const int y = r.st().IconY + pressed;
    EXPECT_EQ(r.surface().at(x, y), 0x00FF00u);
    EXPECT_EQ(r.surface().at(x + 15, y + 15), 0x00FF00u);
    EXPECT_EQ(r.surface().at(x - 1, y - 1), kBack);
  }
}

}  // namespace
}  // namespace vx::render

namespace vx::render {
namespace {

TEST(CaptionSmoothing, EachModeDrawsAndMeasuresWithItsTextSmoothing) {
  // Standard is what a button has until told otherwise.
  Rig r(false, "Tahoma", 120, 30);
  EXPECT_EQ(r.b().CaptionSmoothing(), button::SmoothingStandard);
  const std::pair<Long, text::Smoothing> modes[] = {
      {button::SmoothingFull, text::Smoothing::Full},
      {button::SmoothingOff, text::Smoothing::Off},
      {button::SmoothingStandard, text::Smoothing::Standard}};
  for (const auto& [mode, smoothing] : modes) {
    SCOPED_TRACE(mode);
    r.b().SetCaptionSmoothing(mode);
    EXPECT_EQ(r.b().CaptionSmoothing(), mode);
    EXPECT_NE(r.st().LayoutPending, kFalse);
    r.Prepare("Cancel");
    text::LogFont lf;
    lf.lfHeight = -11;
    lf.SetFaceName("Tahoma");
    const text::Font font = text::CreateFontIndirect(lf, smoothing);
    ASSERT_EQ(r.st().CaptionLines.size(), 1u);
    EXPECT_EQ(r.st().CaptionLines[0].Width, text::MeasureText(font, "Cancel").cx);
    r.Draw(0, -1, -1);
    Surface want(r.surface().width(), r.surface().height(), kBack);
    const button::CaptionLine& line = r.st().CaptionLines[0];
    text::TextOut(want, font, line.X, line.Y, line.Text, 0);
    EXPECT_EQ(support::DiffSurfaces(r.surface(), want), "");
  }
  // Values outside the three are ignored.
  for (Long bad : {-1, 3, 100}) {
    r.b().SetCaptionSmoothing(bad);
    EXPECT_EQ(r.b().CaptionSmoothing(), button::SmoothingStandard);
  }
}

// The whole button's caption under each mode, at a size the face's gasp
// table keeps solid (8.25 pt, 11 px) and one it smooths (14 pt, 19 px).
// Arial: Tahoma's embedded bitmaps would be solid at 11 px under any mode.
TEST(CaptionSmoothing, TheModesDrawDifferentPixelsAtASolidAndAGreySize) {
  const auto draw = [](double points, Long mode) {
    Rig r(false, "Arial", 160, 40);
    host::FontAttributes a;
    a.name = "Arial";
    a.size = points;
    r.b().SetFont(host::Font::Create(a));
    r.b().SetCaptionSmoothing(mode);
    r.Prepare("Wag Sox");
    r.Draw(0, -1, -1);
    return r.surface();
  };
  const auto has_grey = [](const Surface& s) {
    for (int y = 0; y < s.height(); ++y) {
      for (int x = 0; x < s.width(); ++x) {
        if (s.at(x, y) != kBack && s.at(x, y) != 0u) return true;
      }
    }
    return false;
  };
  {
    SCOPED_TRACE("8.25 pt");
    const Surface standard = draw(8.25, button::SmoothingStandard);
    const Surface off = draw(8.25, button::SmoothingOff);
    const Surface full = draw(8.25, button::SmoothingFull);
    EXPECT_FALSE(has_grey(standard));
    EXPECT_EQ(support::DiffSurfaces(standard, off), "");  // the face asks for solid here
    EXPECT_TRUE(has_grey(full));
    EXPECT_NE(support::DiffSurfaces(standard, full), "");
  }
  {
    SCOPED_TRACE("14 pt");
    const Surface standard = draw(14, button::SmoothingStandard);
    const Surface off = draw(14, button::SmoothingOff);
    const Surface full = draw(14, button::SmoothingFull);
    EXPECT_TRUE(has_grey(standard));
    EXPECT_FALSE(has_grey(off));
    EXPECT_TRUE(has_grey(full));
    // Standard's few grey levels and ramp are not Full's.
    EXPECT_NE(support::DiffSurfaces(standard, off), "");
    EXPECT_NE(support::DiffSurfaces(standard, full), "");
    EXPECT_NE(support::DiffSurfaces(off, full), "");
  }
}

}  // namespace
}  // namespace vx::render

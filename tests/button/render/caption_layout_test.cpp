// Caption layout on a real button with a real font: lines, wrapping,
// truncation, access keys, alignments, orientations and icon places.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/text/font.h"
#include "platform/text/utf8.h"
#include "tests/support/button_rig.h"

namespace vx::render {
namespace {

using button::CaptionLine;
using button::RectL;

constexpr const char* kFace = "Liberation Sans";

// The caption font of the rig, built from its record here, independently of
// the code under test: 8.25 pt at 15 twips per pixel is 11 pixels.
text::Font RigFont() {
  text::LogFont lf;
  lf.lfHeight = -11;
  lf.SetFaceName(kFace);
  return text::CreateFontIndirect(lf);
}

text::TextExtent Measure(const std::string& s) {
  static const text::Font font = RigFont();
  return text::MeasureText(font, s);
}

// Every lead byte is followed by exactly the continuation bytes it announces.
bool IsWholeUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

// A shown button at run time with the painter installed and a known font.
struct Rig : support::ButtonRig {
  Rig(int w, int h) : ButtonRig(w, h) {
    Place(kFace);
    const text::Font probe = RigFont();
    if (!probe || probe.match() == text::FaceMatch::Fallback) {
      ADD_FAILURE() << "the font " << kFace << " is not installed";
    }
  }
  // The real path: the assignment registers the key, marks the layout
  // pending and redraws, which rebuilds font and layout.
  void Show(const std::string& caption) { button->SetCaption(caption); }
  void Redraw() { button->RefreshButton(); }
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const CaptionLine& l : st().CaptionLines) out.push_back(l.Text);
    return out;
  }
};

TEST(CaptionLayout, CentredLineAndItsRectangle) {
  Rig r(100, 30);
  r.Show("Save");
  const text::TextExtent e = Measure("Save");
  ASSERT_EQ(r.st().CaptionLines.size(), 1u);
  const CaptionLine& l = r.st().CaptionLines[0];
  EXPECT_EQ(l.Text, "Save");
  EXPECT_EQ(l.Width, e.cx);
  EXPECT_EQ(l.Height, e.cy);
  EXPECT_EQ(l.X, (100 - e.cx) / 2);
  EXPECT_EQ(l.Y, (30 - e.cy) / 2);
  // 3 pixels larger at the left and top, 1 at the right and bottom.
  EXPECT_EQ(r.st().CaptionRect, (RectL{l.X - 3, l.Y - 3, l.X + e.cx + 1, l.Y + e.cy + 1}));
}

TEST(CaptionLayout, EmptyCaptionIsOneEmptyLine) {
  Rig r(100, 30);
  r.Show("");
  ASSERT_EQ(r.st().CaptionLines.size(), 1u);
  EXPECT_EQ(r.st().CaptionLines[0].Text, "");
  EXPECT_EQ(r.st().CaptionRect, (RectL{47, 12, 51, 16}));
}

TEST(CaptionLayout, VerticalCaptionsRunFromTheirOrigins) {
  const text::TextExtent e = Measure("Save");
  {
    Rig r(30, 100);
    r.st().CaptionOrientation = button::VerticalUp;
    r.Show("Save");
    const CaptionLine& l = r.st().CaptionLines.at(0);
    const int left = (30 - e.cy) / 2;
    EXPECT_EQ(l.X, left);
    EXPECT_EQ(l.Y, 100 - (100 - e.cx) / 2);  // runs up from here
    EXPECT_EQ(r.st().CaptionRect, (RectL{left - 3, l.Y - e.cx - 3, left + e.cy + 1, l.Y + 1}));
  }
  {
    Rig r(30, 100);
    r.st().CaptionOrientation = button::VerticalDown;
    r.Show("Save");
    const CaptionLine& l = r.st().CaptionLines.at(0);
    const int left = (30 - e.cy) / 2;
    EXPECT_EQ(l.X, 30 - left);         // the top-right corner
    EXPECT_EQ(l.Y, (100 - e.cx) / 2);  // runs down from here
    EXPECT_EQ(r.st().CaptionRect,
              (RectL{30 - left - e.cy - 3, l.Y - 3, 30 - left + 1, l.Y + e.cx + 1}));
  }
}

TEST(CaptionLayout, AccessKeysAndDoubledAmpersands) {
  Rig r(120, 30);
  r.Show("&&Save");
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"&Save"});
  EXPECT_EQ(r.st().AccessKeyPos, 0);

  r.Show("Save && E&xit");
  EXPECT_EQ(r.host.access_keys(), "x");
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"Save & Exit"});
  const CaptionLine& l = r.st().CaptionLines[0];
  EXPECT_EQ(r.st().UnderlineLength, Measure("x").cx);
  EXPECT_EQ(r.st().UnderlineX, l.X + Measure("Save & Ex").cx - Measure("x").cx);
  EXPECT_EQ(r.st().UnderlineY, l.Y + l.Height);

  r.Show("E&xit && Save");
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"Exit & Save"});
  EXPECT_EQ(r.st().UnderlineX, r.st().CaptionLines[0].X + Measure("E").cx);
}

TEST(CaptionLayout, AccessKeyFollowsItsWordOntoALaterLine) {
  const int widest = std::max({Measure("One").cx, Measure("Two").cx, Measure("Three").cx});
  const int w = widest + 12 + 1;  // room for any one word, not for two
  Rig r(w, 60);
  r.Show("One Two &Three");
  ASSERT_EQ(r.Texts(), (std::vector<std::string>{"One", "Two", "Three"}));
  const auto& lines = r.st().CaptionLines;
  const int h = lines[0].Height;
  const int top = (60 - 3 * h) / 2;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(lines[static_cast<std::size_t>(i)].Y, top + i * h);
  EXPECT_EQ(r.st().UnderlineX, lines[2].X);
  EXPECT_EQ(r.st().UnderlineY, lines[2].Y + h);
  EXPECT_EQ(r.st().UnderlineLength, Measure("T").cx);
  // The rectangle spans the widest line and all rows.
  EXPECT_EQ(r.st().CaptionRect.Top, top - 3);
  EXPECT_EQ(r.st().CaptionRect.Bottom, top + 3 * h + 1);
}

TEST(CaptionLayout, WrapsOnlyWhatDoesNotFit) {
  // Fits: one line even with spaces.
  Rig wide(200, 30);
  wide.Show("Check  Source");
  EXPECT_EQ(wide.Texts(), std::vector<std::string>{"Check  Source"});

  // Too wide: broken at spaces, no trailing spaces kept.
  const int w = Measure("Check Source").cx + 12 - 2;
  Rig narrow(w, 40);
  narrow.Show("Check Source  ");
  EXPECT_EQ(narrow.Texts(), (std::vector<std::string>{"Check", "Source"}));

  // Lower than one line: not wrapped at all.
  Rig low(w, Measure("C").cy - 1);
  low.Show("Check Source");
  EXPECT_EQ(low.Texts(), std::vector<std::string>{"Check Source"});

  // Only one line fits: the loop stops there and the final emit adds the
  // remainder.
  Rig one(w, Measure("C").cy + 2);
  one.Show("Check Source");
  EXPECT_EQ(one.Texts(), (std::vector<std::string>{"Check", "Source"}));
}

TEST(CaptionLayout, OverlongWordIsShortenedWithDots) {
  const std::string word = "Supercalifragilistic";
  Rig r(60, 19);
  r.Show(word);
  const int available = 60 - 12;
  const int length = static_cast<int>(word.size()) + 1;  // with the appended space
  int m =
      static_cast<int>(std::floor(static_cast<double>(available) / Measure(word).cx * length)) / 2;
  m = std::max(m, 1);
  std::string piece = word.substr(0, static_cast<std::size_t>(m));
  if (piece.size() > 4) piece.resize(piece.size() - 3);
  ASSERT_EQ(r.Texts(), std::vector<std::string>{piece + "..."});

  // A short piece keeps all its characters.
  Rig tiny(14, 19);
  tiny.Show("Wide");
  ASSERT_EQ(tiny.st().CaptionLines.size(), 1u);
  const std::string t = tiny.st().CaptionLines[0].Text;
  EXPECT_GE(t.size(), 4u);
  EXPECT_EQ(t.substr(t.size() - 3), "...");
}

TEST(CaptionLayout, ShortenedWordsPieceIsEstimatedOverTheWholeRemainingText) {
  // The piece is not cut back to the word: here it reaches past it into the
  // words that then follow it again on the next lines.
  const std::string caption = "Extraordinarily long caption that wraps onto several more lines";
  const int w = Measure("Extraordinarily").cx + 12 - 4;
  Rig r(w, 200);
  r.Show(caption);
  const auto texts = r.Texts();
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[0].substr(texts[0].size() - 3), "...");
  const std::string piece = texts[0].substr(0, texts[0].size() - 3);
  EXPECT_EQ(caption.rfind(piece, 0), 0u) << texts[0];
  EXPECT_GT(piece.size(), std::string("Extraordinarily").size()) << texts[0];
  EXPECT_EQ(texts[1].rfind("long", 0), 0u) << texts[1];
}

TEST(CaptionLayout, NarrowButtonsAndMultibyteTextNeverFailOrSplitCharacters) {
  // A negative available width with a caption that begins with spaces:
  // the truncation then measures an empty candidate.
  Rig r(5, 60);
  r.Show("  ab cd");
  EXPECT_FALSE(r.st().CaptionLines.empty());

  Rig u(40, 19);
  u.Show("Ünïcödé wörds ärë wïdé");
  const auto texts = u.Texts();
  ASSERT_FALSE(texts.empty());
  // m from 23 characters (with the appended space), not cut back to the word.
  int m = static_cast<int>(std::floor(28.0 / Measure("Ünïcödé").cx * 23)) / 2;
  m = std::max(m, 1);
  if (m > 4) m -= 3;
  const std::u32string all = U"Ünïcödé wörds ärë wïdé ";
  std::string piece;
  for (char32_t c : all.substr(0, static_cast<std::size_t>(m))) text::AppendUtf8(piece, c);
  EXPECT_EQ(texts[0], piece + "...");
  for (const std::string& t : texts) EXPECT_TRUE(IsWholeUtf8(t)) << t;
  // The key character is a whole two-byte character.
  Rig k(120, 30);
  k.Show("Gr&ün");
  EXPECT_EQ(k.host.access_keys(), "ü");
  EXPECT_EQ(k.st().UnderlineLength, Measure("ü").cx);
  EXPECT_EQ(k.st().UnderlineX, k.st().CaptionLines[0].X + Measure("Gr").cx);
}

TEST(CaptionLayout, EveryAlignmentAndSegmentOffset) {
  const text::TextExtent e = Measure("Go");
  const int w = 120;
  // X by alignment (rows) and ButtonStyle (columns), without an icon.
  const int want[3][4] = {
      {6, 6, 18, 18},
      {(w - e.cx) / 2, (w - e.cx) / 2 - 9, (w - e.cx) / 2, (w - e.cx) / 2 + 9},
      {w - e.cx - 6, w - e.cx - 18, w - e.cx - 18, w - e.cx - 6},
  };
  for (int align = 0; align < 3; ++align) {
    for (int style = 0; style < 4; ++style) {
      Rig r(w, 30);
      r.st().Alignment = align;
      r.st().ButtonStyle = style;
      r.Show("Go");
      EXPECT_EQ(r.st().CaptionLines.at(0).X, want[align][style])
          << "alignment " << align << ", style " << style;
    }
  }
}

TEST(CaptionLayout, IconPlaces) {
  const text::TextExtent e = Measure("Go");
  auto rig = [](int w, int h, int style, int align, int side) {
    auto r = std::make_unique<Rig>(w, h);
    r->st().HasIcon = kTrue;
    r->st().IconSize = button::Icon16;
    r->st().ButtonStyle = style;
    r->st().Alignment = align;
    r->st().IconAlignmentValue = side;
    return r;
  };
  // An empty caption centres the icon, shifted for the segments.
  const int shift[4] = {0, -9, 0, 9};
  for (int style = 0; style < 4; ++style) {
    auto r = rig(100, 40, style, button::AlignCenter, button::IconLeft);
    r->Show("");
    EXPECT_EQ(r->st().IconX, (100 - 16) / 2 + shift[style]);
    EXPECT_EQ(r->st().IconY, (40 - 16) / 2);
    EXPECT_EQ(r->Texts(), std::vector<std::string>{""});
  }
  // Centred text with the icon on its left: both shift right by half the gap.
  {
    auto r = rig(120, 40, 0, button::AlignCenter, button::IconLeft);
    r->Show("Go");
    const CaptionLine& l = r->st().CaptionLines[0];
    EXPECT_EQ(l.X, (120 - e.cx) / 2 + 21 / 2);
    EXPECT_EQ(r->st().IconX, l.X - 16 - 5);
    EXPECT_EQ(r->st().IconY, (e.cy - 16) / 2 + l.Y);
  }
  {
    auto r = rig(120, 40, button::LeftSegment, button::AlignCenter, button::IconRight);
    r->Show("Go");
    const CaptionLine& l = r->st().CaptionLines[0];
    EXPECT_EQ(l.X, (120 - e.cx) / 2 - (21 + 18) / 2);
    EXPECT_EQ(r->st().IconX, l.X + e.cx + 5);
  }
  // AlignLeft with IconRight and AlignRight with IconLeft: no gap, the icon
  // beyond the text's far side.
  {
    auto r = rig(120, 40, 0, button::AlignLeft, button::IconRight);
    r->Show("Go");
    EXPECT_EQ(r->st().CaptionLines[0].X, 6);
    EXPECT_EQ(r->st().IconX, 6 + e.cx + 5);
  }
  {
    auto r = rig(120, 40, 0, button::AlignRight, button::IconLeft);
    r->Show("Go");
    EXPECT_EQ(r->st().CaptionLines[0].X, 120 - e.cx - 6);
    EXPECT_EQ(r->st().IconX, 120 - e.cx - 6 - 21);
  }
  // Vertical: the icon sits below or above the text, centred across.
  {
    auto r = rig(40, 120, 0, button::AlignCenter, button::IconLeft);
    r->st().CaptionOrientation = button::VerticalUp;
    r->Show("Go");
    const CaptionLine& l = r->st().CaptionLines[0];
    EXPECT_EQ(l.Y, 120 - (120 - e.cx) / 2 - 10);
    EXPECT_EQ(r->st().IconY, l.Y + 5);  // below the text's start
    EXPECT_EQ(r->st().IconX, (e.cy - 16) / 2 + l.X);
  }
  {
    auto r = rig(40, 120, 0, button::AlignCenter, button::IconLeft);
    r->st().CaptionOrientation = button::VerticalDown;
    r->Show("Go");
    const CaptionLine& l = r->st().CaptionLines[0];
    EXPECT_EQ(l.Y, (120 - e.cx) / 2 + 10);
    EXPECT_EQ(r->st().IconY, l.Y - 16 - 5);  // above the text's start
  }
}

TEST(CaptionLayout, VerticalLinesStackAcrossTheButton) {
  const int widest = std::max(Measure("One").cx, Measure("Two").cx);
  const int h = widest + 12 + 1;
  const int lh = Measure("One").cy;
  {
    Rig r(60, h);
    r.st().CaptionOrientation = button::VerticalUp;
    r.Show("One Two");
    ASSERT_EQ(r.Texts(), (std::vector<std::string>{"One", "Two"}));
    const int left = (60 - 2 * lh) / 2;
    EXPECT_EQ(r.st().CaptionLines[0].X, left);
    EXPECT_EQ(r.st().CaptionLines[1].X, left + lh);
    EXPECT_EQ(r.st().CaptionRect.Left, left - 3);
    EXPECT_EQ(r.st().CaptionRect.Right, left + 2 * lh + 1);
  }
  {
    Rig r(60, h);
    r.st().CaptionOrientation = button::VerticalDown;
    r.Show("One Two");
    const int left = (60 - 2 * lh) / 2;
    EXPECT_EQ(r.st().CaptionLines[0].X, 60 - left);
    EXPECT_EQ(r.st().CaptionLines[1].X, 60 - left - lh);
    EXPECT_EQ(r.st().CaptionRect.Left, 60 - left - 2 * lh - 3);
    EXPECT_EQ(r.st().CaptionRect.Right, 60 - left + 1);
  }
}

TEST(CaptionLayout, LayoutOnItsOwnMeasuresWithTheControlFont) {
  Rig r(100, 30);
  r.Show("Check Source");
  r.st().LayoutPending = kFalse;
  r.st().CaptionLines.clear();
  // A resize lays out without the caption font: the control's own font
  // (the same attributes) stands in, and nothing stays selected.
  r.button->UserControl_Resize();
  ASSERT_EQ(r.st().CaptionLines.size(), 1u);
  EXPECT_EQ(r.st().CaptionLines[0].Width, Measure("Check Source").cx);
  EXPECT_FALSE(r.painter->state().selected_font);
}

}  // namespace
}  // namespace vx::render

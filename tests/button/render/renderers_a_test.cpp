// The OutlinedBevel, Classic3D, WindowsXP and SoftBevel looks. Their frames
// are pinned pixel by pixel by the whole-button reference cases; here: the
// option latch, states outside the usual ones, the WindowsXP row shading and
// the caption colours (the reference buttons have no caption).

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <set>
#include <vector>

#include "tests/support/button_rig.h"

namespace vx::render {
namespace {

using button::ShiftColor;
using Json = host::JsonPropertyBag::Json;

using support::kUnpainted;

// One button on a headless host, restored from stored properties.
class Rig : public support::ButtonRig {
 public:
  explicit Rig(const Json& props, int w = 100, int h = 30) : ButtonRig(w, h) {
    Json stored = {{"tx", ""}, {"showf", true}};
    for (auto& [key, value] : props.items()) stored[key] = value;
    Restore(stored);
  }

  // Draws in `state`; the surface starts in a colour no look uses.
  const Surface& Draw(Long state, bool focus = false, Bool16 backdrop_only = kFalse) {
    return ButtonRig::Draw(
        {.state = state, .focus = focus, .backdrop_only = backdrop_only != kFalse});
  }
};

ColorRef C(Color c) {
  return static_cast<ColorRef>(c);
}

// Every colour inside the bevels (x and y at least 3 from each edge).
std::set<ColorRef> InteriorColours(const Surface& s) {
  std::set<ColorRef> out;
  for (int y = 3; y < s.height() - 3; ++y) {
    for (int x = 3; x < s.width() - 3; ++x) out.insert(s.at(x, y));
  }
  return out;
}

bool Same(const Surface& a, const Surface& b) {
  return a.width() == b.width() && a.height() == b.height() && a.pixels() == b.pixels();
}

bool Contains(const Surface& s, ColorRef c) {
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) {
      if (s.at(x, y) == c) return true;
    }
  }
  return false;
}

const std::vector<Long> kMyLooks = {button::OutlinedBevel, button::Classic3D, button::WindowsXP,
                                    button::SoftBevel};

// A grey face under CustomColors: LightColor (0xDFDFDF) differs from the face.
Json Grey(Long type) {
  return {{"btype", type}, {"coltype", 2}, {"bcol", 0xC0C0C0}};
}

TEST(LooksALatch, StateComesBackAfterEveryLatchedDrawing) {
  for (Long type : kMyLooks) {
    for (bool enabled : {true, false}) {
      Rig rig(Json{{"btype", type}, {"optmod", true}, {"optval", true}, {"enab", enabled}});
      for (Long state = 0; state <= 4; ++state) {
        for (bool focus : {false, true}) {
          rig.Draw(state, focus);
          EXPECT_EQ(rig.st().VisualState, state)
              << "type " << type << " enabled " << enabled << " focus " << focus;
        }
      }
      // The backdrop drawing latches Backdrop and gives both fields back.
      rig.Draw(button::Hover, false, kTrue);
      EXPECT_EQ(rig.st().VisualState, button::Hover) << "type " << type;
      EXPECT_EQ(rig.st().Enabled, enabled ? kTrue : kFalse) << "type " << type;
    }
  }
}

TEST(LooksALatch, NegativeStateOfAPlainButtonDrawsLatchedAndEndsAsItsComplement) {
  for (Long type : kMyLooks) {
    Rig latched(Grey(type));
    Rig selected([&] {
      Json j = Grey(type);
      j["optmod"] = true;
      j["optval"] = true;
      return j;
    }());
    const Surface& a = latched.Draw(-4);
    EXPECT_EQ(latched.st().VisualState, button::Focused) << "type " << type;
    const Surface& b = selected.Draw(button::Focused);
    EXPECT_TRUE(Same(a, b)) << "type " << type << ": -4 must look like a selected option, focused";
  }
}

TEST(LooksALatch, ExtremeStatesNeitherOverflowNorStick) {
  // The complement of INT_MIN is not negative, so no latched branch runs; the
  // state must still come back. INT_MAX latches to INT_MIN and back.
  for (Long type : kMyLooks) {
    Rig rig(Json{{"btype", type}, {"optmod", true}, {"optval", true}});
    for (Long state : {Long{INT_MIN}, Long{INT_MAX}, Long{5}}) {
      rig.Draw(state);
      EXPECT_EQ(rig.st().VisualState, state) << "type " << type;
    }
    Rig plain(Json{{"btype", type}});
    plain.Draw(INT_MIN);
    EXPECT_EQ(plain.st().VisualState, INT_MAX) << "type " << type << ": |INT_MIN| - 1";
  }
}

TEST(LooksALatch, AFailingDrawingStillRestoresTheState) {
  for (Long type : kMyLooks) {
    Rig rig(Json{{"btype", type}, {"optmod", true}, {"optval", true}});
    rig.st().ButtonStyle = 9;  // no outline exists for it: the primitives fail
    rig.Draw(button::Pressed);
    EXPECT_EQ(rig.st().VisualState, button::Pressed) << "type " << type;
  }
}

TEST(LooksAStates, BackdropAndFocusedWithoutFocusDrawLikeNormal) {
  for (Long type : kMyLooks) {
    for (bool enabled : {true, false}) {
      Json props = Grey(type);
      props["enab"] = enabled;
      Rig rig(props);
      const Surface normal = rig.Draw(button::Normal);
      EXPECT_TRUE(Same(rig.Draw(button::Backdrop), normal)) << "type " << type;
      EXPECT_TRUE(Same(rig.Draw(button::Focused), normal)) << "type " << type;
      EXPECT_FALSE(Contains(normal, kUnpainted)) << "type " << type;
    }
  }
}

TEST(LooksAStates, StatesAboveHoverDrawNothingOverTheBackground) {
  for (Long type : kMyLooks) {
    Rig rig(Grey(type));
    const Surface& s = rig.Draw(5);
    const std::set<ColorRef> all = InteriorColours(s);
    EXPECT_EQ(all, std::set<ColorRef>{0xC0C0C0}) << "type " << type;
    EXPECT_EQ(rig.At(0, 0), 0xC0C0C0u);
    EXPECT_EQ(rig.At(99, 29), 0xC0C0C0u);
  }
}

TEST(LooksAStates, TinyButtonsDrawInEveryState) {
  // Frames and shading of a button too small for them stay on the surface.
  for (Long type : kMyLooks) {
    for (int size : {0, 1, 2, 3}) {
      for (bool option : {false, true}) {
        Json props = Grey(type);
        props["optmod"] = option;
        props["optval"] = option;
        Rig rig(props, size, size);
        for (Long state = 0; state <= 4; ++state) {
          rig.Draw(state, true);
          EXPECT_EQ(rig.st().VisualState, state) << "type " << type << " size " << size;
        }
      }
    }
  }
}

// Shades of the WindowsXP look, blue scaled.
Color Xp(Color c, Long offset) {
  return ShiftColor(c, offset, kTrue);
}

TEST(LooksAWindowsXP, RowsShadeInSinglePrecisionHalvesToEven) {
  Rig rig(Grey(button::WindowsXP));
  const Color up = Xp(0xC0C0C0, 48);
  rig.Draw(button::Normal);
  // H = 30: row 9 is -7.5 in single precision (-8), row 21 -17.5 (-18).
  EXPECT_EQ(rig.At(50, 9), C(Xp(up, -8)));
  EXPECT_EQ(rig.At(50, 21), C(Xp(up, -18)));
  EXPECT_EQ(rig.At(50, 3), C(Xp(up, -2)));

  Rig tall(Grey(button::WindowsXP), 100, 50);
  tall.Draw(button::Normal);
  // H = 50: -1.5 -> -2, -2 -> -2, -2.5 -> -2, -3 -> -3.
  EXPECT_EQ(tall.At(50, 3), C(Xp(up, -2)));
  EXPECT_EQ(tall.At(50, 4), C(Xp(up, -2)));
  EXPECT_EQ(tall.At(50, 5), C(Xp(up, -2)));
  EXPECT_EQ(tall.At(50, 6), C(Xp(up, -3)));
  EXPECT_EQ(tall.At(50, 46), C(Xp(up, -23))) << "darker towards the bottom";
}

// The caption colours as drawn: wide letters in the plain caption style.
class LooksACaption : public ::testing::Test {
 protected:
  static Json WithCaption(Long type, bool enabled, bool option, bool value) {
    return {{"btype", type},    {"coltype", 2},    {"bcol", 0xC0C0C0},
            {"fcol", 0x000000}, {"fcolo", 0xFF},   {"enab", enabled},
            {"optmod", option}, {"optval", value}, {"tx", "MMMM"}};
  }
};

TEST_F(LooksACaption, HoverColourFollowsTheLook) {
  // OutlinedBevel, Classic3D and WindowsXP hovered, latched or not: HoverTextColor.
  for (Long type : {button::OutlinedBevel, button::Classic3D, button::WindowsXP}) {
    for (bool latched : {false, true}) {
      Rig rig(WithCaption(type, true, latched, latched));
      const std::set<ColorRef> in = InteriorColours(rig.Draw(button::Hover));
      EXPECT_TRUE(in.count(0x0000FF)) << "type " << type << " latched " << latched;
      EXPECT_FALSE(in.count(0x000000)) << "type " << type << " latched " << latched;
    }
  }
  // SoftBevel keeps TextColor on a latched button.
  Rig soft(WithCaption(button::SoftBevel, true, true, true));
  const std::set<ColorRef> in = InteriorColours(soft.Draw(button::Hover));
  EXPECT_TRUE(in.count(0x000000));
  EXPECT_FALSE(in.count(0x0000FF));
  Rig soft_up(WithCaption(button::SoftBevel, true, false, false));
  EXPECT_TRUE(InteriorColours(soft_up.Draw(button::Hover)).count(0x0000FF));
}

TEST_F(LooksACaption, DisabledCaptions) {
  // HighlightColor under a 0xC0C0C0 face is 0xEFEFEF, ShadowColor 0x808080.
  const ColorRef highlight = 0xEFEFEF;
  const ColorRef shadow = 0x808080;
  auto interior = [](Long type, bool option, bool value) {
    Rig rig(WithCaption(type, false, option, value));
    return InteriorColours(rig.Draw(button::Normal));
  };
  // Classic3D: a plain button gets the highlight copy, an option button not.
  std::set<ColorRef> plain = interior(button::Classic3D, false, false);
  EXPECT_TRUE(plain.count(shadow) && plain.count(highlight));
  std::set<ColorRef> option = interior(button::Classic3D, true, false);
  EXPECT_TRUE(option.count(shadow));
  EXPECT_FALSE(option.count(highlight));
  // OutlinedBevel always has the copy; SoftBevel never.
  std::set<ColorRef> outlined = interior(button::OutlinedBevel, true, false);
  EXPECT_TRUE(outlined.count(shadow) && outlined.count(highlight));
  std::set<ColorRef> soft = interior(button::SoftBevel, false, false);
  EXPECT_TRUE(soft.count(shadow));
  EXPECT_FALSE(soft.count(highlight));
  // WindowsXP: a shade of the up base when up, HighlightColor when latched.
  EXPECT_TRUE(interior(button::WindowsXP, false, false).count(C(Xp(Xp(0xC0C0C0, 48), -104))));
  EXPECT_TRUE(interior(button::WindowsXP, true, true).count(highlight));

  // The backdrop drawing has no caption at all.
  for (Long type : kMyLooks) {
    Rig rig(WithCaption(type, true, false, false));
    EXPECT_EQ(InteriorColours(rig.Draw(button::Normal, false, kTrue)).size(), 1u)
        << "type " << type;
  }
}

}  // namespace
}  // namespace vx::render

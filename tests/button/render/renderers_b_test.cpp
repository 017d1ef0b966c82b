// The Etched, Macintosh and ThinBevel/HoverBevel looks: frames and corner
// pixels, the disabled looks, the latched option states and what is left in
// VisualState, and the caption colour each state asks for (read from the
// access-key underline, which DrawCaption draws in the main colour).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/button_rig.h"

namespace vx::render {
namespace {

// FixedGrey's working colours, and the shades of them the looks derive.
constexpr ColorRef kFace = 0xC0C0C0;
constexpr ColorRef kLight = 0xDFDFDF;
constexpr ColorRef kHighlight = 0xFFFFFF;
constexpr ColorRef kShadow = 0x808080;
constexpr ColorRef kDark = 0x000000;

struct Options {
  long type = 4;
  long style = 0;
  long scheme = 3;  // FixedGrey
  std::string caption;
  bool enabled = true;
  bool option = false;
  bool value = false;
  long back = 0xC0C0C0;
  long fore = 0x112233;
  long mouse_over = 0x0000FF;
  int w = 40;
  int h = 20;
};

// One button on a headless host, drawn on demand.
class Rig : public support::ButtonRig {
 public:
  explicit Rig(const Options& o) : ButtonRig(o.w, o.h) {
    Restore(host::JsonPropertyBag::Json{
        {"btype", o.type},
        {"bstyle", o.style},
        {"coltype", o.scheme},
        {"tx", o.caption},
        {"enab", o.enabled},
        {"optmod", o.option},
        {"optval", o.value},
        {"showf", true},
        {"bcol", o.back},
        {"fcol", o.fore},
        {"fcolo", o.mouse_over},
    });
  }

  // Magenta shows any pixel the drawing did not reach.
  void Draw(Long state, bool focus = false, bool mouse_inside = false, bool backdrop = false) {
    ButtonRig::Draw({state, focus, mouse_inside, backdrop});
  }

  ColorRef At(int x, int y) { return surface().at(x, y) & 0xFFFFFFu; }

  // The colour of the middle of the access-key underline (`dx` further
  // right), moved by `press`.
  ColorRef Underline(int press, int dx = 0) {
    const button::ButtonState& s = st();
    EXPECT_NE(s.AccessKeyPos, 0) << "the caption has no access key";
    EXPECT_GT(s.UnderlineLength, 0);
    return At(s.UnderlineX + s.UnderlineLength / 2 + dx + press, s.UnderlineY + press);
  }

  // Counts the pixels inside the one-pixel border that are not `color`.
  int InteriorNotEqual(ColorRef color) {
    int n = 0;
    const Surface& s = surface();
    for (int y = 2; y < s.height() - 2; ++y) {
      for (int x = 2; x < s.width() - 2; ++x) n += (s.at(x, y) & 0xFFFFFFu) != color ? 1 : 0;
    }
    return n;
  }
};

// A caption in colours no working colour shares, with an access key.
Options CaptionProbe(long type) {
  Options o;
  o.type = type;
  o.scheme = 2;  // CustomColors: Text 0x112233, HoverText red, Shadow 0x808080
  o.caption = "&Go";
  o.w = 80;
  o.h = 30;
  return o;
}

// ---- Etched (type 4) ----

TEST(EtchedLook, CornerPixelsOnlyOnSegmentShapes) {
  for (long style : {0, 1, 2, 3}) {
    Options o;
    o.style = style;
    Rig r(o);
    r.Draw(0);
    // Shadow + 26 on segment shapes; on a rectangle the frame (shadow - 26).
    const ColorRef corner = style == 0 ? 0x666666u : 0x9A9A9Au;
    EXPECT_EQ(r.At(1, 18), corner) << style;
    EXPECT_EQ(r.At(38, 1), corner) << style;
  }
}

TEST(EtchedLook, DisabledPlainButtonIsABareShadowFrameButAnOptionKeepsTheFace) {
  Options o;
  o.enabled = false;
  Rig plain(o);
  plain.Draw(0);
  EXPECT_EQ(plain.At(0, 0), kShadow);
  EXPECT_EQ(plain.At(39, 19), kShadow);
  EXPECT_EQ(plain.InteriorNotEqual(kFace), 0);

  o.option = true;
  Rig option(o);
  option.Draw(0);
  EXPECT_EQ(option.At(0, 0), 0x666666u);
  EXPECT_EQ(option.At(1, 1), kHighlight);
  EXPECT_EQ(option.At(10, 10), 0xCCCCCCu);  // face + 12
  EXPECT_EQ(option.At(39, 19), kFace);
}

TEST(EtchedLook, LatchedStatesDrawASunkenLightFaceAndAreRestored) {
  Options o;
  o.option = true;
  o.value = true;
  Rig r(o);
  for (Long state = 0; state <= 4; ++state) {
    r.Draw(state);
    EXPECT_EQ(r.st().VisualState, state);
    EXPECT_EQ(r.At(0, 0), kShadow) << state;
    EXPECT_EQ(r.At(0, 18), kShadow) << state;
    EXPECT_EQ(r.At(39, 0), kHighlight) << state;
    EXPECT_EQ(r.At(39, 19), kHighlight) << state;
    EXPECT_EQ(r.At(0, 19), kHighlight) << state;
    EXPECT_EQ(r.At(1, 1), 0xE1E1E1u) << state;  // light + 2
    // The focus mark follows HasFocus alone, even for a latched press.
    EXPECT_EQ(r.InteriorNotEqual(0xE1E1E1), 0) << state;
  }
  r.Draw(button::Pressed, /*focus=*/true);
  EXPECT_GT(r.InteriorNotEqual(0xE1E1E1), 0);
  EXPECT_EQ(r.st().VisualState, button::Pressed);
}

TEST(EtchedLook, CaptionColourFollowsTheState) {
  Rig r(CaptionProbe(4));
  r.Draw(button::Normal);
  EXPECT_EQ(r.Underline(0), 0x112233u);
  r.Draw(button::Hover, false, true);
  EXPECT_EQ(r.Underline(0), 0x0000FFu);
  // Pressed draws the focus mark round the caption whatever HasFocus says; its
  // dotted ring may invert every other pixel of the underline.
  r.Draw(button::Pressed);
  const ColorRef a = r.Underline(0);
  const ColorRef b = r.Underline(0, 1);
  EXPECT_TRUE(a == 0x112233u || b == 0x112233u) << "this look does not move its caption";
  EXPECT_TRUE((a == 0x112233u || a == 0xEEDDCCu) && (b == 0x112233u || b == 0xEEDDCCu));

  Options latched = CaptionProbe(4);
  latched.option = latched.value = true;
  Rig l(latched);
  l.Draw(button::Hover, false, true);
  EXPECT_EQ(l.Underline(0), 0x0000FFu);
  l.Draw(button::Focused);
  EXPECT_EQ(l.Underline(0), 0x112233u);

  Options disabled = CaptionProbe(4);
  disabled.enabled = false;
  Rig d(disabled);
  d.Draw(button::Normal);
  EXPECT_EQ(d.Underline(0), kShadow);
}

// ---- Macintosh (type 8) ----

TEST(MacintoshLook, PressedIsAFlatDarkFaceAndASelectedOptionStaysPressed) {
  Options o;
  o.type = 8;
  Rig r(o);
  r.Draw(button::Pressed);
  EXPECT_EQ(r.At(2, 2), 0x707070u);  // shadow - 16 covers the corner shades
  EXPECT_EQ(r.At(37, 17), 0x707070u);
  EXPECT_EQ(r.At(0, 0), kDark);
  EXPECT_EQ(r.At(39, 19), kDark);
  EXPECT_EQ(r.At(38, 18), kDark);
  EXPECT_EQ(r.At(10, 18), kFace);  // the row under the fill keeps the background
  EXPECT_EQ(r.At(38, 10), 0x707070u);
  EXPECT_EQ(r.st().VisualState, button::Pressed);

  o.option = o.value = true;
  Rig option(o);
  for (Long state : {0, 3, 4}) {
    option.Draw(state);
    EXPECT_EQ(option.At(20, 10), 0x707070u) << state;
    EXPECT_EQ(option.st().VisualState, button::Pressed) << state;
  }
}

TEST(MacintoshLook, NegativeStatesDrawNothing) {
  Options o;
  o.type = 8;
  Rig r(o);
  r.Draw(-3);
  EXPECT_EQ(r.At(0, 0), kFace);
  EXPECT_EQ(r.At(39, 19), kFace);
  EXPECT_EQ(r.InteriorNotEqual(kFace), 0);
  EXPECT_EQ(r.st().VisualState, -3) << "the state is this renderer's to keep";
}

TEST(MacintoshLook, CaptionColourFollowsTheState) {
  Rig r(CaptionProbe(8));
  r.Draw(button::Hover, false, true);
  EXPECT_EQ(r.Underline(0), 0x0000FFu);
  // A plain pressed button writes the disabled caption, moved by the press.
  r.Draw(button::Pressed);
  EXPECT_EQ(r.Underline(1), kShadow);

  Options option = CaptionProbe(8);
  option.option = option.value = true;
  Rig o(option);
  o.Draw(button::Hover, false, true);
  EXPECT_EQ(o.Underline(0), kLight);

  // Disabled and latched: light caption, even on a backdrop-only drawing.
  option.enabled = false;
  Rig d(option);
  d.Draw(button::Normal, false, false, /*backdrop=*/true);
  EXPECT_EQ(d.Underline(0), kLight);
  EXPECT_EQ(d.st().VisualState, button::Normal);
  EXPECT_EQ(d.st().Enabled, kFalse);

  Options disabled = CaptionProbe(8);
  disabled.enabled = false;
  Rig up(disabled);
  up.Draw(button::Normal);
  EXPECT_EQ(up.Underline(0), kShadow);
}

// ---- ThinBevel (type 6), HoverBevel (type 7) and the rest ----

// The top-left and bottom-right corner colours: the edge, or the background.
TEST(ThinBevelLook, EdgeByTypeStateAndPointer) {
  struct Row {
    long type;
    bool enabled;
    Long state;
    bool inside;
    ColorRef top_left, bottom_right;
  };
  const Row rows[] = {
      {6, true, button::Normal, false, kHighlight, kShadow},
      {0, true, button::Normal, false, kHighlight, kShadow},  // no look of its own
      {9, true, button::Focused, false, kHighlight, kShadow},
      {7, true, button::Normal, false, kFace, kFace},  // edge only under the pointer
      {7, true, button::Focused, true, kHighlight, kShadow},
      {7, true, button::Hover, false, kHighlight, kShadow},
      {7, true, button::Pressed, false, kShadow, kHighlight},  // sunken, pointer or not
      {6, true, button::Pressed, true, kShadow, kHighlight},
      {6, false, button::Normal, true, kHighlight, kShadow},  // disabled keeps the edge
      {7, false, button::Normal, true, kShadow, kShadow},     // ... others get a flat frame
      {9, false, button::Normal, false, kShadow, kShadow},
  };
  for (const Row& row : rows) {
    Options o;
    o.type = row.type;
    o.enabled = row.enabled;
    Rig r(o);
    r.Draw(row.state, false, row.inside);
    const std::string where = "type " + std::to_string(row.type) + " state " +
                              std::to_string(row.state) + (row.enabled ? "" : " disabled");
    EXPECT_EQ(r.At(0, 0), row.top_left) << where;
    EXPECT_EQ(r.At(39, 19), row.bottom_right) << where;
    // Pressed draws the focus mark whatever HasFocus says.
    if (row.state != button::Pressed) {
      EXPECT_EQ(r.InteriorNotEqual(kFace), 0) << where;
    }
  }
}

TEST(ThinBevelLook, LatchedStatesDrawASunkenLightFaceAndAreRestored) {
  for (long type : {6, 7}) {
    Options o;
    o.type = type;
    o.option = o.value = true;
    Rig r(o);
    for (Long state = 0; state <= 4; ++state) {
      r.Draw(state);
      EXPECT_EQ(r.st().VisualState, state) << type;
      EXPECT_EQ(r.At(0, 0), kShadow) << type << "/" << state;
      EXPECT_EQ(r.At(39, 19), kHighlight) << type << "/" << state;
      EXPECT_EQ(r.InteriorNotEqual(kLight), 0) << type << "/" << state;
    }
  }
}

TEST(ThinBevelLook, CaptionColourFollowsTheState) {
  for (long type : {6, 7}) {
    Rig r(CaptionProbe(type));
    r.Draw(button::Normal);
    EXPECT_EQ(r.Underline(0), 0x112233u) << type;
    r.Draw(button::Hover, false, true);
    EXPECT_EQ(r.Underline(0), 0x0000FFu) << type;
    r.Draw(button::Pressed);
    EXPECT_EQ(r.Underline(1), 0x112233u) << type;

    Options option = CaptionProbe(type);
    option.option = option.value = true;
    Rig o(option);
    o.Draw(button::Hover, false, true);
    EXPECT_EQ(o.Underline(0), 0x112233u) << "a selected option keeps TextColor";

    Options disabled = CaptionProbe(type);
    disabled.enabled = false;
    Rig d(disabled);
    d.Draw(button::Normal);
    EXPECT_EQ(d.Underline(0), kShadow) << type;
  }
}

}  // namespace
}  // namespace vx::render

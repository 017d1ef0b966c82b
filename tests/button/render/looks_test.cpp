// The look table: a ninth look made of a renderer and one row, as a new look
// would be added, and what the pipeline hands every renderer.

#include <gtest/gtest.h>

#include <array>
#include <list>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "tests/support/button_rig.h"
#include "tests/support/surface_diff.h"

namespace vx::render {
namespace {

using button::CornerCut;
using button::Look;
using button::SelectedOption;
using Json = host::JsonPropertyBag::Json;

constexpr ColorRef kProbeFace = 0x0055AA33;

// What the probe renderer was last given.
struct Seen {
  Long type = -1;
  int w = 0;
  int h = 0;
  Long state = 0;
  bool enabled = false;
  bool focused = false;
  bool selected_option = false;
  bool backdrop_only = false;
  Long state_in_button = 0;  // VisualState as the button held it meanwhile
};
std::optional<Seen> g_seen;

// The ninth look's renderer: a flat face, then the focus mark and the caption
// the shared steps draw.
void RenderProbe(Painter& p, const LookInput& in) {
  g_seen = Seen{in.look.type,
                in.w,
                in.h,
                in.state,
                in.enabled,
                in.focused,
                in.selected_option,
                in.backdrop_only,
                in.st.VisualState};
  p.DrawRect(1, 1, in.w - 1, in.h - 1, static_cast<Color>(kProbeFace), kFalse);
  if (in.focused) p.DrawFocus();
  p.DrawCaption(in.st.TextColor, kNone, kNone);
}

constexpr button::LookTraits kProbeTraits{
    9, "Probe", true,           CornerCut::kTwoCornerPixels, button::kInsetFocus,
    1, false,   &button::IsSet, SelectedOption::kLatched};

// The button's own table with one more row.
template <std::size_t N>
constexpr std::array<Look, N + 1> WithRow(const std::array<Look, N>& table, Look row) {
  std::array<Look, N + 1> out{};
  for (std::size_t i = 0; i < N; ++i) out[i] = table[i];
  out[N] = row;
  return out;
}

constexpr auto kNineLooks = WithRow(button::kLooks, Look{kProbeTraits, &RenderProbe});
static_assert(button::RowsInTypeOrder(kNineLooks));

// A painter whose ninth row differs from kProbeTraits as `change` says. The
// tables live as long as the test program, as the button's own does.
template <typename Change>
std::shared_ptr<ButtonPainter> ProbePainter(Change change) {
  static std::list<std::array<Look, kNineLooks.size()>> tables;
  tables.push_back(kNineLooks);
  change(tables.back().back().traits);
  return std::make_shared<ButtonPainter>(tables.back());
}

struct ProbeRig : support::ButtonRig {
  explicit ProbeRig(
      std::shared_ptr<ButtonPainter> painter = std::make_shared<ButtonPainter>(kNineLooks),
      const Json& extra = Json::object())
      : ButtonRig(60, 24, false, std::move(painter)) {
    Json stored = {{"btype", 9}, {"tx", "&Probe"}, {"showf", true}};
    stored.update(extra);
    Restore(stored);
    g_seen.reset();
  }
};

// The pixels of the caption (text colour) on the surface.
std::set<std::pair<int, int>> CaptionPixels(const Surface& s, ColorRef text) {
  std::set<std::pair<int, int>> out;
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) {
      if (s.at(x, y) == text) out.insert({x, y});
    }
  }
  return out;
}

// The pixels the focus mark changes on an upright button.
std::set<std::pair<int, int>> FocusMarkPixels(ProbeRig& r) {
  const Surface plain = r.Draw({});
  const Surface& focused = r.Draw({.focus = true});
  std::set<std::pair<int, int>> out;
  for (int y = 0; y < plain.height(); ++y) {
    for (int x = 0; x < plain.width(); ++x) {
      if (plain.at(x, y) != focused.at(x, y)) out.insert({x, y});
    }
  }
  return out;
}

// Whether `pixels`, not empty, all lie on the one-pixel ring just inside `r`.
::testing::AssertionResult OnlyOnRing(const std::set<std::pair<int, int>>& pixels, gdi::Rect r) {
  if (pixels.empty()) return ::testing::AssertionFailure() << "no focus mark";
  for (auto [x, y] : pixels) {
    const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
    const bool edge = x == r.left || x == r.right - 1 || y == r.top || y == r.bottom - 1;
    if (!inside || !edge) {
      return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") off the ring";
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(LookTable, ANinthLookIsItsRendererAndOneRow) {
  ProbeRig r;
  r.Draw({.state = button::Hover});
  ASSERT_TRUE(g_seen.has_value()) << "ButtonType 9 did not reach the ninth row's renderer";
  EXPECT_EQ(g_seen->type, 9);
  EXPECT_EQ(g_seen->w, 60);
  EXPECT_EQ(g_seen->h, 24);
  EXPECT_EQ(g_seen->state, button::Hover);
  EXPECT_EQ(r.At(10, 3), kProbeFace);

  // The row's corner cut shapes the window: bottom-left and top-right out.
  const gdi::Region* region = ButtonRegionOf(r.b());
  ASSERT_NE(region, nullptr);
  const gdi::Mask mask = region->ToMask(60, 24);
  EXPECT_FALSE(mask.at(0, 23));
  EXPECT_FALSE(mask.at(59, 0));
  EXPECT_TRUE(mask.at(0, 0));
  EXPECT_TRUE(mask.at(59, 23));

  // The other rows are untouched: a Macintosh button draws as with the
  // button's own table.
  support::ButtonRig own(60, 24);
  ProbeRig mac(std::make_shared<ButtonPainter>(kNineLooks), Json{{"btype", 8}});
  own.Restore(Json{{"btype", 8}, {"tx", "&Probe"}, {"showf", true}});
  EXPECT_EQ(support::DiffSurfaces(mac.Draw({}), own.Draw({})), "");
  EXPECT_FALSE(g_seen.has_value());
}

TEST(LookTable, CornerCutFocusAndPressShiftComeFromTheRow) {
  // Rounded corners instead: three pixels out at each corner.
  ProbeRig rounded(ProbePainter([](button::LookTraits& t) { t.corners = CornerCut::kRounded; }));
  const gdi::Mask mask = ButtonRegionOf(rounded.b())->ToMask(60, 24);
  EXPECT_FALSE(mask.at(0, 0));
  EXPECT_FALSE(mask.at(1, 0));
  EXPECT_FALSE(mask.at(0, 1));
  EXPECT_TRUE(mask.at(1, 1));
  EXPECT_FALSE(mask.at(58, 23));

  // The inset focus mark rings the face 4 pixels in; the caption one rings
  // the caption.
  ProbeRig inset;
  const int w = 60;
  const int h = 24;
  EXPECT_TRUE(OnlyOnRing(FocusMarkPixels(inset), {4, 4, w - 4, h - 4}));
  ProbeRig ringed(ProbePainter([](button::LookTraits& t) { t.focus = button::kCaptionFocus; }));
  const button::RectL c = ringed.st().CaptionRect;
  EXPECT_TRUE(OnlyOnRing(FocusMarkPixels(ringed), {c.Left, c.Top, c.Right, c.Bottom}));

  // Pressed, the caption moves by the row's shift.
  const ColorRef text = static_cast<ColorRef>(inset.st().TextColor);
  ASSERT_NE(text, kProbeFace);
  const auto up = CaptionPixels(inset.Draw({}), text);
  ASSERT_FALSE(up.empty());
  for (Long shift : {0, 1, 3}) {
    ProbeRig pressed(
        ProbePainter([shift](button::LookTraits& t) { t.pressed_caption_shift = shift; }));
    std::set<std::pair<int, int>> moved;
    for (auto [x, y] : up) moved.insert({x + shift, y + shift});
    EXPECT_EQ(CaptionPixels(pressed.Draw({.state = button::Pressed}), text), moved) << shift;
  }
}

TEST(LookTable, HoverOnlyLooksShowTheContainerUntilHovered) {
  auto hover_only = [] { return ProbePainter([](button::LookTraits& t) { t.hover_only = true; }); };
  const Json custom = {{"coltype", 2}, {"bcol", 0x00C0C0C0}};
  ProbeRig r(hover_only(), custom);
  r.host.container().SetBackColor(0x00123456);
  EXPECT_EQ(r.Draw({}).at(0, 0), 0x00123456u);
  EXPECT_EQ(r.Draw({.state = button::Hover}).at(0, 0), 0x00C0C0C0u);
  ProbeRig plain(std::make_shared<ButtonPainter>(kNineLooks), custom);
  plain.host.container().SetBackColor(0x00123456);
  EXPECT_EQ(plain.Draw({}).at(0, 0), 0x00C0C0C0u);
}

TEST(LookInputs, FlagTestOfTheRowReadsEnabledAndHasFocus) {
  for (bool is_true_look : {false, true}) {
    ProbeRig r(ProbePainter([is_true_look](button::LookTraits& t) {
      t.flag_test = is_true_look ? &button::IsTrue : &button::IsSet;
    }));
    // 1 is neither True nor False: only a look testing IsSet takes it as set.
    r.st().Enabled = 1;
    r.st().VisualState = button::Normal;
    r.st().HasFocus = 1;
    r.b().DrawButton(kFalse);
    ASSERT_TRUE(g_seen.has_value());
    EXPECT_EQ(g_seen->enabled, !is_true_look);
    EXPECT_EQ(g_seen->focused, !is_true_look);
    r.st().Enabled = kTrue;
    r.Draw({.focus = true, .backdrop_only = true});
    EXPECT_TRUE(g_seen->focused);
    EXPECT_TRUE(g_seen->backdrop_only);
    EXPECT_FALSE(g_seen->enabled) << "a backdrop drawing is drawn disabled";
  }
}

TEST(LookInputs, SelectedOptionIsLatchedForTheCallOrPressedForGood) {
  const Json selected = {{"optmod", true}, {"optval", true}};
  ProbeRig latched(std::make_shared<ButtonPainter>(kNineLooks), selected);
  for (Long state = button::Normal; state <= button::Hover; ++state) {
    latched.Draw({.state = state});
    ASSERT_TRUE(g_seen.has_value());
    EXPECT_EQ(g_seen->state, ~state);
    EXPECT_EQ(g_seen->state_in_button, ~state);
    EXPECT_TRUE(g_seen->selected_option);
    EXPECT_EQ(latched.st().VisualState, state) << "the latch outlived the drawing";
  }

  ProbeRig pressed(
      ProbePainter([](button::LookTraits& t) { t.selected_option = SelectedOption::kPressed; }),
      selected);
  pressed.Draw({.state = button::Hover});
  EXPECT_EQ(g_seen->state, button::Pressed);
  EXPECT_TRUE(g_seen->selected_option);
  EXPECT_EQ(pressed.st().VisualState, button::Pressed);

  ProbeRig unselected(std::make_shared<ButtonPainter>(kNineLooks), Json{{"optmod", true}});
  unselected.Draw({.state = button::Focused});
  EXPECT_EQ(g_seen->state, button::Focused);
  EXPECT_FALSE(g_seen->selected_option);
}

TEST(LookInputs, ANegativeStateEndsAsItsComplementWhateverTheLatch) {
  // A state already negative is drawn by the latched branch and given back
  // as |state| - 1, as the looks always did.
  ProbeRig r;
  r.Draw({.state = -3});
  EXPECT_EQ(g_seen->state, -3);
  EXPECT_EQ(r.st().VisualState, 2);
}

}  // namespace
}  // namespace vx::render

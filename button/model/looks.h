#pragma once

// The button's looks, one row each, indexed by ButtonType: the renderer that
// draws the look and every fact about it that code outside that renderer
// needs. A new look is a renderer file and one more row; nothing else names
// looks.

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "button/model/types.h"

namespace vx::render {

class Painter;
struct LookInput;

// Draws one look over the background the pipeline has painted. The render
// library defines one per look, each in its own file.
using Renderer = void (*)(Painter&, const LookInput&);
void RenderOutlinedBevel(Painter& p, const LookInput& in);
void RenderClassic3D(Painter& p, const LookInput& in);
void RenderWindowsXP(Painter& p, const LookInput& in);
void RenderEtched(Painter& p, const LookInput& in);
void RenderSoftBevel(Painter& p, const LookInput& in);
void RenderThinBevel(Painter& p, const LookInput& in);
void RenderMacintosh(Painter& p, const LookInput& in);

}  // namespace vx::render

namespace vx::button {

// The pixels the window region of a rectangular button leaves out.
enum class CornerCut {
  kNone,
  kCornerPixels,    // the four corner pixels
  kRounded,         // at each corner two pixels along the edge and one beside them
  kTwoCornerPixels  // the bottom-left and top-right corner pixels
};

// Where the focus mark goes and its pen. On a segment-shaped button every
// look rings the caption.
struct FocusStyle {
  bool round_caption;  // ring the caption on a rectangular button too
  Color pen;
};
inline constexpr FocusStyle kInsetFocus{false, 0};            // 4 pixels inside the edges
inline constexpr FocusStyle kCaptionFocus{true, 0x00CC9999};  // round the caption, blue-grey

// How a selected option button (OptionButton and Value both set) is drawn.
enum class SelectedOption {
  kLatched,  // latched down for the call (OptionLatch)
  kPressed,  // simply pressed: VisualState becomes Pressed and stays so
};

// Everything about a look but its renderer: what the model and the shared
// drawing steps ask.
struct LookTraits {
  Long type;
  std::string_view name;
  bool supports_gradient;  // CustomGradient may be chosen
  CornerCut corners;
  FocusStyle focus;
  Long pressed_caption_shift;  // pixels right and down while Pressed
  // Shows its edge only under the pointer, and under CustomColors the
  // container's colour instead of its face while the pointer is away.
  bool hover_only;
  // How the renderer reads Enabled and HasFocus (IsSet or IsTrue, types.h).
  bool (*flag_test)(Bool16);
  SelectedOption selected_option;
};

struct Look {
  LookTraits traits;
  render::Renderer render;
};

// Rows in ButtonType order, from 1.
inline constexpr auto kLooks = std::to_array<Look>({
    {{OutlinedBevel, "OutlinedBevel", true, CornerCut::kCornerPixels, kInsetFocus, 1, false, &IsSet,
      SelectedOption::kLatched},
     &render::RenderOutlinedBevel},
    {{Classic3D, "Classic3D", true, CornerCut::kNone, kInsetFocus, 1, false, &IsSet,
      SelectedOption::kLatched},
     &render::RenderClassic3D},
    {{WindowsXP, "WindowsXP", false, CornerCut::kRounded, kInsetFocus, 1, false, &IsSet,
      SelectedOption::kLatched},
     &render::RenderWindowsXP},
    // The caption stays put when pressed; the face moves instead.
    {{Etched, "Etched", true, CornerCut::kTwoCornerPixels, kCaptionFocus, 0, false, &IsTrue,
      SelectedOption::kLatched},
     &render::RenderEtched},
    {{SoftBevel, "SoftBevel", true, CornerCut::kNone, kInsetFocus, 1, false, &IsSet,
      SelectedOption::kLatched},
     &render::RenderSoftBevel},
    {{ThinBevel, "ThinBevel", true, CornerCut::kNone, kInsetFocus, 1, false, &IsTrue,
      SelectedOption::kLatched},
     &render::RenderThinBevel},
    {{HoverBevel, "HoverBevel", true, CornerCut::kNone, kInsetFocus, 1, true, &IsTrue,
      SelectedOption::kLatched},
     &render::RenderThinBevel},
    {{Macintosh, "Macintosh", false, CornerCut::kRounded, kInsetFocus, 1, false, &IsTrue,
      SelectedOption::kPressed},
     &render::RenderMacintosh},
});

// Any other ButtonType (only a restored property set holds one) is drawn by
// the ThinBevel renderer, neither hover-only nor cut.
inline constexpr Look kOtherLook{
    {0, "", true, CornerCut::kNone, kInsetFocus, 1, false, &IsTrue, SelectedOption::kLatched},
    &render::RenderThinBevel};

using LookTable = std::span<const Look>;

// The row of `type` in `table`, whose row i is ButtonType i + 1.
constexpr const Look& LookIn(LookTable table, Long type) {
  if (type < 1 || static_cast<std::size_t>(type) > table.size()) return kOtherLook;
  return table[static_cast<std::size_t>(type - 1)];
}

constexpr bool RowsInTypeOrder(LookTable table) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i].traits.type != static_cast<Long>(i + 1)) return false;
  }
  return true;
}
static_assert(RowsInTypeOrder(kLooks), "row i of the look table is ButtonType i + 1");

// How many looks there are. A constant of its own, so that code asking it
// refers to no renderer, even unoptimised.
inline constexpr std::size_t kLookCount = kLooks.size();

namespace looks_detail {
// The traits alone, gathered at compile time. Code that draws nothing reads
// these, so it refers to no renderer and links without the render library.
inline constexpr auto kTraits = [] {
  std::array<LookTraits, kLookCount> traits{};
  for (std::size_t i = 0; i < kLookCount; ++i) traits[i] = kLooks[i].traits;
  return traits;
}();
inline constexpr LookTraits kOtherTraits = kOtherLook.traits;
}  // namespace looks_detail

// Whether `type` is one of the looks a ButtonType assignment accepts.
constexpr bool IsLook(Long type) {
  return type >= 1 && static_cast<std::size_t>(type) <= kLookCount;
}

// The facts of the look `type` draws with.
constexpr const LookTraits& LookFor(Long type) {
  if (!IsLook(type)) return looks_detail::kOtherTraits;
  return looks_detail::kTraits[static_cast<std::size_t>(type - 1)];
}

}  // namespace vx::button

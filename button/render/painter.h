#pragma once

// The drawing side of TorvelButton: the render pipeline, the primitives, the
// caption layout and caption drawing, the icon, the window region and one
// renderer per look. Painter carries one drawing call; its routines are spread
// over the files named beside them.

#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "button/model/looks.h"
#include "button/model/renderer.h"
#include "button/model/torvel_button.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/region.h"
#include "platform/text/font.h"

namespace vx::render {

using button::Bool16;
using button::Color;
using button::kFalse;
using button::kTrue;
using button::Long;

// A caption pass given this colour is not drawn.
inline constexpr Color kNone = -1;

// A drawing step could not go on (no surface, a style outside its range...).
// The pipeline catches it and resumes with its next step.
class RenderFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One caption line in one colour as DrawCaption wrote it, kept aside so
// that a screen with more device pixels than the surface writes it again at
// its own resolution (see device_picture.h).
struct CaptionText {
  text::LogFont font;  // as selected; its height is for the surface's screen
  double points = 0;   // the caption font's size
  double twips_per_pixel_y = 15;
  int x = 0;  // the text origin on the surface
  int y = 0;
  std::string text;
  ColorRef color = 0;
};

// What a button's drawing keeps from one call to the next: the device
// context of its surface (whatever pen a primitive selected stays selected),
// the font selected into it, the graphics mode and the icon buffer.
struct PainterState {
  button::LookTable looks = button::kLooks;  // the looks ButtonType picks from
  Surface* dc_surface = nullptr;             // the surface `dc` was made for
  std::optional<gdi::Dc> dc;
  text::Font selected_font;  // the font selected into `dc`
  Long graphics_mode = 1;    // compatible mode
  Surface pic_icon;          // the prepared disabled icon (picIcon)
  // When set, each drawing writes its caption text here instead of onto the
  // surface (the list starts empty with every drawing).
  std::vector<CaptionText>* caption_out = nullptr;
};

// One drawing call on one button.
class Painter {
 public:
  Painter(button::TorvelButton& button, PainterState& state);

  button::TorvelButton& button() { return button_; }
  button::ButtonState& s() { return button_.state(); }
  const host::ControlSite& site() const { return button_.site(); }
  PainterState& ps() { return ps_; }
  // The look the button's ButtonType picks.
  const button::Look& look() const { return button::LookIn(ps_.looks, button_.state().ButtonType); }

  // The button's surface and its device context; RenderFailure when the host
  // has no surface to give.
  Surface& surface();
  gdi::Dc& dc();
  // ScaleWidth and ScaleHeight rounded to whole pixels, halves to even.
  int W() const { return RoundHalfEven(site().surface->ScaleWidth()); }
  int H() const { return RoundHalfEven(site().surface->ScaleHeight()); }
  static int RoundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

  // Selects a new solid pen of `color`, deleting the displaced one.
  void SelectNewPen(Color color);
  // Selects `font` into the device context and returns the one it displaces.
  text::Font SelectFont(text::Font font);

  // pipeline.cpp
  void DrawButton(Bool16 backdrop_only);
  void DrawGradient();
  // Gathers the look's input and runs its renderer.
  void Render(Bool16 backdrop_only);

  // primitives.cpp. `target` of DrawRect: nullptr means the button's own
  // surface, and is then set to it.
  void DrawPixel(Long x, Long y, Color color);
  void DrawLine(Long x1, Long y1, Long x2, Long y2, Color color);
  void DrawRect(Long left, Long top, Long right, Long bottom, Color color, Bool16 frame_only,
                Surface*& target);
  void DrawRect(Long left, Long top, Long right, Long bottom, Color color, Bool16 frame_only) {
    Surface* own = nullptr;
    DrawRect(left, top, right, bottom, color, frame_only, own);
  }
  void DrawBorderLines(Color outer_top_left, Color outer_bottom_right, Color inner_top_left,
                       Color inner_bottom_right, std::int16_t inset, Bool16 outer_only);
  void DrawFocus();

  // caption_layout.cpp
  void CalculateLayout();
  // What DrawTextA with DT_CALCRECT | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX
  // gives with the font selected now.
  text::TextExtent MeasureText(std::string_view text);

  // caption_font.cpp
  void CreateCaptionFont(Bool16 recalculate);
  // Selects PreviousFont back and deletes CaptionFontHandle.
  void ReleaseCaptionFont();
  void DrawCaption(Color main_color, Color lower_right_color, Color upper_left_color);

  // icon.cpp
  void PrepareIcon();
  // The icon at (x, y): the picture when enabled, the prepared buffer when not.
  void DrawIcon(Long x, Long y);

  // region.cpp: builds ButtonRegion (a gdi::Region in the state's std::any).
  void CreateButtonRegion();
  // Hands ButtonRegion to the window.
  void ApplyWindowRegion();

 private:
  button::TorvelButton& button_;
  PainterState& ps_;
};

// Latches a selected option button (OptionButton and Value both set) for
// one renderer call: VisualState becomes its bitwise complement (-1 .. -5).
// Every negative state is drawn by the look's latched branch, after which
// Render calls Unlatch; the complement is its own inverse and equals
// |state| - 1 for a negative state without overflowing. If the look stops
// before that (a failure, or a state whose complement is not negative), the
// latch gives the state back when it ends. Used by every look whose
// SelectedOption is kLatched.
class OptionLatch {
 public:
  explicit OptionLatch(button::ButtonState& st)
      : st_(st), latched_(st.OptionButton != kFalse && st.Value != kFalse) {
    if (latched_) st_.VisualState = ~st_.VisualState;
  }
  ~OptionLatch() {
    if (latched_) st_.VisualState = ~st_.VisualState;
  }
  OptionLatch(const OptionLatch&) = delete;
  OptionLatch& operator=(const OptionLatch&) = delete;

  bool latched() const { return latched_; }
  // Restores a negative state to |state| - 1, latched here or not.
  void Unlatch() {
    st_.VisualState = ~st_.VisualState;
    latched_ = false;
  }

 private:
  button::ButtonState& st_;
  bool latched_;
};

// What a renderer draws from, gathered once per drawing by Painter::Render.
struct LookInput {
  const button::ButtonState& st;   // the working colours and the other fields
  const button::LookTraits& look;  // the look's own row
  int w;                           // the client size in whole pixels
  int h;
  Long state;            // VisualState, negative while latched
  bool up;               // Normal, Backdrop, Focused or Hover: the states drawn up
  bool enabled;          // Enabled, read by the look's flag test
  bool focused;          // HasFocus, likewise
  bool selected_option;  // latched or pressed as a selected option button
  bool backdrop_only;    // draw without caption
};

// The renderer installed on each button: keeps the button's PainterState and
// runs a Painter per call.
class ButtonPainter final : public button::ButtonRenderer {
 public:
  // `looks`: the table ButtonType picks the look from.
  explicit ButtonPainter(button::LookTable looks = button::kLooks) { state_.looks = looks; }
  void DrawButton(button::TorvelButton& button, Bool16 backdrop_only) override;
  void CalculateLayout(button::TorvelButton& button) override;
  void PrepareIcon(button::TorvelButton& button) override;
  void ApplyWindowRegion(button::TorvelButton& button) override;

  PainterState& state() { return state_; }

 private:
  PainterState state_;
};

// The window region most recently built for `button`, if any.
const gdi::Region* ButtonRegionOf(const button::TorvelButton& button);

// caption_layout.cpp: the width and height at which `button`'s caption
// stays on one line, with its icon and a small margin.
std::pair<int, int> CaptionSizeHint(button::TorvelButton& button);

// caption_font.cpp: lfHeight for a font of `points` on a screen of
// `twips_per_pixel_y` (negative: a character height in pixels).
std::int32_t CaptionFontHeight(double points, double twips_per_pixel_y);

// The text library's smoothing for the button's CaptionSmoothing; a value
// outside the range (only from a restored set) draws as Full did.
text::Smoothing CaptionSmoothingOf(const button::ButtonState& st);

}  // namespace vx::render

#include "button/render/painter.h"

namespace vx::render {

// Type 5: a double bevel of a lightened LightColor and ShadowColor, without
// the dark-shadow line.
void Painter::RenderSoftBevel(Bool16 backdrop_only) {
  button::ButtonState& st = s();
  OptionLatch latch(st);
  const int w = W();
  const int h = H();
  const bool enabled = st.Enabled != kFalse;
  const Long state = st.VisualState;
  const Color soft_light = button::ShiftColor(st.LightColor, 8);
  auto raised_bevel = [&] {
    DrawBorderLines(soft_light, st.ShadowColor, soft_light, st.ShadowColor, 0, kFalse);
  };
  auto sunken_bevel = [&] {
    DrawBorderLines(st.ShadowColor, soft_light, st.ShadowColor, soft_light, 0, kFalse);
  };

  if (state == button::Normal || state == button::Backdrop || state == button::Focused ||
      state == button::Hover) {
    // The caption comes before the bevel in this look.
    if (enabled) {
      DrawCaption(state == button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
      raised_bevel();
      if (st.HasFocus != kFalse) DrawFocus();
    } else {
      if (backdrop_only == kFalse) DrawCaption(st.ShadowColor, -1, -1);
      raised_bevel();
    }
  } else if (state == button::Pressed) {
    DrawRect(0, 0, w - 1, h - 1, button::ShiftColor(st.ShadowColor, -26), kTrue);
    DrawCaption(st.TextColor, -1, -1);
    DrawFocus();
    sunken_bevel();
  } else if (state < 0) {
    DrawRect(0, 0, w, h, st.LightColor, kFalse);
    sunken_bevel();
    if (enabled) {
      // A latched button keeps TextColor even while hovered.
      DrawCaption(st.TextColor, -1, -1);
      if (st.HasFocus != kFalse) DrawFocus();
    } else if (backdrop_only == kFalse) {
      DrawCaption(st.ShadowColor, -1, -1);
    }
    latch.Unlatch();
  }
  // Any other state draws nothing.
}

}  // namespace vx::render

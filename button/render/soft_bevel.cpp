#include "button/render/painter.h"

namespace vx::render {

// Type 5: a double bevel of a lightened LightColor and ShadowColor, without
// the dark-shadow line.
void RenderSoftBevel(Painter& p, const LookInput& in) {
  const button::ButtonState& st = in.st;
  const Color soft_light = button::ShiftColor(st.LightColor, 8);
  auto raised_bevel = [&] {
    p.DrawBorderLines(soft_light, st.ShadowColor, soft_light, st.ShadowColor, 0, kFalse);
  };
  auto sunken_bevel = [&] {
    p.DrawBorderLines(st.ShadowColor, soft_light, st.ShadowColor, soft_light, 0, kFalse);
  };

  if (in.up) {
    // The caption comes before the bevel in this look.
    if (in.enabled) {
      p.DrawCaption(in.state == button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
      raised_bevel();
      if (in.focused) p.DrawFocus();
    } else {
      if (!in.backdrop_only) p.DrawCaption(st.ShadowColor, -1, -1);
      raised_bevel();
    }
  } else if (in.state == button::Pressed) {
    p.DrawRect(0, 0, in.w - 1, in.h - 1, button::ShiftColor(st.ShadowColor, -26), kTrue);
    p.DrawCaption(st.TextColor, -1, -1);
    p.DrawFocus();
    sunken_bevel();
  } else if (in.state < 0) {
    p.DrawRect(0, 0, in.w, in.h, st.LightColor, kFalse);
    sunken_bevel();
    if (in.enabled) {
      // A latched button keeps TextColor even while hovered.
      p.DrawCaption(st.TextColor, -1, -1);
      if (in.focused) p.DrawFocus();
    } else if (!in.backdrop_only) {
      p.DrawCaption(st.ShadowColor, -1, -1);
    }
  }
  // Any other in.state draws nothing.
}

}  // namespace vx::render

#include "button/render/painter.h"

namespace vx::render {

// Type 1: a double bevel one pixel inside a dark outline round the control.
void RenderOutlinedBevel(Painter& p, const LookInput& in) {
  const button::ButtonState& st = in.st;

  if (in.up) {
    p.DrawBorderLines(st.HighlightColor, st.ShadowColor, st.HighlightColor, st.ShadowColor, 1,
                      kFalse);
    p.DrawRect(0, 0, in.w, in.h, st.DarkShadowColor, kTrue);
    if (in.enabled) {
      p.DrawCaption(in.state == button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
      if (in.focused) p.DrawFocus();
    } else if (!in.backdrop_only) {
      p.DrawCaption(st.ShadowColor, st.HighlightColor, -1);
    }
  } else if (in.state == button::Pressed) {
    p.DrawBorderLines(st.ShadowColor, st.HighlightColor, st.ShadowColor, st.HighlightColor, 1,
                      kFalse);
    p.DrawRect(0, 0, in.w, in.h, st.DarkShadowColor, kTrue);
    // The pressed look always shows the focus mark (ShowFocus still rules).
    p.DrawFocus();
    p.DrawCaption(st.TextColor, -1, -1);
  } else if (in.state < 0) {
    // Latched down: a light face, sunken bevel, no dark outline.
    p.DrawRect(0, 0, in.w, in.h, st.LightColor, kFalse);
    p.DrawBorderLines(st.ShadowColor, st.HighlightColor, st.ShadowColor, st.HighlightColor, 0,
                      kFalse);
    if (in.enabled) {
      if (in.focused || in.state == ~button::Pressed) p.DrawFocus();
      p.DrawCaption(in.state == ~button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
    } else if (!in.backdrop_only) {
      p.DrawCaption(st.ShadowColor, st.HighlightColor, -1);
    }
  }
  // Any other in.state draws nothing.
}

}  // namespace vx::render

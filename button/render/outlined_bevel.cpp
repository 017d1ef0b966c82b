#include "button/render/painter.h"

namespace vx::render {

// Type 1: a double bevel one pixel inside a dark outline round the control.
void Painter::RenderOutlinedBevel(Bool16 backdrop_only) {
  button::ButtonState& st = s();
  OptionLatch latch(st);
  const int w = W();
  const int h = H();
  const bool enabled = st.Enabled != kFalse;
  const Long state = st.VisualState;

  if (state == button::Normal || state == button::Backdrop || state == button::Focused ||
      state == button::Hover) {
    DrawBorderLines(st.HighlightColor, st.ShadowColor, st.HighlightColor, st.ShadowColor, 1,
                    kFalse);
    DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);
    if (enabled) {
      DrawCaption(state == button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
      if (st.HasFocus != kFalse) DrawFocus();
    } else if (backdrop_only == kFalse) {
      DrawCaption(st.ShadowColor, st.HighlightColor, -1);
    }
  } else if (state == button::Pressed) {
    DrawBorderLines(st.ShadowColor, st.HighlightColor, st.ShadowColor, st.HighlightColor, 1,
                    kFalse);
    DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);
    // The pressed look always shows the focus mark (ShowFocus still rules).
    DrawFocus();
    DrawCaption(st.TextColor, -1, -1);
  } else if (state < 0) {
    // Latched down: a light face, sunken bevel, no dark outline.
    DrawRect(0, 0, w, h, st.LightColor, kFalse);
    DrawBorderLines(st.ShadowColor, st.HighlightColor, st.ShadowColor, st.HighlightColor, 0,
                    kFalse);
    if (enabled) {
      if (st.HasFocus != kFalse || state == ~button::Pressed) DrawFocus();
      DrawCaption(state == ~button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
    } else if (backdrop_only == kFalse) {
      DrawCaption(st.ShadowColor, st.HighlightColor, -1);
    }
    latch.Unlatch();
  }
  // Any other state draws nothing.
}

}  // namespace vx::render

#include "button/render/painter.h"

namespace vx::render {

// Type 2, the default: the classic raised double bevel.
void Painter::RenderClassic3D(Bool16 backdrop_only) {
  button::ButtonState& st = s();
  OptionLatch latch(st);
  const int w = W();
  const int h = H();
  const bool enabled = st.Enabled != kFalse;
  const Long state = st.VisualState;

  if (state == button::Normal || state == button::Backdrop || state == button::Focused ||
      state == button::Hover) {
    DrawBorderLines(st.HighlightColor, st.DarkShadowColor, st.LightColor, st.ShadowColor, 1,
                    kFalse);
    if (enabled) {
      if (st.HasFocus != kFalse) {
        DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);
        DrawFocus();
      }
      DrawCaption(state == button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
    } else if (backdrop_only == kFalse) {
      // A disabled option button greys its caption without the highlight copy.
      if (st.OptionButton == kFalse) {
        DrawCaption(st.ShadowColor, st.HighlightColor, -1);
      } else {
        DrawCaption(st.ShadowColor, -1, -1);
      }
    }
  } else if (state == button::Pressed) {
    DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);
    DrawRect(1, 1, w - 1, h - 1, st.ShadowColor, kTrue);
    DrawFocus();
    DrawCaption(st.TextColor, -1, -1);
  } else if (state < 0) {
    DrawRect(0, 0, w, h, st.LightColor, kFalse);
    DrawBorderLines(st.DarkShadowColor, st.HighlightColor, st.ShadowColor, st.LightColor, 0,
                    kFalse);
    if (enabled) {
      if (st.HasFocus != kFalse || state == ~button::Pressed) DrawFocus();
      DrawCaption(state == ~button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
    } else if (backdrop_only == kFalse) {
      DrawCaption(st.ShadowColor, -1, -1);
    }
    latch.Unlatch();
  }
  // Any other state draws nothing.
}

}  // namespace vx::render

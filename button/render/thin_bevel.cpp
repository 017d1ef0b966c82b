#include "button/render/painter.h"

namespace vx::render {

void Painter::RenderThinBevel(Bool16 backdrop_only) {
  button::ButtonState& st = s();
  const int w = W();
  const int h = H();
  const bool enabled = st.Enabled == kTrue;

  // A selected option button is drawn latched down.
  OptionLatch latch(st);
  const Long state = st.VisualState;

  // One-pixel edges; the inner colours are not drawn.
  auto raised_edge = [&] { DrawBorderLines(st.HighlightColor, st.ShadowColor, 0, 0, 0, kTrue); };
  auto sunken_edge = [&] { DrawBorderLines(st.ShadowColor, st.HighlightColor, 0, 0, 0, kTrue); };
  auto disabled_caption = [&] { DrawCaption(st.ShadowColor, st.HighlightColor, kNone); };

  switch (state) {
    case button::Normal:
    case button::Backdrop:
    case button::Focused:
    case button::Hover:
      if (enabled) {
        DrawCaption(state == button::Hover ? st.HoverTextColor : st.TextColor, kNone, kNone);
        // The hover-only look shows its edge only under the pointer.
        const bool edge_hidden = st.ButtonType == button::HoverBevel && st.MouseInside == kFalse &&
                                 state != button::Hover;
        if (!edge_hidden) raised_edge();
        if (st.HasFocus == kTrue) DrawFocus();
      } else {
        if (backdrop_only == kFalse) disabled_caption();
        if (st.ButtonType == button::ThinBevel) {
          raised_edge();
        } else {
          DrawRect(0, 0, w, h, st.ShadowColor, kTrue);
        }
      }
      return;

    case button::Pressed:
      DrawCaption(st.TextColor, kNone, kNone);
      DrawFocus();
      sunken_edge();
      return;

    default:
      break;
  }
  if (state >= 0) return;  // no look of its own

  // Latched down: a light face with a one-pixel sunken edge.
  DrawRect(0, 0, w, h, st.LightColor, kFalse);
  sunken_edge();
  if (enabled) {
    DrawCaption(st.TextColor, kNone, kNone);
    if (st.HasFocus == kTrue) DrawFocus();
  } else if (backdrop_only == kFalse) {
    disabled_caption();
  }
  latch.Unlatch();
}

}  // namespace vx::render

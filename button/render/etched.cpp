#include "button/render/painter.h"

namespace vx::render {

void Painter::RenderEtched(Bool16 backdrop_only) {
  button::ButtonState& st = s();
  const int w = W();
  const int h = H();
  const bool enabled = st.Enabled == kTrue;

  // A selected option button is drawn latched down.
  OptionLatch latch(st);
  const Long state = st.VisualState;

  auto frame_color = [&] { return button::ShiftColor(st.ShadowColor, -26); };
  auto etched_face = [&] {
    DrawRect(1, 1, w - 1, h - 1, button::ShiftColor(st.FaceColor, 12), kFalse);
    DrawRect(1, 1, w - 1, h - 1, st.HighlightColor, kTrue);
    // Its right and bottom lines cover the highlight's, leaving the highlight
    // only along the top and left.
    DrawRect(0, 0, w - 1, h - 1, frame_color(), kTrue);
    if (st.ButtonStyle != button::Rectangular) {
      const Color corner = button::ShiftColor(st.ShadowColor, 26);
      DrawPixel(1, h - 2, corner);
      DrawPixel(w - 2, 1, corner);
    }
  };

  switch (state) {
    case button::Normal:
    case button::Backdrop:
    case button::Focused:
    case button::Hover:
      if (enabled) {
        etched_face();
        if (st.HasFocus == kTrue) DrawFocus();
        DrawCaption(state == button::Hover ? st.HoverTextColor : st.TextColor, kNone, kNone);
      } else {
        if (st.OptionButton == kTrue) {
          etched_face();
        } else {
          DrawRect(0, 0, w, h, st.ShadowColor, kTrue);
        }
        if (backdrop_only == kFalse) DrawCaption(st.ShadowColor, kNone, kNone);
      }
      return;

    case button::Pressed:
      DrawRect(1, 1, w - 2, h - 2, button::ShiftColor(st.ShadowColor, 16), kFalse);
      DrawCaption(st.TextColor, kNone, kNone);
      // Drawn whatever HasFocus says; the frame below does not reach the
      // caption rectangle it rings.
      DrawFocus();
      DrawRect(0, 0, w - 1, h - 1, frame_color(), kTrue);
      return;

    default:
      break;
  }
  if (state >= 0) return;  // no look of its own

  // Latched down: a light face with a one-pixel sunken edge.
  DrawRect(0, 0, w, h, button::ShiftColor(st.LightColor, 2), kFalse);
  DrawBorderLines(st.ShadowColor, st.HighlightColor, 0, 0, 0, kTrue);
  if (enabled) {
    DrawCaption(state == -5 ? st.HoverTextColor : st.TextColor, kNone, kNone);
    if (st.HasFocus == kTrue) DrawFocus();
  } else if (backdrop_only == kFalse) {
    DrawCaption(st.ShadowColor, kNone, kNone);
  }
  latch.Unlatch();
}

}  // namespace vx::render

#include "button/render/painter.h"

namespace vx::render {

// Type 4: a face etched into the surface, with a one-pixel highlight along
// the top and left.
void RenderEtched(Painter& p, const LookInput& in) {
  const button::ButtonState& st = in.st;
  const int w = in.w;
  const int h = in.h;

  auto frame_color = [&] { return button::ShiftColor(st.ShadowColor, -26); };
  auto etched_face = [&] {
    p.DrawRect(1, 1, w - 1, h - 1, button::ShiftColor(st.FaceColor, 12), kFalse);
    p.DrawRect(1, 1, w - 1, h - 1, st.HighlightColor, kTrue);
    // Its right and bottom lines cover the highlight's, leaving the highlight
    // only along the top and left.
    p.DrawRect(0, 0, w - 1, h - 1, frame_color(), kTrue);
    if (st.ButtonStyle != button::Rectangular) {
      const Color corner = button::ShiftColor(st.ShadowColor, 26);
      p.DrawPixel(1, h - 2, corner);
      p.DrawPixel(w - 2, 1, corner);
    }
  };

  if (in.up) {
    if (in.enabled) {
      etched_face();
      if (in.focused) p.DrawFocus();
      p.DrawCaption(in.state == button::Hover ? st.HoverTextColor : st.TextColor, kNone, kNone);
    } else {
      if (st.OptionButton == kTrue) {
        etched_face();
      } else {
        p.DrawRect(0, 0, w, h, st.ShadowColor, kTrue);
      }
      if (!in.backdrop_only) p.DrawCaption(st.ShadowColor, kNone, kNone);
    }
    return;
  }
  if (in.state == button::Pressed) {
    p.DrawRect(1, 1, w - 2, h - 2, button::ShiftColor(st.ShadowColor, 16), kFalse);
    p.DrawCaption(st.TextColor, kNone, kNone);
    // Drawn whatever HasFocus says; the frame below does not reach the
    // caption rectangle it rings.
    p.DrawFocus();
    p.DrawRect(0, 0, w - 1, h - 1, frame_color(), kTrue);
    return;
  }
  if (in.state >= 0) return;  // no look of its own

  // Latched down: a light face with a one-pixel sunken edge.
  p.DrawRect(0, 0, w, h, button::ShiftColor(st.LightColor, 2), kFalse);
  p.DrawBorderLines(st.ShadowColor, st.HighlightColor, 0, 0, 0, kTrue);
  if (in.enabled) {
    p.DrawCaption(in.state == ~button::Hover ? st.HoverTextColor : st.TextColor, kNone, kNone);
    if (in.focused) p.DrawFocus();
  } else if (!in.backdrop_only) {
    p.DrawCaption(st.ShadowColor, kNone, kNone);
  }
}

}  // namespace vx::render

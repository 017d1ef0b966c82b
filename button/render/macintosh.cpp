#include "button/render/painter.h"

namespace vx::render {

// Type 8: a light face in a dark outline with rounded corners and a soft
// inner bevel; pressed, a flat shaded face. A selected option button is drawn
// simply pressed (SelectedOption::kPressed).
void RenderMacintosh(Painter& p, const LookInput& in) {
  const button::ButtonState& st = in.st;
  const int w = in.w;
  const int h = in.h;
  const bool rectangular = st.ButtonStyle == button::Rectangular;

  auto shadow = [&](Long offset) { return button::ShiftColor(st.ShadowColor, offset); };
  auto disabled_caption = [&] { p.DrawCaption(st.ShadowColor, st.HighlightColor, kNone); };

  // The rounded corners and the soft inner bevel of the up looks.
  auto corner_detail = [&] {
    p.DrawPixel(1, 1, st.DarkShadowColor);
    p.DrawPixel(1, h - 2, st.DarkShadowColor);
    p.DrawPixel(w - 2, 1, st.DarkShadowColor);
    p.DrawPixel(w - 2, h - 2, st.DarkShadowColor);
    p.DrawPixel(1, 2, st.FaceColor);
    p.DrawPixel(2, 1, st.FaceColor);
    p.DrawPixel(3, 3, st.HighlightColor);
    p.DrawPixel(w - 4, h - 4, st.FaceColor);
    p.DrawPixel(w - 3, h - 3, st.ShadowColor);
    p.DrawPixel(2, h - 2, st.FaceColor);
    p.DrawPixel(2, h - 3, st.LightColor);
    p.DrawPixel(w - 2, 2, st.FaceColor);
    p.DrawPixel(w - 3, 2, st.LightColor);
  };
  auto bevel_lines = [&] {
    p.DrawLine(3, 2, w - 3, 2, st.HighlightColor);
    p.DrawLine(2, 2, 2, h - 3, st.HighlightColor);
    p.DrawLine(w - 3, 1, w - 3, h - 3, st.FaceColor);
    p.DrawLine(1, h - 3, w - 3, h - 3, st.FaceColor);
    p.DrawLine(w - 2, 3, w - 2, h - 2, st.ShadowColor);
    p.DrawLine(3, h - 2, w - 2, h - 2, st.ShadowColor);
  };

  if (in.up) {
    if (in.enabled) {
      p.DrawRect(1, 1, w - 1, h - 1, st.LightColor, kFalse);
      p.DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);
      if (rectangular) {
        corner_detail();
        bevel_lines();
      }
      p.DrawCaption(in.state == button::Hover ? st.HoverTextColor : st.TextColor, kNone, kNone);
      if (in.focused) p.DrawFocus();
    } else {
      p.DrawRect(1, 1, w - 2, h - 2, st.LightColor, kFalse);
      p.DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);
      if (rectangular) corner_detail();
      bevel_lines();
      if (!rectangular) {
        // The lines above do not follow a slanted outline: face and
        // outline are painted again over them.
        p.DrawRect(1, 1, w - 2, h - 2, st.LightColor, kFalse);
        p.DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);
      }
      if (!in.backdrop_only) disabled_caption();
    }
    return;
  }
  if (in.state != button::Pressed) return;  // no look of its own

  if (rectangular) {
    p.DrawPixel(2, 2, shadow(-64));
    p.DrawPixel(3, 3, shadow(-32));
    p.DrawPixel(1, 1, st.DarkShadowColor);
    p.DrawPixel(1, h - 2, st.DarkShadowColor);
    p.DrawPixel(w - 2, 1, st.DarkShadowColor);
    p.DrawPixel(w - 2, h - 2, st.DarkShadowColor);
    p.DrawPixel(w - 4, h - 4, st.ShadowColor);
    p.DrawPixel(w - 2, h - 3, shadow(-32));
    p.DrawPixel(w - 3, h - 2, shadow(-32));
    p.DrawPixel(2, h - 2, shadow(-32));
    p.DrawPixel(2, h - 3, shadow(-16));
    p.DrawPixel(1, h - 3, shadow(-16));
    p.DrawPixel(w - 2, 2, shadow(-32));
    p.DrawPixel(w - 3, 2, shadow(-16));
    p.DrawPixel(w - 3, 1, shadow(-16));
    p.DrawRect(1, 1, w - 2, h - 2, shadow(-64), kTrue);
    p.DrawRect(2, 2, w - 4, h - 4, shadow(-32), kTrue);
  }
  p.DrawLine(w - 3, 1, w - 3, h - 3, st.ShadowColor);
  p.DrawLine(1, h - 3, w - 2, h - 3, st.ShadowColor);
  p.DrawLine(w - 2, 3, w - 2, h - 2, shadow(-16));
  p.DrawLine(2, h - 1, w - 2, h - 1, shadow(-16));
  p.DrawFocus();
  // The flat pressed face covers most of the above, the focus mark included.
  p.DrawRect(1, 1, w - 2, h - 2, shadow(-16), kFalse);
  p.DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);

  if (!in.enabled) {
    p.DrawCaption(st.LightColor, kNone, kNone);
  } else if (in.selected_option) {
    p.DrawCaption(in.state == button::Hover ? st.HoverTextColor : st.LightColor, kNone, kNone);
    if (in.focused) p.DrawFocus();
  } else {
    disabled_caption();
  }
}

}  // namespace vx::render

#include "button/render/painter.h"

namespace vx::render {

// Type 2, the default: the classic raised double bevel.
void RenderClassic3D(Painter& p, const LookInput& in) {
  const button::ButtonState& st = in.st;

  if (in.up) {
    p.DrawBorderLines(st.HighlightColor, st.DarkShadowColor, st.LightColor, st.ShadowColor, 1,
                      kFalse);
    if (in.enabled) {
      if (in.focused) {
        p.DrawRect(0, 0, in.w, in.h, st.DarkShadowColor, kTrue);
        p.DrawFocus();
      }
      p.DrawCaption(in.state == button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
    } else if (!in.backdrop_only) {
      // A disabled option button greys its caption without the highlight copy.
      if (st.OptionButton == kFalse) {
        p.DrawCaption(st.ShadowColor, st.HighlightColor, -1);
      } else {
        p.DrawCaption(st.ShadowColor, -1, -1);
      }
    }
  } else if (in.state == button::Pressed) {
    p.DrawRect(0, 0, in.w, in.h, st.DarkShadowColor, kTrue);
    p.DrawRect(1, 1, in.w - 1, in.h - 1, st.ShadowColor, kTrue);
    p.DrawFocus();
    p.DrawCaption(st.TextColor, -1, -1);
  } else if (in.state < 0) {
    p.DrawRect(0, 0, in.w, in.h, st.LightColor, kFalse);
    p.DrawBorderLines(st.DarkShadowColor, st.HighlightColor, st.ShadowColor, st.LightColor, 0,
                      kFalse);
    if (in.enabled) {
      if (in.focused || in.state == ~button::Pressed) p.DrawFocus();
      p.DrawCaption(in.state == ~button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
    } else if (!in.backdrop_only) {
      p.DrawCaption(st.ShadowColor, -1, -1);
    }
  }
  // Any other in.state draws nothing.
}

}  // namespace vx::render

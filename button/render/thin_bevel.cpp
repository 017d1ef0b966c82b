#include "button/render/painter.h"

namespace vx::render {

// Types 6 and 7, and any type without a look of its own: a one-pixel edge,
// which the hover-only look shows only under the pointer.
void RenderThinBevel(Painter& p, const LookInput& in) {
  const button::ButtonState& st = in.st;

  // One-pixel edges; the inner colours are not drawn.
  auto raised_edge = [&] { p.DrawBorderLines(st.HighlightColor, st.ShadowColor, 0, 0, 0, kTrue); };
  auto sunken_edge = [&] { p.DrawBorderLines(st.ShadowColor, st.HighlightColor, 0, 0, 0, kTrue); };
  auto disabled_caption = [&] { p.DrawCaption(st.ShadowColor, st.HighlightColor, kNone); };

  if (in.up) {
    if (in.enabled) {
      p.DrawCaption(in.state == button::Hover ? st.HoverTextColor : st.TextColor, kNone, kNone);
      const bool edge_hidden =
          in.look.hover_only && st.MouseInside == kFalse && in.state != button::Hover;
      if (!edge_hidden) raised_edge();
      if (in.focused) p.DrawFocus();
    } else {
      if (!in.backdrop_only) disabled_caption();
      if (st.ButtonType == button::ThinBevel) {
        raised_edge();
      } else {
        p.DrawRect(0, 0, in.w, in.h, st.ShadowColor, kTrue);
      }
    }
    return;
  }
  if (in.state == button::Pressed) {
    p.DrawCaption(st.TextColor, kNone, kNone);
    p.DrawFocus();
    sunken_edge();
    return;
  }
  if (in.state >= 0) return;  // no look of its own

  // Latched down: a light face with a one-pixel sunken edge.
  p.DrawRect(0, 0, in.w, in.h, st.LightColor, kFalse);
  sunken_edge();
  if (in.enabled) {
    p.DrawCaption(st.TextColor, kNone, kNone);
    if (in.focused) p.DrawFocus();
  } else if (!in.backdrop_only) {
    disabled_caption();
  }
}

}  // namespace vx::render

#include "button/render/painter.h"

namespace vx::render {

void Painter::RenderMacintosh(Bool16 backdrop_only) {
  button::ButtonState& st = s();
  const int w = W();
  const int h = H();
  const bool enabled = st.Enabled == kTrue;
  const bool rectangular = st.ButtonStyle == button::Rectangular;
  const bool selected_option = st.OptionButton == kTrue && st.Value == kTrue;

  // This look shows a selected option button simply pressed, and the state
  // stays pressed after the call.
  if (selected_option) st.VisualState = button::Pressed;
  const Long state = st.VisualState;

  auto shadow = [&](Long offset) { return button::ShiftColor(st.ShadowColor, offset); };
  auto disabled_caption = [&] { DrawCaption(st.ShadowColor, st.HighlightColor, kNone); };

  // The rounded corners and the soft inner bevel of the up looks.
  auto corner_detail = [&] {
    DrawPixel(1, 1, st.DarkShadowColor);
    DrawPixel(1, h - 2, st.DarkShadowColor);
    DrawPixel(w - 2, 1, st.DarkShadowColor);
    DrawPixel(w - 2, h - 2, st.DarkShadowColor);
    DrawPixel(1, 2, st.FaceColor);
    DrawPixel(2, 1, st.FaceColor);
    DrawPixel(3, 3, st.HighlightColor);
    DrawPixel(w - 4, h - 4, st.FaceColor);
    DrawPixel(w - 3, h - 3, st.ShadowColor);
    DrawPixel(2, h - 2, st.FaceColor);
    DrawPixel(2, h - 3, st.LightColor);
    DrawPixel(w - 2, 2, st.FaceColor);
    DrawPixel(w - 3, 2, st.LightColor);
  };
  auto bevel_lines = [&] {
    DrawLine(3, 2, w - 3, 2, st.HighlightColor);
    DrawLine(2, 2, 2, h - 3, st.HighlightColor);
    DrawLine(w - 3, 1, w - 3, h - 3, st.FaceColor);
    DrawLine(1, h - 3, w - 3, h - 3, st.FaceColor);
    DrawLine(w - 2, 3, w - 2, h - 2, st.ShadowColor);
    DrawLine(3, h - 2, w - 2, h - 2, st.ShadowColor);
  };

  switch (state) {
    case button::Normal:
    case button::Backdrop:
    case button::Focused:
    case button::Hover:
      if (enabled) {
        DrawRect(1, 1, w - 1, h - 1, st.LightColor, kFalse);
        DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);
        if (rectangular) {
          corner_detail();
          bevel_lines();
        }
        DrawCaption(state == button::Hover ? st.HoverTextColor : st.TextColor, kNone, kNone);
        if (st.HasFocus == kTrue) DrawFocus();
      } else {
        DrawRect(1, 1, w - 2, h - 2, st.LightColor, kFalse);
        DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);
        if (rectangular) corner_detail();
        bevel_lines();
        if (!rectangular) {
          // The lines above do not follow a slanted outline: face and
          // outline are painted again over them.
          DrawRect(1, 1, w - 2, h - 2, st.LightColor, kFalse);
          DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);
        }
        if (backdrop_only == kFalse) disabled_caption();
      }
      return;

    case button::Pressed:
      break;

    default:
      return;  // no look of its own
  }

  if (rectangular) {
    DrawPixel(2, 2, shadow(-64));
    DrawPixel(3, 3, shadow(-32));
    DrawPixel(1, 1, st.DarkShadowColor);
    DrawPixel(1, h - 2, st.DarkShadowColor);
    DrawPixel(w - 2, 1, st.DarkShadowColor);
    DrawPixel(w - 2, h - 2, st.DarkShadowColor);
    DrawPixel(w - 4, h - 4, st.ShadowColor);
    DrawPixel(w - 2, h - 3, shadow(-32));
    DrawPixel(w - 3, h - 2, shadow(-32));
    DrawPixel(2, h - 2, shadow(-32));
    DrawPixel(2, h - 3, shadow(-16));
    DrawPixel(1, h - 3, shadow(-16));
    DrawPixel(w - 2, 2, shadow(-32));
    DrawPixel(w - 3, 2, shadow(-16));
    DrawPixel(w - 3, 1, shadow(-16));
    DrawRect(1, 1, w - 2, h - 2, shadow(-64), kTrue);
    DrawRect(2, 2, w - 4, h - 4, shadow(-32), kTrue);
  }
  DrawLine(w - 3, 1, w - 3, h - 3, st.ShadowColor);
  DrawLine(1, h - 3, w - 2, h - 3, st.ShadowColor);
  DrawLine(w - 2, 3, w - 2, h - 2, shadow(-16));
  DrawLine(2, h - 1, w - 2, h - 1, shadow(-16));
  DrawFocus();
  // The flat pressed face covers most of the above, the focus mark included.
  DrawRect(1, 1, w - 2, h - 2, shadow(-16), kFalse);
  DrawRect(0, 0, w, h, st.DarkShadowColor, kTrue);

  if (!enabled) {
    DrawCaption(st.LightColor, kNone, kNone);
  } else if (selected_option) {
    DrawCaption(state == button::Hover ? st.HoverTextColor : st.LightColor, kNone, kNone);
    if (st.HasFocus == kTrue) DrawFocus();
  } else {
    disabled_caption();
  }
}

}  // namespace vx::render

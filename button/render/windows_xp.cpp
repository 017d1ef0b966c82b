#include <cmath>

#include "button/render/painter.h"

namespace vx::render {
namespace {

// Fixed colours of the look, 0x00BBGGRR.
constexpr Color kBorder = 0x00733C00;
constexpr Color kCorner = 0x007B4D10;
constexpr Color kHoverLight = 0x006BCBFF;
constexpr Color kHoverMid = 0x0031B2FF;
constexpr Color kHoverDark = 0x000096E7;
constexpr Color kHoverPale = 0x00CEF3FF;
constexpr Color kFocusMid = 0x00E7AE8C;
constexpr Color kFocusLight = 0x00F0D1B5;
constexpr Color kFocusDark = 0x00EF826B;
constexpr Color kFocusPale = 0x00FFE7CE;

// Every shade of this look scales the blue channel.
Color S(Color c, Long offset) {
  return button::ShiftColor(c, offset, kTrue);
}

// The shade offset of shading row i: the product is formed in single
// precision, as the step is held, then rounded half to even (H = 30 gives -8
// at i = 9, where double precision would give -7).
Long RowOffset(float step, int i) {
  const float product = -step * static_cast<float>(i);
  return static_cast<Long>(std::nearbyint(product));
}

}  // namespace

// Type 3: a face shaded by rows, a dark blue border with corner pixels, soft
// edge lines and orange (hover) or blue (focus) inner frames.
void Painter::RenderWindowsXP(Bool16 backdrop_only) {
  button::ButtonState& st = s();
  OptionLatch latch(st);
  const int w = W();
  const int h = H();
  const bool enabled = st.Enabled != kFalse;
  const bool rectangular = st.ButtonStyle == button::Rectangular;
  const Long state = st.VisualState;
  // A control with no height shades no row; its step is never used.
  const float step = h > 0 ? 25.0f / static_cast<float>(h) : 0.0f;
  const int rows = h;

  auto shade_down = [&](Color base) {
    for (int i = 1; i <= rows; ++i) DrawLine(0, i, w, i, S(base, RowOffset(step, i)));
  };
  auto shade_up = [&](Color base, bool from_bottom) {
    // The same rows either way; the order only follows how each state runs.
    if (from_bottom) {
      for (int i = 1; i <= rows; ++i) DrawLine(0, h - i, w, h - i, S(base, RowOffset(step, i)));
    } else {
      for (int i = rows; i >= 1; --i) DrawLine(0, h - i, w, h - i, S(base, RowOffset(step, i)));
    }
  };
  auto corners = [&](Color c) {
    DrawPixel(1, 1, c);
    DrawPixel(1, h - 2, c);
    DrawPixel(w - 2, 1, c);
    DrawPixel(w - 2, h - 2, c);
  };
  auto raised_edges = [&](Color base) {
    DrawLine(2, h - 2, w - 2, h - 2, S(base, -48));
    DrawLine(1, h - 3, w - 2, h - 3, S(base, -32));
    DrawLine(w - 2, 2, w - 2, h - 2, S(base, -36));
    DrawLine(w - 3, 3, w - 3, h - 3, S(base, -24));
    DrawLine(2, 1, w - 2, 1, S(base, 16));
    DrawLine(1, 2, w - 2, 2, S(base, 10));
    DrawLine(1, 2, 1, h - 2, S(base, -5));
    DrawLine(2, 3, 2, h - 3, S(base, -10));
  };
  auto sunken_edges = [&](Color base) {
    DrawLine(2, h - 2, w - 2, h - 2, S(base, 16));
    DrawLine(1, h - 3, w - 2, h - 3, S(base, 10));
    DrawLine(w - 2, 2, w - 2, h - 2, S(base, 5));
    DrawLine(w - 3, 3, w - 3, h - 3, S(base, 0));
    DrawLine(2, 1, w - 2, 1, S(base, -32));
    DrawLine(1, 2, w - 2, 2, S(base, -24));
    DrawLine(1, 2, 1, h - 2, S(base, -32));
    DrawLine(2, 2, 2, h - 2, S(base, -22));
  };
  auto hover_decoration = [&] {
    if (rectangular) {
      DrawRect(2, 2, w - 2, h - 2, kHoverMid, kTrue);
      DrawLine(1, 2, 1, h - 2, kHoverLight);
      DrawLine(2, h - 2, w - 2, h - 2, kHoverDark);
      DrawLine(2, 1, w - 2, 1, kHoverPale);
      DrawLine(w - 2, 2, w - 2, h - 2, kHoverLight);
    } else {
      DrawRect(0, 0, w, h, kBorder, kTrue);
      DrawRect(1, 1, w - 1, h - 1, kHoverLight, kTrue);
      DrawRect(2, 2, w - 2, h - 2, kHoverMid, kTrue);
    }
  };
  auto focus_decoration = [&] {
    if (rectangular) {
      DrawRect(1, 2, w - 2, h - 2, kFocusMid, kTrue);
      DrawLine(3, 2, 3, h - 2, kFocusLight);
      DrawLine(3, h - 2, w - 3, h - 2, kFocusDark);
      DrawLine(4, 3, w - 4, 3, kFocusPale);
      DrawLine(w - 4, 3, w - 4, h - 3, kFocusLight);
      // Also covers the four corner pixels.
      DrawRect(1, 1, w - 1, h - 1, kFocusMid, kTrue);
    } else {
      DrawRect(0, 0, w, h, kBorder, kTrue);
      DrawRect(1, 1, w - 1, h - 1, kFocusMid, kTrue);
    }
  };

  if (state == button::Normal || state == button::Backdrop || state == button::Focused ||
      state == button::Hover) {
    const Color up = S(st.FaceColor, 48);
    if (enabled) {
      shade_down(up);
      if (rectangular) {
        DrawRect(0, 0, w, h, kBorder, kTrue);
        corners(kCorner);
      }
      if (state == button::Hover) {
        hover_decoration();
      } else if (st.HasFocus != kFalse) {
        focus_decoration();
      } else {
        raised_edges(up);
        DrawRect(0, 0, w, h, kBorder, kTrue);
      }
      DrawCaption(state == button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
    } else {
      DrawRect(0, 0, w, h, S(up, -24), kFalse);
      DrawRect(0, 0, w, h, S(up, -84), kTrue);
      if (rectangular) corners(S(up, -72));
      if (backdrop_only == kFalse) DrawCaption(S(up, -104), -1, -1);
    }
  } else if (state == button::Pressed) {
    const Color pressed = S(S(st.FaceColor, 48), -32);
    shade_up(pressed, true);
    if (rectangular) corners(kCorner);
    sunken_edges(pressed);
    DrawRect(0, 0, w, h, kBorder, kTrue);
    DrawCaption(st.TextColor, -1, -1);
    if (st.HasFocus != kFalse) DrawRect(1, 2, w - 2, h - 2, kFocusMid, kTrue);
  } else if (state < 0) {
    const Color latched = S(S(st.FaceColor, -22), 32);
    shade_up(latched, false);
    if (rectangular) corners(kCorner);
    sunken_edges(latched);
    DrawRect(0, 0, w, h, kBorder, kTrue);
    if (enabled) {
      if (state == ~button::Hover) {
        hover_decoration();
      } else if (st.HasFocus != kFalse) {
        focus_decoration();
      } else {
        raised_edges(latched);
        DrawRect(0, 0, w, h, kBorder, kTrue);
      }
      DrawCaption(state == ~button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
    } else if (backdrop_only == kFalse) {
      DrawCaption(st.HighlightColor, -1, -1);
    }
    latch.Unlatch();
  }
  // Any other state draws nothing.
}

}  // namespace vx::render

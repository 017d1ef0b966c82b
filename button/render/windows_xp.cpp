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
void RenderWindowsXP(Painter& p, const LookInput& in) {
  const button::ButtonState& st = in.st;
  const int w = in.w;
  const int h = in.h;
  const bool rectangular = st.ButtonStyle == button::Rectangular;
  // A control with no height shades no row; its step is never used.
  const float step = h > 0 ? 25.0f / static_cast<float>(h) : 0.0f;
  const int rows = h;

  auto shade_down = [&](Color base) {
    for (int i = 1; i <= rows; ++i) p.DrawLine(0, i, w, i, S(base, RowOffset(step, i)));
  };
  auto shade_up = [&](Color base, bool from_bottom) {
    // The same rows either way; the order only follows how each in.state runs.
    if (from_bottom) {
      for (int i = 1; i <= rows; ++i) p.DrawLine(0, h - i, w, h - i, S(base, RowOffset(step, i)));
    } else {
      for (int i = rows; i >= 1; --i) p.DrawLine(0, h - i, w, h - i, S(base, RowOffset(step, i)));
    }
  };
  auto corners = [&](Color c) {
    p.DrawPixel(1, 1, c);
    p.DrawPixel(1, h - 2, c);
    p.DrawPixel(w - 2, 1, c);
    p.DrawPixel(w - 2, h - 2, c);
  };
  auto raised_edges = [&](Color base) {
    p.DrawLine(2, h - 2, w - 2, h - 2, S(base, -48));
    p.DrawLine(1, h - 3, w - 2, h - 3, S(base, -32));
    p.DrawLine(w - 2, 2, w - 2, h - 2, S(base, -36));
    p.DrawLine(w - 3, 3, w - 3, h - 3, S(base, -24));
    p.DrawLine(2, 1, w - 2, 1, S(base, 16));
    p.DrawLine(1, 2, w - 2, 2, S(base, 10));
    p.DrawLine(1, 2, 1, h - 2, S(base, -5));
    p.DrawLine(2, 3, 2, h - 3, S(base, -10));
  };
  auto sunken_edges = [&](Color base) {
    p.DrawLine(2, h - 2, w - 2, h - 2, S(base, 16));
    p.DrawLine(1, h - 3, w - 2, h - 3, S(base, 10));
    p.DrawLine(w - 2, 2, w - 2, h - 2, S(base, 5));
    p.DrawLine(w - 3, 3, w - 3, h - 3, S(base, 0));
    p.DrawLine(2, 1, w - 2, 1, S(base, -32));
    p.DrawLine(1, 2, w - 2, 2, S(base, -24));
    p.DrawLine(1, 2, 1, h - 2, S(base, -32));
    p.DrawLine(2, 2, 2, h - 2, S(base, -22));
  };
  auto hover_decoration = [&] {
    if (rectangular) {
      p.DrawRect(2, 2, w - 2, h - 2, kHoverMid, kTrue);
      p.DrawLine(1, 2, 1, h - 2, kHoverLight);
      p.DrawLine(2, h - 2, w - 2, h - 2, kHoverDark);
      p.DrawLine(2, 1, w - 2, 1, kHoverPale);
      p.DrawLine(w - 2, 2, w - 2, h - 2, kHoverLight);
    } else {
      p.DrawRect(0, 0, w, h, kBorder, kTrue);
      p.DrawRect(1, 1, w - 1, h - 1, kHoverLight, kTrue);
      p.DrawRect(2, 2, w - 2, h - 2, kHoverMid, kTrue);
    }
  };
  auto focus_decoration = [&] {
    if (rectangular) {
      p.DrawRect(1, 2, w - 2, h - 2, kFocusMid, kTrue);
      p.DrawLine(3, 2, 3, h - 2, kFocusLight);
      p.DrawLine(3, h - 2, w - 3, h - 2, kFocusDark);
      p.DrawLine(4, 3, w - 4, 3, kFocusPale);
      p.DrawLine(w - 4, 3, w - 4, h - 3, kFocusLight);
      // Also covers the four corner pixels.
      p.DrawRect(1, 1, w - 1, h - 1, kFocusMid, kTrue);
    } else {
      p.DrawRect(0, 0, w, h, kBorder, kTrue);
      p.DrawRect(1, 1, w - 1, h - 1, kFocusMid, kTrue);
    }
  };

  if (in.up) {
    const Color up = S(st.FaceColor, 48);
    if (in.enabled) {
      shade_down(up);
      if (rectangular) {
        p.DrawRect(0, 0, w, h, kBorder, kTrue);
        corners(kCorner);
      }
      if (in.state == button::Hover) {
        hover_decoration();
      } else if (in.focused) {
        focus_decoration();
      } else {
        raised_edges(up);
        p.DrawRect(0, 0, w, h, kBorder, kTrue);
      }
      p.DrawCaption(in.state == button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
    } else {
      p.DrawRect(0, 0, w, h, S(up, -24), kFalse);
      p.DrawRect(0, 0, w, h, S(up, -84), kTrue);
      if (rectangular) corners(S(up, -72));
      if (!in.backdrop_only) p.DrawCaption(S(up, -104), -1, -1);
    }
  } else if (in.state == button::Pressed) {
    const Color pressed = S(S(st.FaceColor, 48), -32);
    shade_up(pressed, true);
    if (rectangular) corners(kCorner);
    sunken_edges(pressed);
    p.DrawRect(0, 0, w, h, kBorder, kTrue);
    p.DrawCaption(st.TextColor, -1, -1);
    if (in.focused) p.DrawRect(1, 2, w - 2, h - 2, kFocusMid, kTrue);
  } else if (in.state < 0) {
    const Color latched = S(S(st.FaceColor, -22), 32);
    shade_up(latched, false);
    if (rectangular) corners(kCorner);
    sunken_edges(latched);
    p.DrawRect(0, 0, w, h, kBorder, kTrue);
    if (in.enabled) {
      if (in.state == ~button::Hover) {
        hover_decoration();
      } else if (in.focused) {
        focus_decoration();
      } else {
        raised_edges(latched);
        p.DrawRect(0, 0, w, h, kBorder, kTrue);
      }
      p.DrawCaption(in.state == ~button::Hover ? st.HoverTextColor : st.TextColor, -1, -1);
    } else if (!in.backdrop_only) {
      p.DrawCaption(st.HighlightColor, -1, -1);
    }
  }
  // Any other in.state draws nothing.
}

}  // namespace vx::render

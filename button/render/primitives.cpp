#include <array>

#include "button/render/painter.h"

namespace vx::render {
namespace {

struct SegmentInsets {
  int top_right;    // b: the top edge stops this far short of the right edge
  int bottom_left;  // a: the bottom edge starts this far in from the left edge
};

// A style outside 0..3 has no outline: the primitive fails there.
SegmentInsets InsetsFor(Long button_style) {
  static constexpr std::array<SegmentInsets, 4> kInsets{{{0, 0}, {18, 0}, {18, 18}, {0, 18}}};
  if (button_style < 0 || button_style > 3) throw RenderFailure("ButtonStyle out of range");
  return kInsets[static_cast<std::size_t>(button_style)];
}

}  // namespace

void Painter::DrawPixel(Long x, Long y, Color color) {
  dc().SetPixelV(x, y, static_cast<ColorRef>(color));
}

void Painter::DrawLine(Long x1, Long y1, Long x2, Long y2, Color color) {
  SelectNewPen(color);
  dc().MoveToEx(x1, y1);
  dc().LineTo(x2, y2);
}

void Painter::DrawRect(Long left, Long top, Long right, Long bottom, Color color, Bool16 frame_only,
                       Surface*& target) {
  if (target == nullptr) target = &surface();
  const gdi::Brush brush = gdi::CreateSolidBrush(static_cast<ColorRef>(color));
  const gdi::Rect r{left, top, right, bottom};
  if (frame_only == kFalse) {
    gdi::FillRect(*target, r, brush);
  } else if (s().ButtonStyle == button::Rectangular) {
    gdi::FrameRect(*target, r, brush);
  } else {
    // The segmented outline is always the button's own, whatever `target`.
    const SegmentInsets in = InsetsFor(s().ButtonStyle);
    const Long last_row = bottom - 1;
    SelectNewPen(color);
    const std::array<gdi::Point, 4> outline{{{left, top},
                                             {right - in.top_right, top},
                                             {right, last_row},
                                             {left + in.bottom_left, last_row}}};
    dc().Polygon(outline);
  }
  gdi::DeleteObject(brush);
}

void Painter::DrawBorderLines(Color outer_top_left, Color outer_bottom_right, Color inner_top_left,
                              Color inner_bottom_right, std::int16_t inset, Bool16 outer_only) {
  const int w = W() - 1;
  const int h = H() - 1;
  const int i = inset;
  const SegmentInsets in = InsetsFor(s().ButtonStyle);
  const int a = in.bottom_left;
  const int b = in.top_right;
  gdi::Dc& d = dc();

  SelectNewPen(outer_top_left);
  d.MoveToEx(i + a, h);
  d.LineTo(i, i);
  d.LineTo(w - b, i);

  SelectNewPen(outer_bottom_right);
  d.LineTo(w, h);
  d.LineTo(i + a - 1, h);
  d.MoveToEx(i + 1 + a, h);
  if (outer_only != kFalse) return;

  SelectNewPen(inner_top_left);
  d.LineTo(i + 1, i + 1);
  d.LineTo(w - 1 - b, i + 1);

  SelectNewPen(inner_bottom_right);
  d.LineTo(w - 1, h - 1);
  d.LineTo(i + a, h - 1);
}

void Painter::DrawFocus() {
  if (s().ShowFocus == kFalse) return;
  gdi::Rect r;
  Color pen = 0;
  const button::FocusStyle& focus = look().traits.focus;
  if (s().ButtonStyle != button::Rectangular || focus.round_caption) {
    const button::RectL& c = s().CaptionRect;
    r = gdi::Rect{c.Left, c.Top, c.Right, c.Bottom};
    pen = focus.pen;
  } else {
    r = gdi::Rect{4, 4, RoundHalfEven(site().surface->ScaleWidth() - 4),
                  RoundHalfEven(site().surface->ScaleHeight() - 4)};
  }
  SelectNewPen(pen);
  dc().DrawFocusRect(r);
  // The surface's foreground colour is what captions are written in.
  dc().SetTextColor(static_cast<ColorRef>(s().TextColor));
}

}  // namespace vx::render

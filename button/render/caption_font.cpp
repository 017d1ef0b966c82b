// The caption font (built from the Font property, turned for vertical
// captions) and the caption drawing: the coloured passes of every line, the
// access-key underline and the icon.

#include <algorithm>
#include <any>
#include <array>
#include <cmath>
#include <exception>
#include <string>

#include "button/render/painter.h"
#include "platform/base/failure.h"

namespace vx::render {
namespace {

constexpr const char* kNonTrueTypeNotice = "Non-True Type fonts may not draw vertically";

text::Font* FontIn(std::any& slot) {
  return std::any_cast<text::Font>(&slot);
}

// Puts `font` into a state slot, reusing the slot's storage when it already
// holds a font: this runs at every redraw.
void Keep(std::any& slot, text::Font font) {
  if (text::Font* held = FontIn(slot)) {
    *held = std::move(font);
  } else {
    slot = std::move(font);
  }
}

bool IsVertical(Long orientation) {
  return orientation == button::VerticalUp || orientation == button::VerticalDown;
}

// One coloured copy of the caption, drawn at (x + d, y + d); -1 skips it.
struct Pass {
  Color color;
  int d;
};
using Passes = std::array<Pass, 3>;

// The rows of the styled looks: Engraved, Embossed, Shadowed.
Passes StyleRow(Long style, Color mid, Color shadow, Color main) {
  switch (style) {
    case button::Engraved:
      return {{{shadow, -1}, {mid, +1}, {main, 0}}};
    case button::Embossed:
      return {{{mid, -1}, {shadow, +1}, {main, 0}}};
    default:  // Shadowed: no middle colour
      return {{{shadow, +1}, {shadow, -1}, {main, 0}}};
  }
}

bool IsStyled(Long style) {
  return style == button::Engraved || style == button::Embossed || style == button::Shadowed;
}

Passes ChoosePasses(Painter& painter, Color main_color, Color lower_right_color,
                    Color upper_left_color) {
  const button::ButtonState& st = painter.s();
  const bool enabled = st.Enabled != kFalse;
  const bool latched = st.OptionButton != kFalse && st.Value != kFalse;
  // A caption style outside 0..3 (only from a restored set) draws plain.
  if (enabled && IsStyled(st.CaptionStyle)) {
    return StyleRow(st.CaptionStyle, st.EmbossEngraveMid, st.EmbossEngraveShadow, st.TextColor);
  }
  if (!enabled && st.ColorScheme == button::CustomGradient) {
    // Derived from the container's background, since the gradient under the
    // caption has no single face colour.
    const Color back = static_cast<Color>(painter.site().parent->BackColor());
    const Color mid = button::ShiftColor(back, -192);
    const Color shadow = button::ShiftColor(back, +31);
    if (latched) return StyleRow(button::Engraved, mid, shadow, button::ShiftColor(back, +47));
    return StyleRow(button::Embossed, mid, shadow, 0);
  }
  Passes plain{{{upper_left_color, -1}, {lower_right_color, +1}, {main_color, 0}}};
  if (st.ColorScheme == button::CustomGradient && latched) plain[2].color = st.GradientStartColor;
  return plain;
}

// The caption's lines in each colour pass, then its access-key underline and
// its icon, all moved by the press shift; a failure ends the drawing there.
void DrawLinesUnderlineAndIcon(Painter& painter, Color main_color, Color lower_right_color,
                               Color upper_left_color) {
  button::ButtonState& st = painter.s();
  const int p = (st.VisualState == button::Pressed && st.OptionButton == kFalse)
                    ? painter.look().traits.pressed_caption_shift
                    : 0;
  const Passes passes = ChoosePasses(painter, main_color, lower_right_color, upper_left_color);

  painter.CreateCaptionFont(kFalse);

  // Before the first layout there are no lines to draw, and nothing after
  // them either.
  if (st.CaptionLines.empty()) throw RenderFailure("the caption has no layout yet");
  Surface& target = painter.surface();
  gdi::Dc& dc = painter.dc();
  for (const button::CaptionLine& line : st.CaptionLines) {
    for (const Pass& pass : passes) {
      if (pass.color == -1) continue;
      const ColorRef colour = static_cast<ColorRef>(pass.color) & 0x00FFFFFFu;
      dc.SetTextColor(colour);
      const int x = line.X + p + pass.d;
      const int y = line.Y + p + pass.d;
      if (std::vector<CaptionText>* out = painter.ps().caption_out) {
        out->push_back({painter.ps().selected_font.logFont(), st.TextFont ? st.TextFont->size() : 0,
                        painter.site().screen->TwipsPerPixelY(), x, y, line.Text, colour});
      } else {
        text::TextOut(target, painter.ps().selected_font, x, y, line.Text, colour);
      }
    }
  }

  if (st.AccessKeyPos != 0) {
    const Long x = st.UnderlineX + p;
    const Long y = st.UnderlineY + p;
    if (IsVertical(st.CaptionOrientation)) {
      painter.DrawLine(x, y, x, y + st.UnderlineLength, main_color);
    } else {
      painter.DrawLine(x, y, x + st.UnderlineLength, y, main_color);
    }
  }

  if (st.HasIcon != kFalse) painter.DrawIcon(st.IconX + p, st.IconY + p);
}

}  // namespace

text::Smoothing CaptionSmoothingOf(const button::ButtonState& st) {
  switch (st.CaptionSmoothing) {
    case button::SmoothingStandard:
      return text::Smoothing::Standard;
    case button::SmoothingOff:
      return text::Smoothing::Off;
    default:
      return text::Smoothing::Full;
  }
}

std::int32_t CaptionFontHeight(double points, double twips_per_pixel_y) {
  // The size as the font object holds it: four decimal places.
  const double size = std::nearbyint(points * 10000.0) / 10000.0;
  const double height = -20.0 * size / twips_per_pixel_y;
  // A screen without a twips ratio gives no usable height: ask for the
  // platform's default size rather than an undefined one.
  if (!std::isfinite(height)) return 0;
  return static_cast<std::int32_t>(std::nearbyint(std::clamp(height, -1e6, 1e6)));
}

void Painter::CreateCaptionFont(Bool16 recalculate) {
  button::ButtonState& st = s();
  dc();  // the graphics mode belongs to the surface's context
  ps().graphics_mode = st.GraphicsModeInForce;

  if (!st.TextFont) throw RenderFailure("the button has no caption font");
  const host::Font& font = *st.TextFont;
  // Bold and italic travel in the face text only; weight and italic stay 0.
  std::string face = font.name();
  if (font.bold()) face += " Bold";
  if (font.italic()) face += " Italic";
  text::LogFont lf;
  lf.lfUnderline = font.underline() ? 1 : 0;
  lf.lfStrikeOut = font.strikethrough() ? 1 : 0;
  lf.SetFaceName(face);
  lf.lfHeight = CaptionFontHeight(font.size(), site().screen->TwipsPerPixelY());

  text::Font created = text::CreateFontIndirect(lf, CaptionSmoothingOf(st));
  Keep(st.CaptionFontHandle, created);
  Keep(st.PreviousFont, SelectFont(std::move(created)));

  const bool vertical = IsVertical(st.CaptionOrientation);
  if (vertical && !site().ambient->UserMode()) {
    // Raster and vector faces carry the family in the high bits, so only the
    // TrueType and device bits tell whether the face can be turned.
    const text::TextMetrics tm = text::GetTextMetrics(ps().selected_font);
    if ((tm.tmPitchAndFamily & (text::TMPF_TRUETYPE | text::TMPF_DEVICE)) == 0) {
      site().messages->ShowMessage(kNonTrueTypeNotice, host::MessageIcon::Information);
    }
  }

  // The layout measures with the unturned font.
  if (recalculate != kFalse) CalculateLayout();

  if (vertical) {
    lf.lfEscapement = st.CaptionOrientation == button::VerticalUp ? 900 : 2700;
    text::Font* previous = FontIn(st.PreviousFont);
    SelectFont(previous != nullptr ? *previous : text::Font{});
    if (text::Font* handle = FontIn(st.CaptionFontHandle)) text::DeleteObject(*handle);
    // The turned font becomes the caption font, so that the release deletes
    // it (and not the unturned one a second time).
    text::Font turned = text::CreateFontIndirect(lf, CaptionSmoothingOf(st));
    Keep(st.CaptionFontHandle, turned);
    Keep(st.PreviousFont, SelectFont(std::move(turned)));
  }
}

void Painter::ReleaseCaptionFont() {
  button::ButtonState& st = s();
  text::Font* previous = FontIn(st.PreviousFont);
  text::Font displaced = SelectFont(previous != nullptr ? *previous : text::Font{});
  text::DeleteObject(displaced);
  if (text::Font* handle = FontIn(st.CaptionFontHandle)) text::DeleteObject(*handle);
}

void Painter::DrawCaption(Color main_color, Color lower_right_color, Color upper_left_color) {
  // A failure skips the rest of the caption; the renderer goes on, and the
  // font is released all the same.
  RunPastFailure(
      [&] { DrawLinesUnderlineAndIcon(*this, main_color, lower_right_color, upper_left_color); });
  ReleaseCaptionFont();
}

}  // namespace vx::render

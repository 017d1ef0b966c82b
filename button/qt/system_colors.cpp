#include "button/qt/system_colors.h"

namespace vx::qt {

ColorRef ToColorRef(const QColor& c) {
  const QRgb rgb = c.rgb();
  return static_cast<ColorRef>(qRed(rgb)) | static_cast<ColorRef>(qGreen(rgb)) << 8 |
         static_cast<ColorRef>(qBlue(rgb)) << 16;
}

QColor ToQColor(ColorRef c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

QColor SystemColorReference(int index) {
  return QColor::fromRgb(index & 0xFF, 0, 0, 0);
}

std::int32_t ColorValueOf(const QColor& c) {
  const QRgb rgb = c.rgba();
  if (qAlpha(rgb) == 0) {
    return static_cast<std::int32_t>(0x80000000u | static_cast<std::uint32_t>(qRed(rgb)));
  }
  return static_cast<std::int32_t>(ToColorRef(c));
}

void MapDesktopPalette(const QPalette& palette, host::SystemPalette& table) {
  table.ResetClassic();
  auto set = [&](int index, QPalette::ColorGroup group, QPalette::ColorRole role) {
    table.Set(index, ToColorRef(palette.color(group, role)));
  };
  constexpr auto A = QPalette::Active;
  constexpr auto I = QPalette::Inactive;
  constexpr auto D = QPalette::Disabled;
  set(0, A, QPalette::Button);            // scroll bar
  set(1, A, QPalette::Dark);              // desktop
  set(2, A, QPalette::Highlight);         // active caption
  set(3, I, QPalette::Mid);               // inactive caption
  set(4, A, QPalette::Window);            // menu
  set(5, A, QPalette::Base);              // window
  set(6, A, QPalette::Shadow);            // window frame
  set(7, A, QPalette::WindowText);        // menu text
  set(8, A, QPalette::Text);              // window text
  set(9, A, QPalette::HighlightedText);   // caption text
  set(10, A, QPalette::Window);           // active border
  set(11, I, QPalette::Window);           // inactive border
  set(12, A, QPalette::Mid);              // application workspace
  set(13, A, QPalette::Highlight);        // highlight
  set(14, A, QPalette::HighlightedText);  // highlight text
  set(15, A, QPalette::Button);           // button face
  set(16, A, QPalette::Dark);             // button shadow
  set(17, D, QPalette::Text);             // grey text
  set(18, A, QPalette::ButtonText);       // button text
  set(19, I, QPalette::WindowText);       // inactive caption text
  set(20, A, QPalette::Light);            // button highlight
  set(21, A, QPalette::Shadow);           // 3-D dark shadow
  set(22, A, QPalette::Midlight);         // 3-D light
  set(23, A, QPalette::ToolTipText);      // tooltip text
  set(24, A, QPalette::ToolTipBase);      // tooltip background
  set(26, A, QPalette::Link);             // hot-tracked item
  set(29, A, QPalette::Highlight);        // menu highlight
  set(30, A, QPalette::Window);           // menu bar
}

}  // namespace vx::qt

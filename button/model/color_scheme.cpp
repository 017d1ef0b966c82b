#include <algorithm>
#include <array>

#include "button/model/torvel_button.h"

namespace vx::button {

Color ShiftColor(Color color, Long offset, Bool16 scale_blue) {
  // 64-bit so that no offset can overflow; C++ division truncates toward zero
  // and the remainder takes the dividend's sign, which the negative values
  // (-1, system-colour references) rely on.
  const std::int64_t c = color;
  const std::int64_t off = offset;
  std::int64_t red = (c & 255) + off;
  std::int64_t green = ((c / 256) % 256) + off;
  const std::int64_t blue0 = (c / 65536) % 256;
  std::int64_t blue = scale_blue ? blue0 + (blue0 * off) / 192 : blue0 + off;
  red = std::clamp<std::int64_t>(red, 0, 255);
  green = std::clamp<std::int64_t>(green, 0, 255);
  blue = std::clamp<std::int64_t>(blue, 0, 255);
  return static_cast<Color>(red + 256 * green + 65536 * blue);
}

Color TorvelButton::ConvertSysColor(Color c) const {
  if (c < -1) return static_cast<Color>(SysColor(c & 255));
  return c;
}

void TorvelButton::ApplyColorScheme(Bool16 reset_props) {
  const bool reset = reset_props != kFalse;
  auto derive_bevels = [this] {
    s_.ShadowColor = ShiftColor(s_.FaceColor, -64);
    s_.LightColor = ShiftColor(s_.FaceColor, 31);
    s_.HighlightColor = ShiftColor(s_.FaceColor, 47);
    s_.DarkShadowColor = ShiftColor(s_.FaceColor, -192);
  };
  switch (s_.ColorScheme) {
    case CustomColors:
    case CustomGradient:
      s_.TextColor = s_.ForeColor;
      s_.HoverTextColor = s_.MouseOver;
      s_.FaceColor = s_.BackColor;
      derive_bevels();
      break;
    case FixedGrey:
      s_.FaceColor = 0xC0C0C0;
      s_.LightColor = 0xDFDFDF;
      s_.HighlightColor = 0xFFFFFF;
      s_.ShadowColor = 0x808080;
      s_.DarkShadowColor = 0x000000;
      s_.TextColor = 0x000000;
      s_.HoverTextColor = 0x000000;
      s_.EmbossEngraveMid = 0xC0C0C0;
      s_.EmbossEngraveShadow = 0xFFFFFF;
      if (reset) {
        s_.BackColor = 0xC0C0C0;
        s_.ForeColor = 0;
        s_.MouseOver = 0;
      }
      break;
    case ParentColors:
      s_.FaceColor = static_cast<Color>(site_.parent->BackColor());
      s_.TextColor = static_cast<Color>(site_.parent->TextColor());
      s_.HoverTextColor = s_.TextColor;
      derive_bevels();
      s_.EmbossEngraveMid = 0xC0C0C0;
      s_.EmbossEngraveShadow = 0xFFFFFF;
      if (reset) {
        s_.BackColor = s_.FaceColor;
        s_.ForeColor = s_.TextColor;
        s_.MouseOver = s_.HoverTextColor;
      }
      break;
    default:  // SystemColors and any value no scheme claims
      s_.FaceColor = static_cast<Color>(SysColor(host::COLOR_BTNFACE));
      s_.ShadowColor = static_cast<Color>(SysColor(host::COLOR_BTNSHADOW));
      s_.LightColor = static_cast<Color>(SysColor(host::COLOR_3DLIGHT));
      s_.DarkShadowColor = static_cast<Color>(SysColor(host::COLOR_3DDKSHADOW));
      s_.HighlightColor = static_cast<Color>(SysColor(host::COLOR_BTNHIGHLIGHT));
      s_.TextColor = static_cast<Color>(SysColor(host::COLOR_BTNTEXT));
      s_.HoverTextColor = s_.TextColor;
      s_.EmbossEngraveMid = 0xC0C0C0;
      s_.EmbossEngraveShadow = 0xFFFFFF;
      if (reset) {
        s_.BackColor = s_.FaceColor;
        s_.ForeColor = s_.TextColor;
        s_.MouseOver = s_.TextColor;
      }
      break;
  }
}

std::int16_t DetectOSFor(const std::optional<host::VersionTriple>& version, Bool16 gradient_query) {
  std::int16_t result = 0;
  if (!version) return 0;
  const std::string text = host::VersionText(*version);
  struct Entry {
    const char* text;
    std::int16_t graphics_mode;
  };
  // Compared in this order; the first equal entry decides.
  static constexpr std::array<Entry, 7> kTable = {{{"1.4.10", 0},
                                                   {"2.5.0", 0},
                                                   {"2.4.0", 1},
                                                   {"2.3.51", 2},
                                                   {"1.4.0", 0},
                                                   {"2.5.1", 0},
                                                   {"1.4.90", 0}}};
  for (const Entry& e : kTable) {
    if (text == e.text) {
      result = e.graphics_mode;
      break;
    }
  }
  if (gradient_query && (text == "1.4.0" || text == "2.4.0" || text == "2.3.51")) result = -1;
  return result;
}

std::int16_t TorvelButton::DetectOS(Bool16 gradient_query) const {
  return DetectOSFor(site_.version->Version(), gradient_query);
}

}  // namespace vx::button

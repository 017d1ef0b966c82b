#pragma once

#include <array>
#include <cstdint>

#include "platform/gdi/surface.h"

namespace vx::host {

// System colour indices the button uses.
enum SysColorIndex : int {
  COLOR_WINDOW = 5,
  COLOR_WINDOWTEXT = 8,
  COLOR_BTNFACE = 15,
  COLOR_BTNSHADOW = 16,
  COLOR_BTNTEXT = 18,
  COLOR_BTNHIGHLIGHT = 20,
  COLOR_3DDKSHADOW = 21,
  COLOR_3DLIGHT = 22,
};

// The system colour table (GetSysColor). Every index 0..255 resolves: 0..30
// start from the classic desktop palette, the rest are black. The windowed
// host maps the desktop's palette into it with Set.
class SystemPalette {
 public:
  static constexpr int kSize = 256;

  SystemPalette() { ResetClassic(); }

  ColorRef Get(int index) const { return colors_[static_cast<unsigned>(index) & 0xFF]; }
  void Set(int index, ColorRef c) { colors_[static_cast<unsigned>(index) & 0xFF] = c & 0xFFFFFF; }
  void ResetClassic();

 private:
  std::array<ColorRef, kSize> colors_{};
};

}  // namespace vx::host

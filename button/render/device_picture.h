#pragma once

// A button for a screen with several device pixels to the logical pixel:
// the frame, bevels, focus dots, icon and region are the surface's pixels
// made `scale` times as large, each pixel a scale x scale block, and the
// caption text is written at the device's resolution, as the text output
// would write it at 96 x scale dots per inch (the same font at its point
// size, its origin at scale times the surface's).

#include <span>

#include "button/render/painter.h"
#include "platform/gdi/types.h"

namespace vx::render {

// Largest scale drawn; beyond it a screen is far denser than any made.
inline constexpr int kMaxDeviceScale = 8;

// The caption font last made for a device picture, kept for the next one:
// a button redrawn again and again asks for the same font each time.
class DeviceFont {
 public:
  DeviceFont() = default;
  DeviceFont(const DeviceFont&) = delete;
  DeviceFont& operator=(const DeviceFont&) = delete;
  ~DeviceFont() { text::DeleteObject(font_); }
  const text::Font& For(const text::LogFont& lf);

 private:
  text::LogFont made_{};
  text::Font font_;
  bool have_ = false;
};

// `logical` drawn without its caption text (PainterState::caption_out) and
// that text, for a device of `scale` (1..kMaxDeviceScale) pixels a pixel.
Surface DevicePicture(const Surface& logical, std::span<const CaptionText> captions, int scale);
// The same into `out`, whose storage is reused when its size is right.
void DrawDevicePicture(const Surface& logical, std::span<const CaptionText> captions, int scale,
                       Surface& out, DeviceFont& font);

// `mask` with each bit a scale x scale block.
gdi::Mask ScaleMask(const gdi::Mask& mask, int scale);

}  // namespace vx::render

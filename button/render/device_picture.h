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

// `logical` drawn without its caption text (PainterState::caption_out) and
// that text, for a device of `scale` (1..kMaxDeviceScale) pixels a pixel.
Surface DevicePicture(const Surface& logical, std::span<const CaptionText> captions, int scale);

// `mask` with each bit a scale x scale block.
gdi::Mask ScaleMask(const gdi::Mask& mask, int scale);

}  // namespace vx::render

#pragma once

// The desktop's colours as the system colour table the button reads.

#include <QColor>
#include <QPalette>
#include <cstdint>

#include "platform/host/palette.h"

namespace vx::qt {

ColorRef ToColorRef(const QColor& c);
QColor ToQColor(ColorRef c);

// A reference to system colour `index` as a Qt colour: fully transparent,
// with the index as its red channel (the button never draws transparent
// colours, so nothing else means this).
QColor SystemColorReference(int index);
// A Qt colour as the button's colour value: 0x00BBGGRR, or a system colour
// reference (top bit set, the index in the low byte) for the colours
// SystemColorReference makes.
std::int32_t ColorValueOf(const QColor& c);

// Fills the system colour table from `palette`: button face, shadows and
// lights from the button roles, window and highlight colours from theirs.
// Entries no role stands for keep their classic values.
void MapDesktopPalette(const QPalette& palette, host::SystemPalette& table);

}  // namespace vx::qt

#pragma once

// The desktop's colours as the system colour table the button reads.

#include <QColor>
#include <QPalette>

#include "platform/host/palette.h"

namespace vx::qt {

ColorRef ToColorRef(const QColor& c);
QColor ToQColor(ColorRef c);

// Fills the system colour table from `palette`: button face, shadows and
// lights from the button roles, window and highlight colours from theirs.
// Entries no role stands for keep their classic values.
void MapDesktopPalette(const QPalette& palette, host::SystemPalette& table);

}  // namespace vx::qt

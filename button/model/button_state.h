#pragma once

#include <any>
#include <cstdint>
#include <string>
#include <vector>

#include "button/model/types.h"
#include "platform/host/font.h"
#include "platform/host/picture.h"

namespace vx::button {

// Every field of a button instance, in declaration order. The render code
// reads and writes these directly (layout, font state, visual state, region);
// properties change them only through TorvelButton's assignments.
struct ButtonState {
  Long ButtonType = 0;
  Long ColorScheme = 0;
  Color BackColor = 0;
  Color ForeColor = 0;
  Color MouseOver = 0;
  std::string Caption;
  // The region clipping the window of shaped buttons: whatever region object
  // the render code builds (empty before the first build).
  std::any ButtonRegion;
  Long VisualState = Normal;
  std::uint8_t LastMouseButton = 0;
  std::uint8_t LastKeyCode = 0;
  Bool16 Enabled = kFalse;
  Bool16 HasFocus = kFalse;
  Bool16 IsShown = kFalse;
  host::PicturePtr Icon;
  // Working colours (ApplyColorScheme).
  Color FaceColor = 0;
  Color LightColor = 0;
  Color HighlightColor = 0;
  Color ShadowColor = 0;
  Color DarkShadowColor = 0;
  Color TextColor = 0;
  Color HoverTextColor = 0;
  Color EmbossEngraveMid = 0;
  Color EmbossEngraveShadow = 0;
  Bool16 MouseInside = kFalse;
  Bool16 HasIcon = kFalse;
  Long IconSize = 0;
  Long Alignment = 0;
  Long IconAlignmentValue = 0;
  Long CaptionOrientation = 0;
  Long CaptionStyle = 0;
  Long CaptionSmoothing = SmoothingStandard;
  // Caption font state: the render code's font and the one it displaced.
  std::any CaptionFontHandle;
  std::any PreviousFont;
  Bool16 LayoutPending = kFalse;
  // Caption and icon layout.
  std::vector<CaptionLine> CaptionLines;
  RectL CaptionRect;
  std::int16_t AccessKeyPos = 0;
  Long UnderlineX = 0;
  Long UnderlineY = 0;
  std::int16_t UnderlineLength = 0;
  Long IconX = 0;
  Long IconY = 0;
  Bool16 ShowFocus = kFalse;
  Color GradientStartColor = 0;
  Color GradientStopColor = 0;
  Long GradientOrientation = 0;
  Bool16 OptionButton = kFalse;
  Bool16 Value = kFalse;
  Long ButtonStyle = 0;
  Long GraphicsMode = 0;
  Long GraphicsModeInForce = 0;
  // The caption font object (the Font property).
  host::FontPtr TextFont;
};

}  // namespace vx::button

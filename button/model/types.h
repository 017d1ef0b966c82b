#pragma once

#include <cstdint>
#include <string>

namespace vx::button {

// A 16-bit Boolean: True is -1, False is 0. Several rules compare with -1.
using Bool16 = std::int16_t;
inline constexpr Bool16 kTrue = -1;
inline constexpr Bool16 kFalse = 0;
constexpr Bool16 ToBool16(bool b) {
  return b ? kTrue : kFalse;
}

// The two ways the drawing rules read a 16-bit Boolean. They agree on every
// value the control itself stores (0 and -1) and part only on another value
// written into the state directly: IsSet takes any non-zero value as true,
// IsTrue only -1. Each look keeps the test its drawing rules were written
// with (LookTraits::flag_test), so that no look's pixels change for such a
// value.
constexpr bool IsSet(Bool16 b) {
  return b != kFalse;
}
constexpr bool IsTrue(Bool16 b) {
  return b == kTrue;
}

// A 32-bit signed integer property.
using Long = std::int32_t;

// A colour: 0x00BBGGRR; a value below -1 refers to the system colour whose
// index is the low byte; -1 is neither.
using Color = std::int32_t;

enum ButtonTypeValue : Long {
  OutlinedBevel = 1,
  Classic3D = 2,
  WindowsXP = 3,
  Etched = 4,
  SoftBevel = 5,
  ThinBevel = 6,
  HoverBevel = 7,
  Macintosh = 8,
};

enum ColorSchemeValue : Long {
  SystemColors = 1,
  CustomColors = 2,
  FixedGrey = 3,
  ParentColors = 4,
  CustomGradient = 5,
};

enum CaptionAlignmentValue : Long { AlignLeft = 0, AlignCenter = 1, AlignRight = 2 };
enum IconSide : Long { IconLeft = 0, IconRight = 1 };
enum CaptionOrientationValue : Long { Horizontal = 0, VerticalUp = 1, VerticalDown = 2 };
enum CaptionStyleValue : Long { Plain = 0, Engraved = 1, Embossed = 2, Shadowed = 3 };
// How the caption's glyph edges are smoothed: the platform's standard
// smoothing (grey only where the font asks for it), none (black-and-white
// at every size), or grey at every size for modern screens.
enum CaptionSmoothingValue : Long { SmoothingStandard = 0, SmoothingOff = 1, SmoothingFull = 2 };
enum ButtonStyleValue : Long {
  Rectangular = 0,
  LeftSegment = 1,
  MiddleSegment = 2,
  RightSegment = 3,
};
enum GradientOrientationValue : Long {
  GradientHorizontal = 0,
  GradientVertical = 1,
  GradientHorizontalReversed = 2,
  GradientVerticalReversed = 3,
};
enum IconSizeValue : Long { Icon8 = 1, Icon16 = 2, Icon24 = 3, Icon32 = 4 };
// Any negative GraphicsMode is automatic; this is the one the control uses.
inline constexpr Long GraphicsModeAuto = -1;

// VisualState. A renderer drawing a selected option button latches the state
// as its bitwise complement (-1 .. -5) while it draws.
enum VisualStateValue : Long { Normal = 0, Backdrop = 1, Pressed = 2, Focused = 3, Hover = 4 };

// One laid-out caption line: the text origin on the surface, the measured
// extent along the reading direction and the line height, and the text.
struct CaptionLine {
  Long X = 0;
  Long Y = 0;
  Long Width = 0;
  Long Height = 0;
  std::string Text;
};

struct RectL {
  Long Left = 0;
  Long Top = 0;
  Long Right = 0;
  Long Bottom = 0;
  bool operator==(const RectL&) const = default;
};

}  // namespace vx::button

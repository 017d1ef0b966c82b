#pragma once

// The button's stored property set, one descriptor per key: its type, where
// its value lives, its default when absent, what a newly placed button
// starts with, and when ReadProperties reads it. InitProperties,
// ReadProperties, WriteProperties and StoredProperties() all follow this
// table; a new stored key is one more row (and its key constant).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

#include "button/model/button_state.h"
#include "platform/host/palette.h"

namespace vx::button {

// The stored keys as the control spells them; hosts match them without
// regard to case. Property assignments report changes under the same keys.
namespace keys {
inline constexpr std::string_view kIcon = "BTNICON";
inline constexpr std::string_view kButtonType = "BTYPE";
inline constexpr std::string_view kCaption = "TX";
inline constexpr std::string_view kEnabled = "ENAB";
inline constexpr std::string_view kFont = "FONT";
inline constexpr std::string_view kColorScheme = "COLTYPE";
inline constexpr std::string_view kBackColor = "BCOL";
inline constexpr std::string_view kForeColor = "FCOL";
inline constexpr std::string_view kMouseOver = "FCOLO";
inline constexpr std::string_view kEmbossEngraveMid = "EMBOSSM";
inline constexpr std::string_view kEmbossEngraveShadow = "EMBOSSS";
inline constexpr std::string_view kMousePointer = "MPTR";
inline constexpr std::string_view kMouseIcon = "MICON";
inline constexpr std::string_view kAlignment = "ALIGN";
inline constexpr std::string_view kIconAlignment = "ICONAlign";
inline constexpr std::string_view kCaptionOrientation = "ORIENT";
inline constexpr std::string_view kCaptionStyle = "STYLE";
inline constexpr std::string_view kIconSize = "IconSize";
inline constexpr std::string_view kShowFocus = "SHOWF";
inline constexpr std::string_view kButtonStyle = "BSTYLE";
inline constexpr std::string_view kValue = "OPTVAL";
inline constexpr std::string_view kOptionButton = "OPTMOD";
inline constexpr std::string_view kGradientStart = "GStart";
inline constexpr std::string_view kGradientStop = "GStop";
inline constexpr std::string_view kGradientOrientation = "GStyle";
inline constexpr std::string_view kGraphicsMode = "GMODE";
// Our own key, after the others so that older sets read as before.
inline constexpr std::string_view kCaptionSmoothing = "CaptionSmoothing";
}  // namespace keys

// The type of a stored value.
enum class StoredType { Long, Int16, Boolean, String, Font, Picture };

// A value the control makes up itself: a key's default when reading, or what
// InitProperties gives a newly placed button.
struct StoredDefault {
  enum class From {
    kNumber,              // `number` (a Boolean: true unless 0)
    kNothing,             // no picture
    kSystemColor,         // the system colour `number`, as RGB at the time
    kSurfaceName,         // the surface's Name
    kSurfaceFont,         // the surface's current font
    kBackColorRead,       // the BackColor read just before
    kAutoGraphicsMode,    // the platform's automatic graphics mode
    kDisplayName,         // the container's name for the new button, else the surface's Name
    kContainerFontTimes,  // the container's font, renamed "Times New Roman"
    kAsRead,              // placed as the key's reading default
    kUntouched,           // placed with the value a new instance has
  };
  From from;
  std::int64_t number = 0;
};

constexpr StoredDefault Number(std::int64_t n) {
  return {StoredDefault::From::kNumber, n};
}
constexpr StoredDefault Truth(bool b) {
  return {StoredDefault::From::kNumber, b ? -1 : 0};
}
constexpr StoredDefault SystemColor(int index) {
  return {StoredDefault::From::kSystemColor, index};
}
inline constexpr StoredDefault kNothing{StoredDefault::From::kNothing};
inline constexpr StoredDefault kSurfaceName{StoredDefault::From::kSurfaceName};
inline constexpr StoredDefault kSurfaceFont{StoredDefault::From::kSurfaceFont};
inline constexpr StoredDefault kBackColorRead{StoredDefault::From::kBackColorRead};
inline constexpr StoredDefault kAutoGraphicsMode{StoredDefault::From::kAutoGraphicsMode};
inline constexpr StoredDefault kDisplayName{StoredDefault::From::kDisplayName};
inline constexpr StoredDefault kContainerFontTimes{StoredDefault::From::kContainerFontTimes};
inline constexpr StoredDefault kAsRead{StoredDefault::From::kAsRead};
inline constexpr StoredDefault kUntouched{StoredDefault::From::kUntouched};

// Values that live outside ButtonState, or that set more than one field.
enum class SpecialField {
  kMousePointer,  // the surface's MousePointer
  kMouseIcon,     // the surface's MouseIcon
  kGraphicsMode,  // GraphicsMode as requested; the mode in force follows it
};

// Where a stored value lives. A font is always the caption font (TextFont).
using StoredField =
    std::variant<Long ButtonState::*, Bool16 ButtonState::*, std::string ButtonState::*,
                 host::PicturePtr ButtonState::*, host::FontPtr ButtonState::*, SpecialField>;

struct StoredProperty {
  std::string_view key;
  StoredType type;
  StoredField field;
  StoredDefault when_absent;  // ReadProperties' default
  StoredDefault when_placed;  // InitProperties' value
  int read_order;             // 1 for the key ReadProperties reads first
};

namespace stored_detail {
using S = ButtonState;
using T = StoredType;
using F = SpecialField;
using namespace keys;  // the table names each key once, here
inline constexpr StoredDefault kSystemFace = SystemColor(host::COLOR_BTNFACE);
inline constexpr StoredDefault kSystemText = SystemColor(host::COLOR_BTNTEXT);
inline constexpr StoredDefault kSystemHighlight = SystemColor(host::COLOR_BTNHIGHLIGHT);

// In the order WriteProperties writes them.
// clang-format off
inline constexpr auto kTable = std::to_array<StoredProperty>({
  // key                 type        field                    when absent                 when placed               read
  {kIcon,                T::Picture, &S::Icon,                kNothing,                   kUntouched,               24},
  {kButtonType,          T::Long,    &S::ButtonType,          Number(Classic3D),          kAsRead,                   1},
  {kCaption,             T::String,  &S::Caption,             kSurfaceName,               kDisplayName,              5},
  {kEnabled,             T::Boolean, &S::Enabled,             Truth(true),                kAsRead,                   6},
  {kFont,                T::Font,    &S::TextFont,            kSurfaceFont,               kContainerFontTimes,       7},
  {kColorScheme,         T::Long,    &S::ColorScheme,         Number(SystemColors),       kAsRead,                   8},
  {kBackColor,           T::Long,    &S::BackColor,           kSystemFace,                kAsRead,                   9},
  {kForeColor,           T::Long,    &S::ForeColor,           kSystemText,                kAsRead,                  10},
  {kMouseOver,           T::Long,    &S::MouseOver,           kSystemText,                kUntouched,               11},
  {kEmbossEngraveMid,    T::Long,    &S::EmbossEngraveMid,    kBackColorRead,             kUntouched,               15},
  {kEmbossEngraveShadow, T::Long,    &S::EmbossEngraveShadow, kSystemHighlight,           kUntouched,               16},
  {kMousePointer,        T::Int16,   F::kMousePointer,        Number(0),                  kUntouched,               17},
  {kMouseIcon,           T::Picture, F::kMouseIcon,           kNothing,                   kUntouched,               18},
  {kAlignment,           T::Long,    &S::Alignment,           Number(AlignCenter),        kAsRead,                  19},
  {kIconAlignment,       T::Long,    &S::IconAlignmentValue,  Number(IconLeft),           kAsRead,                  20},
  {kCaptionOrientation,  T::Long,    &S::CaptionOrientation,  Number(Horizontal),         kAsRead,                  22},
  {kCaptionStyle,        T::Long,    &S::CaptionStyle,        Number(Plain),              kUntouched,               21},
  {kIconSize,            T::Long,    &S::IconSize,            Number(Icon16),             kAsRead,                  23},
  {kShowFocus,           T::Boolean, &S::ShowFocus,           Truth(true),                kAsRead,                  26},
  {kButtonStyle,         T::Long,    &S::ButtonStyle,         Number(Rectangular),        kAsRead,                   2},
  {kValue,               T::Boolean, &S::Value,               Truth(false),               kUntouched,                3},
  {kOptionButton,        T::Boolean, &S::OptionButton,        Truth(false),               kUntouched,                4},
  {kGradientStart,       T::Long,    &S::GradientStartColor,  Number(0),                  kAsRead,                  12},
  {kGradientStop,        T::Long,    &S::GradientStopColor,   Number(0xFF0000),           kAsRead,                  13},
  {kGradientOrientation, T::Long,    &S::GradientOrientation, Number(GradientHorizontal), kAsRead,                  14},
  {kGraphicsMode,        T::Long,    F::kGraphicsMode,        kAutoGraphicsMode,          Number(GraphicsModeAuto), 25},
  {kCaptionSmoothing,    T::Long,    &S::CaptionSmoothing,    Number(SmoothingStandard),  kAsRead,                  27},
});
// clang-format on
}  // namespace stored_detail

inline constexpr auto kStoredProperties = stored_detail::kTable;

constexpr bool ReadOrderIsAPermutation() {
  std::array<bool, kStoredProperties.size()> seen{};
  for (const StoredProperty& p : kStoredProperties) {
    if (p.read_order < 1 || static_cast<std::size_t>(p.read_order) > seen.size()) return false;
    if (seen[static_cast<std::size_t>(p.read_order - 1)]) return false;
    seen[static_cast<std::size_t>(p.read_order - 1)] = true;
  }
  return true;
}
static_assert(ReadOrderIsAPermutation(), "every key is read once, at its own place");
static_assert(kStoredProperties.size() == 27, "the stored set has 27 keys");

// Whether a row's type is the type of the field it names.
constexpr bool TypeFitsField(const StoredProperty& p) {
  if (std::holds_alternative<SpecialField>(p.field)) {
    switch (std::get<SpecialField>(p.field)) {
      case SpecialField::kMousePointer:
        return p.type == StoredType::Int16;
      case SpecialField::kMouseIcon:
        return p.type == StoredType::Picture;
      case SpecialField::kGraphicsMode:
        return p.type == StoredType::Long;
    }
    return false;
  }
  constexpr StoredType kByField[] = {StoredType::Long, StoredType::Boolean, StoredType::String,
                                     StoredType::Picture, StoredType::Font};
  return p.type == kByField[p.field.index()];
}
constexpr bool EveryTypeFitsItsField() {
  for (const StoredProperty& p : kStoredProperties) {
    if (!TypeFitsField(p)) return false;
  }
  return true;
}
static_assert(EveryTypeFitsItsField(), "a stored type differs from its field's");

// Row indices in the order ReadProperties reads them.
inline constexpr auto kStoredReadOrder = [] {
  std::array<std::size_t, kStoredProperties.size()> order{};
  for (std::size_t i = 0; i < kStoredProperties.size(); ++i) {
    order[static_cast<std::size_t>(kStoredProperties[i].read_order - 1)] = i;
  }
  return order;
}();

// The descriptors in the order WriteProperties writes them.
constexpr std::span<const StoredProperty> StoredProperties() {
  return kStoredProperties;
}

}  // namespace vx::button

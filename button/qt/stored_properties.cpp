#include "button/qt/stored_properties.h"

#include <array>

namespace vx::qt {

namespace {

namespace keys = button::keys;

// The button's stored keys, each with the widget property that holds it.
constexpr std::array<StoredProperty, button::kStoredProperties.size()> kStored = {{
    {keys::kIcon, "icon", "Icon"},
    {keys::kButtonType, "buttonType", "ButtonType"},
    {keys::kCaption, "caption", "Caption"},
    {keys::kEnabled, "enabled", "Enabled"},
    {keys::kFont, "font", "Font"},
    {keys::kColorScheme, "colorScheme", "ColorScheme"},
    {keys::kBackColor, "backColor", "BackColor"},
    {keys::kForeColor, "foreColor", "ForeColor"},
    {keys::kMouseOver, "mouseOverColor", "MouseOver"},
    {keys::kEmbossEngraveMid, "embossEngraveMid", "EmbossEngraveMid"},
    {keys::kEmbossEngraveShadow, "embossEngraveShadow", "EmbossEngraveShadow"},
    {keys::kMousePointer, "mousePointer", "MousePointer"},
    {keys::kMouseIcon, "mouseIcon", "MouseIcon"},
    {keys::kAlignment, "alignment", "Alignment"},
    {keys::kIconAlignment, "iconAlignmentValue", "IconAlignmentValue"},
    {keys::kCaptionOrientation, "captionOrientation", "CaptionOrientation"},
    {keys::kCaptionStyle, "captionStyle", "CaptionStyle"},
    {keys::kIconSize, "iconSize", "IconSize"},
    {keys::kShowFocus, "showFocus", "ShowFocus"},
    {keys::kButtonStyle, "buttonStyle", "ButtonStyle"},
    {keys::kValue, "value", "Value"},
    {keys::kOptionButton, "optionButton", "OptionButton"},
    {keys::kGradientStart, "gradientStartColor", "GradientStartColor"},
    {keys::kGradientStop, "gradientStopColor", "GradientStopColor"},
    {keys::kGradientOrientation, "gradientOrientation", "GradientOrientation"},
    {keys::kGraphicsMode, "graphicsMode", "GraphicsMode"},
    {keys::kCaptionSmoothing, "captionSmoothing", "CaptionSmoothing"},
}};

constexpr bool SameKeysAsTheButton() {
  for (std::size_t i = 0; i < kStored.size(); ++i) {
    if (kStored[i].key != button::kStoredProperties[i].key) return false;
  }
  return true;
}
static_assert(SameKeysAsTheButton(), "one row a stored key, in the order the button writes them");

}  // namespace

std::span<const StoredProperty> StoredProperties() {
  return kStored;
}

const StoredProperty* FindStoredProperty(std::string_view key) {
  const std::string lower = host::LowerKey(key);
  for (const StoredProperty& p : kStored) {
    if (host::LowerKey(p.key) == lower) return &p;
  }
  return nullptr;
}

host::PropertyValue ToPropertyValue(const button::MemberValue& value) {
  if (const auto* l = std::get_if<button::Long>(&value)) return std::int64_t{*l};
  if (const auto* b = std::get_if<button::Bool16>(&value)) return *b != button::kFalse;
  if (const auto* s = std::get_if<std::string>(&value)) return *s;
  if (const auto* f = std::get_if<host::FontPtr>(&value)) return *f;
  if (const auto* p = std::get_if<host::PicturePtr>(&value)) {
    if (*p) return *p;
  }
  return std::monostate{};
}

host::PropertyValue MemoryPropertyBag::ReadProperty(std::string_view key,
                                                    const host::PropertyValue& default_value) {
  const auto it = values_.find(host::LowerKey(key));
  return it == values_.end() ? default_value : it->second;
}

void MemoryPropertyBag::WriteProperty(std::string_view key, const host::PropertyValue& value) {
  if (std::holds_alternative<std::monostate>(value)) {
    values_.erase(host::LowerKey(key));
  } else {
    values_[host::LowerKey(key)] = value;
  }
}

}  // namespace vx::qt

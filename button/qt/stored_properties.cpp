#include "button/qt/stored_properties.h"

#include <array>

namespace vx::qt {

namespace {

constexpr std::array<StoredProperty, 26> kStored = {{
    {"BTNICON", "icon", "Icon"},
    {"BTYPE", "buttonType", "ButtonType"},
    {"TX", "caption", "Caption"},
    {"ENAB", "enabled", "Enabled"},
    {"FONT", "font", "Font"},
    {"COLTYPE", "colorScheme", "ColorScheme"},
    {"BCOL", "backColor", "BackColor"},
    {"FCOL", "foreColor", "ForeColor"},
    {"FCOLO", "mouseOverColor", "MouseOver"},
    {"EMBOSSM", "embossEngraveMid", "EmbossEngraveMid"},
    {"EMBOSSS", "embossEngraveShadow", "EmbossEngraveShadow"},
    {"MPTR", "mousePointer", "MousePointer"},
    {"MICON", "mouseIcon", "MouseIcon"},
    {"ALIGN", "alignment", "Alignment"},
    {"ICONAlign", "iconAlignmentValue", "IconAlignmentValue"},
    {"ORIENT", "captionOrientation", "CaptionOrientation"},
    {"STYLE", "captionStyle", "CaptionStyle"},
    {"IconSize", "iconSize", "IconSize"},
    {"SHOWF", "showFocus", "ShowFocus"},
    {"BSTYLE", "buttonStyle", "ButtonStyle"},
    {"OPTVAL", "value", "Value"},
    {"OPTMOD", "optionButton", "OptionButton"},
    {"GStart", "gradientStartColor", "GradientStartColor"},
    {"GStop", "gradientStopColor", "GradientStopColor"},
    {"GStyle", "gradientOrientation", "GradientOrientation"},
    {"GMODE", "graphicsMode", "GraphicsMode"},
}};

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

#include <charconv>
#include <cmath>
#include <limits>

#include "button/model/stored_properties.h"
#include "button/model/torvel_button.h"
#include "platform/text/utf8.h"

namespace vx::button {

namespace {

using host::PropertyValue;

std::string Describe(const PropertyValue& v) {
  if (std::holds_alternative<std::monostate>(v)) return "an empty value";
  if (auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
  if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&v)) return std::to_string(*d);
  if (auto* s = std::get_if<std::string>(&v)) return "\"" + *s + "\"";
  if (std::holds_alternative<host::FontPtr>(v)) return "a font";
  return "a picture";
}

[[noreturn]] void Mismatch(const PropertyValue& v, const char* type) {
  throw std::invalid_argument("cannot convert " + Describe(v) + " to " + type);
}

// What a stored text stands for: a number (sign and decimal digits, a
// decimal fraction or exponent, or 0x and hex digits for a 32-bit pattern) or
// True/False in any case, surrounded by optional spaces.
std::optional<PropertyValue> ValueInText(std::string_view t) {
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  const std::string lower = host::LowerKey(std::string(t));
  if (lower == "true") return PropertyValue{true};
  if (lower == "false") return PropertyValue{false};
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    std::uint32_t u = 0;
    auto [p, ec] = std::from_chars(t.data() + 2, t.data() + t.size(), u, 16);
    if (ec != std::errc() || p != t.data() + t.size()) return std::nullopt;
    return PropertyValue{std::int64_t{static_cast<std::int32_t>(u)}};
  }
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  if (t.empty()) return std::nullopt;
  std::int64_t n = 0;
  if (auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
      ec == std::errc() && p == t.data() + t.size()) {
    return PropertyValue{n};
  }
  double d = 0;
  if (auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), d, std::chars_format::general);
      ec == std::errc() && p == t.data() + t.size() && std::isfinite(d)) {
    return PropertyValue{d};
  }
  return std::nullopt;
}

std::int64_t ToInteger(const PropertyValue& v, std::int64_t lo, std::int64_t hi, const char* type) {
  std::optional<std::int64_t> n;
  if (std::holds_alternative<std::monostate>(v)) {
    n = 0;
  } else if (auto* b = std::get_if<bool>(&v)) {
    n = *b ? -1 : 0;
  } else if (auto* i = std::get_if<std::int64_t>(&v)) {
    n = *i;
  } else if (auto* d = std::get_if<double>(&v)) {
    // Halves to even, as the platform's conversions round.
    if (std::isfinite(*d) && std::abs(*d) < 9e18) n = static_cast<std::int64_t>(std::nearbyint(*d));
  } else if (auto* s = std::get_if<std::string>(&v)) {
    const auto inner = ValueInText(*s);
    if (!inner) Mismatch(v, type);
    try {
      return ToInteger(*inner, lo, hi, type);
    } catch (const std::invalid_argument&) {
      Mismatch(v, type);
    }
  }
  if (!n || *n < lo || *n > hi) Mismatch(v, type);
  return *n;
}

Long ToLong(const PropertyValue& v) {
  return static_cast<Long>(ToInteger(v, std::numeric_limits<Long>::min(),
                                     std::numeric_limits<Long>::max(), "a 32-bit integer"));
}

std::int16_t ToInt16(const PropertyValue& v) {
  return static_cast<std::int16_t>(ToInteger(v, std::numeric_limits<std::int16_t>::min(),
                                             std::numeric_limits<std::int16_t>::max(),
                                             "a 16-bit integer"));
}

Bool16 ToBool(const PropertyValue& v) {
  if (auto* s = std::get_if<std::string>(&v)) {
    const auto inner = ValueInText(*s);
    if (!inner) Mismatch(v, "a Boolean");
    return ToBool(*inner);
  }
  if (auto* d = std::get_if<double>(&v)) {
    if (std::isnan(*d)) Mismatch(v, "a Boolean");
    return ToBool16(*d != 0);
  }
  if (std::holds_alternative<host::FontPtr>(v) || std::holds_alternative<host::PicturePtr>(v)) {
    Mismatch(v, "a Boolean");
  }
  return ToBool16(ToInteger(v, std::numeric_limits<std::int64_t>::min(),
                            std::numeric_limits<std::int64_t>::max(), "a Boolean") != 0);
}

std::string ToText(const PropertyValue& v) {
  if (std::holds_alternative<std::monostate>(v)) return "";
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  if (auto* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
  if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&v)) {
    char buf[32];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, *d);
    (void)ec;
    return std::string(buf, p);
  }
  Mismatch(v, "a text");
}

host::FontPtr ToFont(const PropertyValue& v) {
  if (auto* f = std::get_if<host::FontPtr>(&v); f && *f) return *f;
  Mismatch(v, "a font");
}

host::PicturePtr ToPicture(const PropertyValue& v, host::PictureLoader& loader) {
  if (std::holds_alternative<std::monostate>(v)) return nullptr;
  if (auto* p = std::get_if<host::PicturePtr>(&v)) return *p;
  if (auto* s = std::get_if<std::string>(&v)) {
    if (s->empty()) return nullptr;
    return loader.LoadPicture(*s);
  }
  Mismatch(v, "a picture");
}

// std::visit over the alternatives of a StoredField.
template <class... Fs>
struct Overloaded : Fs... {
  using Fs::operator()...;
};
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

}  // namespace

host::PropertyValue TorvelButton::MadeUpValue(const StoredProperty& p, const StoredDefault& d) {
  using From = StoredDefault::From;
  switch (d.from) {
    case From::kNumber:
      if (p.type == StoredType::Boolean) return PropertyValue{d.number != 0};
      return PropertyValue{d.number};
    case From::kSystemColor:
      return PropertyValue{std::int64_t{SysColor(static_cast<int>(d.number))}};
    case From::kSurfaceName:
      return PropertyValue{site_.surface->Name()};
    case From::kSurfaceFont:
      return PropertyValue{site_.surface->SurfaceFont()};
    case From::kBackColorRead:
      return PropertyValue{std::int64_t{s_.BackColor}};
    case From::kAutoGraphicsMode:
      return PropertyValue{std::int64_t{DetectOS(kFalse)}};
    case From::kDisplayName: {
      std::string name = site_.ambient->DisplayName();
      if (name.empty()) name = site_.surface->Name();
      return PropertyValue{std::move(name)};
    }
    case From::kContainerFontTimes:
      // The surface takes the container's font attributes, then the face.
      site_.surface->SetFont(site_.ambient->AmbientFont());
      site_.surface->SurfaceFont()->set_name("Times New Roman");
      return PropertyValue{site_.surface->SurfaceFont()};
    case From::kNothing:
    case From::kAsRead:
    case From::kUntouched:
      break;
  }
  return PropertyValue{};
}

void TorvelButton::StoreValue(const StoredProperty& p, const host::PropertyValue& v) {
  std::visit(Overloaded{
                 [&](Long ButtonState::*f) { s_.*f = ToLong(v); },
                 [&](Bool16 ButtonState::*f) { s_.*f = ToBool(v); },
                 [&](std::string ButtonState::*f) { s_.*f = text::ToValidUtf8(ToText(v)); },
                 [&](host::PicturePtr ButtonState::*f) { s_.*f = ToPicture(v, *site_.pictures); },
                 [&](host::FontPtr ButtonState::*) { SetTextFont(ToFont(v)); },
                 [&](SpecialField f) {
                   switch (f) {
                     case SpecialField::kMousePointer:
                       site_.surface->SetMousePointer(ToInt16(v));
                       break;
                     case SpecialField::kMouseIcon:
                       site_.surface->SetMouseIcon(ToPicture(v, *site_.pictures));
                       break;
                     case SpecialField::kGraphicsMode:
                       s_.GraphicsMode = ToLong(v);
                       s_.GraphicsModeInForce =
                           s_.GraphicsMode < 0 ? DetectOS(kFalse) : s_.GraphicsMode;
                       break;
                   }
                 },
             },
             p.field);
}

host::PropertyValue TorvelButton::StoredValue(const StoredProperty& p) const {
  auto picture = [](const host::PicturePtr& pic) {
    // An empty picture reference is stored as absent.
    return pic ? PropertyValue{pic} : PropertyValue{};
  };
  return std::visit(Overloaded{
                        [&](Long ButtonState::*f) { return PropertyValue{std::int64_t{s_.*f}}; },
                        [&](Bool16 ButtonState::*f) { return PropertyValue{s_.*f != kFalse}; },
                        [&](std::string ButtonState::*f) { return PropertyValue{s_.*f}; },
                        [&](host::PicturePtr ButtonState::*f) { return picture(s_.*f); },
                        [&](host::FontPtr ButtonState::*f) { return PropertyValue{s_.*f}; },
                        [&](SpecialField f) {
                          switch (f) {
                            case SpecialField::kMousePointer:
                              return PropertyValue{std::int64_t{site_.surface->MousePointer()}};
                            case SpecialField::kMouseIcon:
                              return picture(site_.surface->MouseIcon());
                            case SpecialField::kGraphicsMode:
                              // As requested (negative for automatic), not the mode in force.
                              return PropertyValue{std::int64_t{s_.GraphicsMode}};
                          }
                          return PropertyValue{};
                        },
                    },
                    p.field);
}

void TorvelButton::InitProperties() {
  // In reading order, which is also the order the host is asked for names,
  // fonts, colours and the platform.
  for (std::size_t i : kStoredReadOrder) {
    const StoredProperty& p = kStoredProperties[i];
    if (p.when_placed.from == StoredDefault::From::kUntouched) continue;
    const StoredDefault& d =
        p.when_placed.from == StoredDefault::From::kAsRead ? p.when_absent : p.when_placed;
    StoreValue(p, MadeUpValue(p, d));
  }
  ApplyColorScheme(kFalse);
}

void TorvelButton::ReadProperties(host::PropertyBag& bag) {
  // Each key is read and stored in turn; any failure on the way is reported
  // against that key and ends the routine.
  for (std::size_t i : kStoredReadOrder) {
    const StoredProperty& p = kStoredProperties[i];
    try {
      StoreValue(p, bag.ReadProperty(p.key, MadeUpValue(p, p.when_absent)));
    } catch (const PropertyError&) {
      throw;
    } catch (const std::exception& e) {
      throw PropertyError(host::LowerKey(p.key), e.what());
    }
  }

  // A mode this build does not know (a newer set's) reads as the default.
  if (s_.CaptionSmoothing < SmoothingStandard || s_.CaptionSmoothing > SmoothingFull) {
    s_.CaptionSmoothing = SmoothingStandard;
  }
  if (DetectOS(kTrue) == -1 && s_.ColorScheme == CustomGradient) s_.ColorScheme = CustomColors;
  site_.surface->SetEnabled(s_.Enabled == kTrue);
  site_.surface->SetFont(s_.TextFont);
  SetAccessKey();
  s_.HasIcon = ToBool16(s_.Icon != nullptr);
  ApplyColorScheme(kFalse);
}

void TorvelButton::WriteProperties(host::PropertyBag& bag) {
  for (const StoredProperty& p : kStoredProperties) {
    const PropertyValue value = StoredValue(p);
    try {
      bag.WriteProperty(p.key, value);
    } catch (const std::exception& e) {
      throw PropertyError(host::LowerKey(p.key), e.what());
    }
  }
}

}  // namespace vx::button

#include <charconv>
#include <cmath>
#include <limits>

#include "button/model/torvel_button.h"

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

}  // namespace

void TorvelButton::InitProperties() {
  s_.Enabled = kTrue;
  s_.Caption = site_.ambient->DisplayName();
  if (s_.Caption.empty()) s_.Caption = site_.surface->Name();
  site_.surface->SetFont(site_.ambient->AmbientFont());
  site_.surface->SurfaceFont()->set_name("Times New Roman");
  SetTextFont(site_.surface->SurfaceFont());
  s_.ButtonType = Classic3D;
  s_.ButtonStyle = Rectangular;
  s_.ColorScheme = SystemColors;
  s_.BackColor = static_cast<Color>(SysColor(host::COLOR_BTNFACE));
  s_.ForeColor = static_cast<Color>(SysColor(host::COLOR_BTNTEXT));
  s_.GradientStartColor = 0;
  s_.GradientStopColor = 0xFF0000;
  s_.GradientOrientation = GradientHorizontal;
  s_.Alignment = AlignCenter;
  s_.CaptionOrientation = Horizontal;
  s_.IconSize = Icon16;
  s_.IconAlignmentValue = IconLeft;
  s_.GraphicsMode = GraphicsModeAuto;
  s_.GraphicsModeInForce = DetectOS(kFalse);
  s_.ShowFocus = kTrue;
  ApplyColorScheme(kFalse);
}

void TorvelButton::ReadProperties(host::PropertyBag& bag) {
  // Each step reads one key and stores it; any failure on the way is
  // reported against that key and ends the routine.
  auto at = [](const char* key, auto&& step) {
    try {
      step();
    } catch (const PropertyError&) {
      throw;
    } catch (const std::exception& e) {
      throw PropertyError(host::LowerKey(key), e.what());
    }
  };
  auto read = [&bag](const char* key, const PropertyValue& def) {
    return bag.ReadProperty(key, def);
  };
  auto sys = [this](int index) { return std::int64_t{SysColor(index)}; };
  auto long_key = [&](const char* key, std::int64_t def, Long& field) {
    at(key, [&] { field = ToLong(read(key, def)); });
  };
  auto bool_key = [&](const char* key, bool def, Bool16& field) {
    at(key, [&] { field = ToBool(read(key, def)); });
  };

  long_key("BTYPE", 2, s_.ButtonType);
  long_key("BSTYLE", 0, s_.ButtonStyle);
  bool_key("OPTVAL", false, s_.Value);
  bool_key("OPTMOD", false, s_.OptionButton);
  at("TX", [&] { s_.Caption = ToText(read("TX", site_.surface->Name())); });
  bool_key("ENAB", true, s_.Enabled);

  at("FONT", [&] { SetTextFont(ToFont(read("FONT", site_.surface->SurfaceFont()))); });

  long_key("COLTYPE", 1, s_.ColorScheme);
  long_key("BCOL", sys(host::COLOR_BTNFACE), s_.BackColor);
  long_key("FCOL", sys(host::COLOR_BTNTEXT), s_.ForeColor);
  long_key("FCOLO", sys(host::COLOR_BTNTEXT), s_.MouseOver);
  long_key("GStart", 0, s_.GradientStartColor);
  long_key("GStop", 0xFF0000, s_.GradientStopColor);
  long_key("GStyle", 0, s_.GradientOrientation);
  long_key("EMBOSSM", s_.BackColor, s_.EmbossEngraveMid);
  long_key("EMBOSSS", sys(host::COLOR_BTNHIGHLIGHT), s_.EmbossEngraveShadow);

  at("MPTR", [&] { site_.surface->SetMousePointer(ToInt16(read("MPTR", std::int64_t{0}))); });
  at("MICON", [&] {
    site_.surface->SetMouseIcon(ToPicture(read("MICON", std::monostate{}), *site_.pictures));
  });

  long_key("ALIGN", 1, s_.Alignment);
  long_key("ICONAlign", 0, s_.IconAlignmentValue);
  long_key("STYLE", 0, s_.CaptionStyle);
  long_key("ORIENT", 0, s_.CaptionOrientation);
  long_key("IconSize", 2, s_.IconSize);
  at("BTNICON", [&] { s_.Icon = ToPicture(read("BTNICON", std::monostate{}), *site_.pictures); });

  at("GMODE", [&] {
    s_.GraphicsMode = ToLong(read("GMODE", std::int64_t{DetectOS(kFalse)}));
    s_.GraphicsModeInForce = s_.GraphicsMode < 0 ? DetectOS(kFalse) : s_.GraphicsMode;
  });
  bool_key("SHOWF", true, s_.ShowFocus);

  if (DetectOS(kTrue) == -1 && s_.ColorScheme == CustomGradient) s_.ColorScheme = CustomColors;
  site_.surface->SetEnabled(s_.Enabled == kTrue);
  site_.surface->SetFont(s_.TextFont);
  SetAccessKey();
  s_.HasIcon = ToBool16(s_.Icon != nullptr);
  ApplyColorScheme(kFalse);
}

void TorvelButton::WriteProperties(host::PropertyBag& bag) {
  auto write = [&bag](const char* key, const PropertyValue& value) {
    try {
      bag.WriteProperty(key, value);
    } catch (const std::exception& e) {
      throw PropertyError(host::LowerKey(key), e.what());
    }
  };
  auto integer = [](std::int64_t v) { return PropertyValue{v}; };
  auto boolean = [](Bool16 b) { return PropertyValue{b != kFalse}; };

  write("BTNICON", s_.Icon ? PropertyValue{s_.Icon} : PropertyValue{});
  write("BTYPE", integer(s_.ButtonType));
  write("TX", s_.Caption);
  write("ENAB", boolean(s_.Enabled));
  write("FONT", s_.TextFont);
  write("COLTYPE", integer(s_.ColorScheme));
  write("BCOL", integer(s_.BackColor));
  write("FCOL", integer(s_.ForeColor));
  write("FCOLO", integer(s_.MouseOver));
  write("EMBOSSM", integer(s_.EmbossEngraveMid));
  write("EMBOSSS", integer(s_.EmbossEngraveShadow));
  write("MPTR", integer(site_.surface->MousePointer()));
  const host::PicturePtr mouse_icon = site_.surface->MouseIcon();
  write("MICON", mouse_icon ? PropertyValue{mouse_icon} : PropertyValue{});
  write("ALIGN", integer(s_.Alignment));
  write("ICONAlign", integer(s_.IconAlignmentValue));
  write("ORIENT", integer(s_.CaptionOrientation));
  write("STYLE", integer(s_.CaptionStyle));
  write("IconSize", integer(s_.IconSize));
  write("SHOWF", boolean(s_.ShowFocus));
  write("BSTYLE", integer(s_.ButtonStyle));
  write("OPTVAL", boolean(s_.Value));
  write("OPTMOD", boolean(s_.OptionButton));
  write("GStart", integer(s_.GradientStartColor));
  write("GStop", integer(s_.GradientStopColor));
  write("GStyle", integer(s_.GradientOrientation));
  write("GMODE", integer(s_.GraphicsMode));
}

}  // namespace vx::button

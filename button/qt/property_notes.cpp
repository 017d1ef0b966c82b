#include "button/qt/property_notes.h"

#include <array>
#include <cstdio>

#include "platform/host/services.h"

namespace vx::notes {
namespace {

using button::Long;

constexpr ValueName kButtonTypes[] = {
    {1, "OutlinedBevel"}, {2, "Classic3D"}, {3, "WindowsXP"},  {4, "Etched"},
    {5, "SoftBevel"},     {6, "ThinBevel"}, {7, "HoverBevel"}, {8, "Macintosh"},
};
constexpr ValueName kColorSchemes[] = {
    {1, "SystemColors"}, {2, "CustomColors"},   {3, "FixedGrey"},
    {4, "ParentColors"}, {5, "CustomGradient"},
};
constexpr ValueName kAlignments[] = {{0, "AlignLeft"}, {1, "AlignCenter"}, {2, "AlignRight"}};
constexpr ValueName kIconSides[] = {{0, "IconLeft"}, {1, "IconRight"}};
constexpr ValueName kOrientations[] = {{0, "Horizontal"}, {1, "VerticalUp"}, {2, "VerticalDown"}};
constexpr ValueName kCaptionStyles[] = {
    {0, "Plain"}, {1, "Engraved"}, {2, "Embossed"}, {3, "Shadowed"}};
constexpr ValueName kButtonStyles[] = {
    {0, "Rectangular"}, {1, "LeftSegment"}, {2, "MiddleSegment"}, {3, "RightSegment"}};
constexpr ValueName kGradientOrientations[] = {
    {0, "GradientHorizontal"},
    {1, "GradientVertical"},
    {2, "GradientHorizontalReversed"},
    {3, "GradientVerticalReversed"},
};
constexpr ValueName kCaptionSmoothings[] = {{0, "Standard"}, {1, "Off"}, {2, "Full"}};
constexpr ValueName kIconSizes[] = {{1, "Icon8"}, {2, "Icon16"}, {3, "Icon24"}, {4, "Icon32"}};
constexpr ValueName kMousePointers[] = {
    {0, "DefaultPointer"},        {1, "ArrowPointer"},
    {2, "CrossPointer"},          {3, "IBeamPointer"},
    {4, "IconPointer"},           {5, "SizePointer"},
    {6, "SizeNESWPointer"},       {7, "SizeNSPointer"},
    {8, "SizeNWSEPointer"},       {9, "SizeWEPointer"},
    {10, "UpArrowPointer"},       {11, "HourglassPointer"},
    {12, "NoDropPointer"},        {13, "ArrowHourglassPointer"},
    {14, "ArrowQuestionPointer"}, {15, "SizeAllPointer"},
    {99, "CustomPointer"},
};

struct Enumerated {
  const char* member;
  const char* key;
  std::span<const ValueName> names;
};

constexpr std::array<Enumerated, 11> kEnumerated = {{
    {"ButtonType", "btype", kButtonTypes},
    {"ColorScheme", "coltype", kColorSchemes},
    {"Alignment", "align", kAlignments},
    {"IconAlignmentValue", "iconalign", kIconSides},
    {"CaptionOrientation", "orient", kOrientations},
    {"CaptionStyle", "style", kCaptionStyles},
    {"ButtonStyle", "bstyle", kButtonStyles},
    {"GradientOrientation", "gstyle", kGradientOrientations},
    {"IconSize", "iconsize", kIconSizes},
    {"MousePointer", "mptr", kMousePointers},
    {"CaptionSmoothing", "captionsmoothing", kCaptionSmoothings},
}};

bool SameWord(std::string_view a, std::string_view b) {
  return host::LowerKey(a) == host::LowerKey(b);
}

// The properties a running program can no longer change, with their range.
struct Fixed {
  const char* member;
  Long low;
  Long high;
};
constexpr Fixed kFixedAtRunTime[] = {
    {"Alignment", 0, 2},   {"ShowFocus", 0, 0},          {"IconAlignmentValue", 0, 1},
    {"ButtonType", 1, 8},  {"IconSize", 1, 4},           {"ColorScheme", 1, 5},
    {"ButtonStyle", 0, 3}, {"CaptionOrientation", 0, 2},
};

constexpr const char* kCustomOnly[] = {"BackColor",        "ForeColor",           "MouseOver",
                                       "EmbossEngraveMid", "EmbossEngraveShadow", "CaptionStyle"};

std::string Range(Long low, Long high) {
  return std::to_string(low) + ".." + std::to_string(high);
}

std::string SchemeText(Long scheme) {
  return ValueText("ColorScheme", button::MemberValue{scheme});
}

}  // namespace

std::span<const ValueName> ValueNamesOf(std::string_view member_or_key) {
  for (const Enumerated& e : kEnumerated) {
    if (SameWord(member_or_key, e.member) || SameWord(member_or_key, e.key)) return e.names;
  }
  return {};
}

std::optional<Long> ValueOfName(std::span<const ValueName> names, std::string_view name) {
  for (const ValueName& n : names) {
    if (SameWord(name, n.name)) return n.value;
  }
  return std::nullopt;
}

std::string ValueText(std::string_view member, const button::MemberValue& value) {
  if (const auto* l = std::get_if<Long>(&value)) {
    for (const ValueName& n : ValueNamesOf(member)) {
      if (n.value == *l) return n.name;
    }
    const button::MemberInfo* m = button::TorvelButton::FindMember(member);
    if (m != nullptr && m->type == button::MemberType::Color && *l >= 0) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "0x%06X", static_cast<unsigned>(*l));
      return buf;
    }
    return std::to_string(*l);
  }
  if (const auto* b = std::get_if<button::Bool16>(&value)) return *b ? "True" : "False";
  if (const auto* s = std::get_if<std::string>(&value)) return "\"" + *s + "\"";
  return "(a value)";
}

std::optional<std::string> IgnoredAtRunTime(const button::TorvelButton& b, std::string_view member,
                                            const button::MemberValue& value) {
  const button::MemberValue now = b.GetMember(member);
  const auto* v = std::get_if<Long>(&value);
  for (const Fixed& f : kFixedAtRunTime) {
    if (!SameWord(member, f.member)) continue;
    if (v != nullptr && f.high > f.low && (*v < f.low || *v > f.high)) {
      return "the value is outside " + Range(f.low, f.high);
    }
    if (now == value) return std::nullopt;
    return "it is fixed while the program runs: set it before the button is first shown, or "
           "through the stored properties";
  }
  const Long scheme = b.ColorScheme();
  const bool custom = scheme == button::CustomColors || scheme == button::CustomGradient;
  for (const char* c : kCustomOnly) {
    if (!SameWord(member, c)) continue;
    if (SameWord(member, "CaptionStyle") && v != nullptr && (*v < 0 || *v > 3)) {
      return "the value is outside " + Range(0, 3);
    }
    if (now == value || custom) return std::nullopt;
    return "it applies only under the CustomColors and CustomGradient colour schemes, and the "
           "scheme is " +
           SchemeText(scheme);
  }
  if (SameWord(member, "GradientStartColor") || SameWord(member, "GradientStopColor")) {
    if (now == value) return std::nullopt;
    const Long type = b.ButtonType();
    if (type == button::WindowsXP || type == button::Macintosh) {
      return "the " + ValueText("ButtonType", button::MemberValue{type}) + " look has no gradient";
    }
    if (scheme != button::CustomGradient) {
      return "it applies only under the CustomGradient colour scheme, and the scheme is " +
             SchemeText(scheme);
    }
  }
  return std::nullopt;
}

}  // namespace vx::notes

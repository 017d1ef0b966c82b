#include <algorithm>

#include "button/model/torvel_button.h"

namespace vx::button {

namespace {

struct MemberOps {
  MemberInfo info;
  MemberValue (*get)(const TorvelButton&);
  void (*set)(TorvelButton&, const MemberValue&);
};

template <class T>
const T& As(const MemberValue& v) {
  if (auto* p = std::get_if<T>(&v)) return *p;
  throw std::invalid_argument("a value of another type was expected");
}

// Pictures may also be cleared with the empty value.
host::PicturePtr AsPicture(const MemberValue& v) {
  if (std::holds_alternative<std::monostate>(v)) return nullptr;
  return As<host::PicturePtr>(v);
}

using B = TorvelButton;
using V = const MemberValue&;
constexpr auto kL = MemberType::Long;
constexpr auto kC = MemberType::Color;
constexpr auto kB = MemberType::Boolean;

const std::vector<MemberOps>& Ops() {
  static const std::vector<MemberOps> ops = {
      {{"Alignment", kL, "Alignment of caption within the button. Read-only at runtime", true,
        true},
       [](const B& b) { return MemberValue{b.Alignment()}; },
       [](B& b, V v) { b.SetAlignment(As<Long>(v)); }},
      {{"ShowFocus", kB,
        "When button has focus, display an inner rectangle or highlight button. Style dependent "
        "upon button type.",
        true, true},
       [](const B& b) { return MemberValue{b.ShowFocus()}; },
       [](B& b, V v) { b.SetShowFocus(As<Bool16>(v)); }},
      {{"GraphicsMode", kL, "Used to force vertical text to display.", true, true},
       [](const B& b) { return MemberValue{b.GraphicsMode()}; },
       [](B& b, V v) { b.SetGraphicsMode(As<Long>(v)); }},
      {{"Value", kB,
        "Applicable only when OptionButton is set to true. Either True for selected or False for "
        "unselected.",
        true, true},
       [](const B& b) { return MemberValue{b.Value()}; },
       [](B& b, V v) { b.SetValue(As<Bool16>(v)); }},
      {{"OptionButton", kB,
        "IF set to True then button acts as an option button, otherwise acts as a command button.",
        true, true},
       [](const B& b) { return MemberValue{b.OptionButton()}; },
       [](B& b, V v) { b.SetOptionButton(As<Bool16>(v)); }},
      {{"IconAlignmentValue", kL, "Icon left or right edge of caption. Read-only at runtime", true,
        true},
       [](const B& b) { return MemberValue{b.IconAlignmentValue()}; },
       [](B& b, V v) { b.SetIconAlignmentValue(As<Long>(v)); }},
      {{"EmbossEngraveShadow", kC,
        "The shadow color used when embossing, engraving or shadowing button caption.", true, true},
       [](const B& b) { return MemberValue{b.EmbossEngraveShadow()}; },
       [](B& b, V v) { b.SetEmbossEngraveShadow(As<Long>(v)); }},
      {{"EmbossEngraveMid", kC,
        "Middle color between fore color and EmbossEngrave Shadow color. Not used with Shadow "
        "caption style.",
        true, true},
       [](const B& b) { return MemberValue{b.EmbossEngraveMid()}; },
       [](B& b, V v) { b.SetEmbossEngraveMid(As<Long>(v)); }},
      {{"GradientStartColor", kC, "N/A for Win95 & below. Color to begin gradient fill.", true,
        true},
       [](const B& b) { return MemberValue{b.GradientStartColor()}; },
       [](B& b, V v) { b.SetGradientStartColor(As<Long>(v)); }},
      {{"GradientOrientation", kL, "", true, true},
       [](const B& b) { return MemberValue{b.GradientOrientation()}; },
       [](B& b, V v) { b.SetGradientOrientation(As<Long>(v)); }},
      {{"GradientStopColor", kC, "N/A for Win95 & below. Color to end gradient fill.", true, true},
       [](const B& b) { return MemberValue{b.GradientStopColor()}; },
       [](B& b, V v) { b.SetGradientStopColor(As<Long>(v)); }},
      {{"BackColor", kC, "Not applicable unless Custom ColorScheme is applied.", true, true},
       [](const B& b) { return MemberValue{b.BackColor()}; },
       [](B& b, V v) { b.SetBackColor(As<Long>(v)); }},
      {{"ForeColor", kC, "Color of button caption font.", true, true},
       [](const B& b) { return MemberValue{b.ForeColor()}; },
       [](B& b, V v) { b.SetForeColor(As<Long>(v)); }},
      {{"MouseOver", kC,
        "Font color when mouse hovers over a button. CustomColor Scheme must be applied. ", true,
        true},
       [](const B& b) { return MemberValue{b.MouseOver()}; },
       [](B& b, V v) { b.SetMouseOver(As<Long>(v)); }},
      {{"Icon", MemberType::Picture, "Button icon.", true, true},
       [](const B& b) { return MemberValue{b.Icon()}; },
       [](B& b, V v) { b.SetIcon(AsPicture(v)); }},
      {{"ButtonType", kL, "One of several button types. Read-only at runtime", true, true},
       [](const B& b) { return MemberValue{b.ButtonType()}; },
       [](B& b, V v) { b.SetButtonType(As<Long>(v)); }},
      {{"Caption", MemberType::String, "Button Caption", true, true},
       [](const B& b) { return MemberValue{b.Caption()}; },
       [](B& b, V v) { b.SetCaption(As<std::string>(v)); }},
      {{"IconSize", kL,
        "Icon size to display on button. Image list name and icon index must be provided.", true,
        true},
       [](const B& b) { return MemberValue{b.IconSize()}; },
       [](B& b, V v) { b.SetIconSize(As<Long>(v)); }},
      {{"CaptionStyle", kL,
        "Engraved, Embossed, Shadowed or Plain. Applicable when ColorScheme is Custom Colors.",
        true, true},
       [](const B& b) { return MemberValue{b.CaptionStyle()}; },
       [](B& b, V v) { b.SetCaptionStyle(As<Long>(v)); }},
      {{"Enabled", kB,
        "Returns/set value to determine whether button can interact with user-generated events.",
        true, true},
       [](const B& b) { return MemberValue{b.Enabled()}; },
       [](B& b, V v) { b.SetEnabled(As<Bool16>(v)); }},
      {{"Font", MemberType::Font, "Button caption font", true, true},
       [](const B& b) { return MemberValue{b.Font()}; },
       [](B& b, V v) { b.SetFont(As<host::FontPtr>(v)); }},
      {{"ColorScheme", kL,
        "Most colors are ignored unless Custom ColorScheme is applied. Read-only at runtime", true,
        true},
       [](const B& b) { return MemberValue{b.ColorScheme()}; },
       [](B& b, V v) { b.SetColorScheme(As<Long>(v)); }},
      {{"ButtonStyle", kL, "Default rectangular or segmeneted", true, true},
       [](const B& b) { return MemberValue{b.ButtonStyle()}; },
       [](B& b, V v) { b.SetButtonStyle(As<Long>(v)); }},
      {{"CaptionOrientation", kL,
        "Changes text between horizontal and veritcal display. Read-only at runtime", true, true},
       [](const B& b) { return MemberValue{b.CaptionOrientation()}; },
       [](B& b, V v) { b.SetCaptionOrientation(As<Long>(v)); }},
      {{"MousePointer", kL, "Sets a custom mouse pointer.", true, true},
       [](const B& b) { return MemberValue{b.MousePointer()}; },
       [](B& b, V v) { b.SetMousePointer(As<Long>(v)); }},
      {{"Container", MemberType::String, "", true, false},
       [](const B& b) { return MemberValue{b.Container()}; },
       nullptr},
      {{"MouseIcon", MemberType::Picture, "Sets a custom mouse icon.", true, true},
       [](const B& b) { return MemberValue{b.MouseIcon()}; },
       [](B& b, V v) { b.SetMouseIcon(AsPicture(v)); }},
      {{"hwnd", kL, "Button Window handle", true, false},
       [](const B& b) { return MemberValue{static_cast<Long>(b.hwnd())}; },
       nullptr},
      // Our own, after the interface's properties.
      {{"CaptionSmoothing", kL,
        "How the caption's text is smoothed: Standard (by the font's own sizes), Off or Full.",
        true, true},
       [](const B& b) { return MemberValue{b.CaptionSmoothing()}; },
       [](B& b, V v) { b.SetCaptionSmoothing(As<Long>(v)); }},
      {{"RefreshButton", MemberType::Method, "Redraws button", false, false}, nullptr, nullptr},
  };
  return ops;
}

const MemberOps* FindOps(std::string_view name) {
  const std::string lower = host::LowerKey(name);
  for (const MemberOps& op : Ops()) {
    if (host::LowerKey(op.info.name) == lower) return &op;
  }
  return nullptr;
}

const MemberOps& Require(std::string_view name) {
  const MemberOps* op = FindOps(name);
  if (!op) throw std::invalid_argument("no member named \"" + std::string(name) + "\"");
  return *op;
}

}  // namespace

const std::vector<MemberInfo>& TorvelButton::Members() {
  static const std::vector<MemberInfo> infos = [] {
    std::vector<MemberInfo> v;
    for (const MemberOps& op : Ops()) v.push_back(op.info);
    return v;
  }();
  return infos;
}

const MemberInfo* TorvelButton::FindMember(std::string_view name) {
  const MemberOps* op = FindOps(name);
  return op ? &op->info : nullptr;
}

MemberValue TorvelButton::GetMember(std::string_view name) const {
  const MemberOps& op = Require(name);
  if (!op.get) throw std::invalid_argument(std::string(op.info.name) + " cannot be read");
  return op.get(*this);
}

void TorvelButton::SetMember(std::string_view name, const MemberValue& value) {
  const MemberOps& op = Require(name);
  if (!op.set) throw std::invalid_argument(std::string(op.info.name) + " cannot be assigned");
  try {
    op.set(*this, value);
  } catch (const std::invalid_argument& e) {
    throw std::invalid_argument(std::string(op.info.name) + ": " + e.what());
  }
}

void TorvelButton::InvokeMember(std::string_view name) {
  const MemberOps& op = Require(name);
  if (op.info.type != MemberType::Method) {
    throw std::invalid_argument(std::string(op.info.name) + " is not a method");
  }
  RefreshButton();  // the only method
}

}  // namespace vx::button

#include "button/tool/button_setup.h"

#include <iostream>

#include "button/model/value_text.h"
#include "button/qt/property_notes.h"
#include "platform/host/json_property_bag.h"
#include "platform/json/json_reader.h"

namespace vx::tool {
namespace {

using Json = host::JsonPropertyBag::Json;

std::pair<std::string, std::string> SplitPair(const std::string& option, const std::string& arg) {
  const auto eq = arg.find('=');
  if (eq == std::string::npos || eq == 0) {
    throw UsageError(option + " wants NAME=VALUE, not \"" + arg + "\"");
  }
  return {arg.substr(0, eq), arg.substr(eq + 1)};
}

Json LoadStoredSet(const std::string& file) {
  Json j;
  try {
    j = json::ParseFile(file);
  } catch (const json::JsonReadError& e) {
    throw std::runtime_error("\"" + file + "\": " + e.reason());
  }
  if (!j.is_object()) throw std::runtime_error("\"" + file + "\" does not hold a JSON object");
  return j;
}

// A --set value as the stored set would hold it, typed by its key. Text that
// does not fit the key's type stays text, so that reading reports the key.
Json StoredValueFromText(const std::string& key, const std::string& text) {
  const std::string lower = host::LowerKey(key);
  std::optional<button::StoredType> type;
  for (const button::StoredProperty& k : button::StoredProperties()) {
    if (host::LowerKey(k.key) == lower) type = k.type;
  }
  using T = button::StoredType;
  if (!type || *type == T::Long || *type == T::Int16) {
    if (auto n = button::ParseLongText(text)) return *n;
    if (auto n = notes::ValueOfName(notes::ValueNamesOf(key), text)) return *n;
  } else if (*type == T::Boolean) {
    if (auto b = button::ParseBoolText(text)) return *b != 0;
  } else if (*type == T::Font) {
    if (auto a = button::ParseFontText(text))
      return host::JsonPropertyBag::FontToJson(host::Font(*a));
  } else if (*type == T::Picture && text.empty()) {
    return nullptr;
  }
  return text;
}

void SetStored(Json& stored, const std::string& key, Json value) {
  const std::string lower = host::LowerKey(key);
  for (auto it = stored.begin(); it != stored.end(); ++it) {
    if (host::LowerKey(it.key()) == lower) {
      stored.erase(it);
      break;
    }
  }
  stored[lower] = std::move(value);
}

// "one of A, B or C".
std::string NameList(std::span<const notes::ValueName> names) {
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? " or " : ", ";
    list += names[i].name;
  }
  return list;
}

// An enumerated member's value given by name becomes its number; other text
// stays as it is, for the member's own parser to judge.
std::string NumberForName(const button::MemberInfo& m, const std::string& text) {
  const auto names = notes::ValueNamesOf(m.name);
  if (names.empty() || button::ParseLongText(text)) return text;
  if (auto n = notes::ValueOfName(names, text)) return std::to_string(*n);
  throw std::invalid_argument("not a number nor one of " + NameList(names));
}

}  // namespace

const char* const kButtonOptionsHelp =
    "  --props FILE.json        restore the button from a stored property set, a flat\n"
    "                           JSON object of lower-case keys (without it, and without\n"
    "                           --set, the button is initialised as a new one)\n"
    "  --set KEY=VALUE          put a stored value over the set before it is restored\n"
    "                           (repeatable; KEY as stored, e.g. btype=4)\n"
    "  --assign NAME=VALUE      assign a public property after restoring (repeatable, in\n"
    "                           order; e.g. Caption=OK, ButtonType=WindowsXP,\n"
    "                           Font=Arial,10,bold); at run time (without --design) the\n"
    "                           rules ignore some, and say so on standard error\n"
    "  --design                 build the button at design time instead of run time\n"
    "  --version P.MAJOR.MINOR  the platform version the button detects (default: this\n"
    "                           machine's)\n"
    "  --name NAME              the display name the host gives the control\n"
    "\n"
    "Enumerated values are taken by number or by name, in any case:\n"
    "  ButtonType (btype)       1 OutlinedBevel, 2 Classic3D, 3 WindowsXP, 4 Etched,\n"
    "                           5 SoftBevel, 6 ThinBevel, 7 HoverBevel, 8 Macintosh\n"
    "  ColorScheme (coltype)    1 SystemColors, 2 CustomColors, 3 FixedGrey,\n"
    "                           4 ParentColors, 5 CustomGradient\n"
    "  Alignment (align)        0 AlignLeft, 1 AlignCenter, 2 AlignRight\n"
    "  IconAlignmentValue (iconalign)  0 IconLeft, 1 IconRight\n"
    "  CaptionOrientation (orient)     0 Horizontal, 1 VerticalUp, 2 VerticalDown\n"
    "  CaptionStyle (style)     0 Plain, 1 Engraved, 2 Embossed, 3 Shadowed\n"
    "  ButtonStyle (bstyle)     0 Rectangular, 1 LeftSegment, 2 MiddleSegment,\n"
    "                           3 RightSegment\n"
    "  GradientOrientation (gstyle)    0 GradientHorizontal, 1 GradientVertical,\n"
    "                           2 GradientHorizontalReversed, 3 GradientVerticalReversed\n"
    "  IconSize (iconsize)      1 Icon8, 2 Icon16, 3 Icon24, 4 Icon32\n"
    "  MousePointer (mptr)      0 DefaultPointer, 1 ArrowPointer, ... 15 SizeAllPointer,\n"
    "                           99 CustomPointer\n"
    "  CaptionSmoothing (captionsmoothing)  0 Standard, 1 Off, 2 Full\n";

const std::string& OptionValue(const std::vector<std::string>& args, std::size_t& i) {
  if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
  return args[++i];
}

bool ParseButtonOption(const std::vector<std::string>& args, std::size_t& i, ButtonOptions& o) {
  const std::string& a = args[i];
  if (a == "--design") {
    o.design = true;
  } else if (a == "--props") {
    o.props_file = OptionValue(args, i);
  } else if (a == "--set") {
    o.sets.push_back(SplitPair(a, OptionValue(args, i)));
  } else if (a == "--assign") {
    o.assigns.push_back(SplitPair(a, OptionValue(args, i)));
  } else if (a == "--version") {
    const std::string& v = OptionValue(args, i);
    o.version = host::ParseVersionText(v);
    if (!o.version) throw UsageError("--version wants P.MAJOR.MINOR, not \"" + v + "\"");
  } else if (a == "--name") {
    o.name = OptionValue(args, i);
  } else {
    return false;
  }
  return true;
}

void ConfigureHost(host::HeadlessHost& host, const ButtonOptions& o) {
  host.SetUserMode(!o.design);
  if (o.name) host.SetDisplayName(*o.name);
  if (o.version) host.SetVersion(*o.version);
}

void RestoreButton(button::TorvelButton& button, const ButtonOptions& o) {
  if (!o.props_file && o.sets.empty()) {
    button.InitProperties();
    return;
  }
  Json stored = o.props_file ? LoadStoredSet(*o.props_file) : Json::object();
  for (const auto& [key, text] : o.sets) SetStored(stored, key, StoredValueFromText(key, text));
  host::JsonPropertyBag bag(std::move(stored));
  button.ReadProperties(bag);
}

void ApplyAssignments(button::TorvelButton& button, host::HeadlessHost& host,
                      const ButtonOptions& o) {
  using button::MemberType;
  using button::TorvelButton;
  for (const auto& [name, text] : o.assigns) {
    const button::MemberInfo* m = TorvelButton::FindMember(name);
    if (!m || m->type == MemberType::Method) {
      throw std::runtime_error("no property named \"" + name + "\"");
    }
    if (!m->writable) throw std::runtime_error(std::string(m->name) + " is read-only");
    std::optional<std::string> ignored;
    try {
      const button::MemberValue value =
          button::ParseMemberText(m->type, NumberForName(*m, text), host);
      if (!o.design) ignored = notes::IgnoredAtRunTime(button, m->name, value);
      button.SetMember(m->name, value);
    } catch (const std::exception& e) {
      throw std::runtime_error("cannot assign " + std::string(m->name) + "=" + text + ": " +
                               e.what());
    }
    // Not a failure: the button does what the rules say. But whoever typed
    // it expected a change.
    if (ignored) {
      std::cerr << "torvelbutton: " << m->name << "=" << text << " was ignored: " << *ignored
                << " (--design assigns as a designer does)\n";
    }
  }
}

}  // namespace vx::tool

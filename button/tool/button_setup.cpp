#include "button/tool/button_setup.h"

#include <fstream>

#include "button/model/value_text.h"
#include "platform/host/json_property_bag.h"

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
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot open \"" + file + "\"");
  Json j;
  try {
    j = Json::parse(in);
  } catch (const Json::exception& e) {
    throw std::runtime_error("\"" + file + "\" is not valid JSON: " + e.what());
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

}  // namespace

const char* const kButtonOptionsHelp =
    "  --props FILE.json        restore the button from a stored property set, a flat\n"
    "                           JSON object of lower-case keys (without it, and without\n"
    "                           --set, the button is initialised as a new one)\n"
    "  --set KEY=VALUE          put a stored value over the set before it is restored\n"
    "                           (repeatable; KEY as stored, e.g. btype=4)\n"
    "  --assign NAME=VALUE      assign a public property after restoring (repeatable, in\n"
    "                           order; e.g. Caption=OK, ButtonType=3, Font=Arial,10,bold)\n"
    "  --design                 build the button at design time instead of run time\n"
    "  --version P.MAJOR.MINOR  the platform version the button detects (default: this\n"
    "                           machine's)\n"
    "  --name NAME              the display name the host gives the control\n";

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
    try {
      button.SetMember(m->name, button::ParseMemberText(m->type, text, host));
    } catch (const std::exception& e) {
      throw std::runtime_error("cannot assign " + std::string(m->name) + "=" + text + ": " +
                               e.what());
    }
  }
}

}  // namespace vx::tool

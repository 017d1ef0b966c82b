// torvelbutton props: creates a button on the headless host, initialises or
// restores it, applies assignments and prints what came of them.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "button/model/torvel_button.h"
#include "button/model/value_text.h"
#include "button/tool/subcommands.h"
#include "platform/host/headless.h"
#include "platform/host/json_property_bag.h"

namespace vx::tool {

const char* const kPropsUsage =
    "props [--design] [--props FILE.json] [--set KEY=VALUE]... [--assign NAME=VALUE]...\n"
    "        [--version P.MAJOR.MINOR] [--name NAME] [--json]";

namespace {

using button::MemberType;
using button::MemberValue;
using button::TorvelButton;
using Json = host::JsonPropertyBag::Json;

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  bool design = false;
  bool json = false;
  std::optional<std::string> props_file;
  std::vector<std::pair<std::string, std::string>> sets;
  std::vector<std::pair<std::string, std::string>> assigns;
  std::optional<host::VersionTriple> version;
  std::optional<std::string> name;
};

std::pair<std::string, std::string> SplitPair(const std::string& option, const std::string& arg) {
  const auto eq = arg.find('=');
  if (eq == std::string::npos || eq == 0) {
    throw UsageError(option + " wants NAME=VALUE, not \"" + arg + "\"");
  }
  return {arg.substr(0, eq), arg.substr(eq + 1)};
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
      return args[++i];
    };
    if (a == "--design") {
      o.design = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--props") {
      o.props_file = value();
    } else if (a == "--set") {
      o.sets.push_back(SplitPair(a, value()));
    } else if (a == "--assign") {
      o.assigns.push_back(SplitPair(a, value()));
    } else if (a == "--version") {
      const std::string& v = value();
      o.version = host::ParseVersionText(v);
      if (!o.version) throw UsageError("--version wants P.MAJOR.MINOR, not \"" + v + "\"");
    } else if (a == "--name") {
      o.name = value();
    } else {
      throw UsageError("unknown option \"" + a + "\"");
    }
  }
  return o;
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
  for (const button::StoredKey& k : button::StoredKeys()) {
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

Json FontJson(const host::FontPtr& f) {
  if (!f) return nullptr;
  return Json{{"name", f->name()},           {"size", f->size()},
              {"bold", f->bold()},           {"italic", f->italic()},
              {"underline", f->underline()}, {"strikethrough", f->strikethrough()},
              {"charset", f->charset()}};
}

Json PictureJson(const host::PicturePtr& p) {
  if (!p) return nullptr;
  return Json{{"width", p->width()}, {"height", p->height()}};
}

Json MemberJson(const MemberValue& v) {
  if (auto* l = std::get_if<button::Long>(&v)) return *l;
  if (auto* b = std::get_if<button::Bool16>(&v)) return *b != 0;
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  if (auto* f = std::get_if<host::FontPtr>(&v)) return FontJson(*f);
  if (auto* p = std::get_if<host::PicturePtr>(&v)) return PictureJson(*p);
  return nullptr;
}

std::string ColorText(button::Long c) {
  if (c < 0) return std::to_string(c);
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06X", static_cast<unsigned>(c));
  return buf;
}

std::string MemberText(MemberType type, const MemberValue& v) {
  if (auto* l = std::get_if<button::Long>(&v)) {
    return type == MemberType::Color ? ColorText(*l) : std::to_string(*l);
  }
  if (auto* b = std::get_if<button::Bool16>(&v)) return *b ? "True" : "False";
  if (auto* s = std::get_if<std::string>(&v)) return "\"" + *s + "\"";
  if (auto* f = std::get_if<host::FontPtr>(&v)) {
    if (!*f) return "(none)";
    std::ostringstream o;
    o << (*f)->name() << ", " << (*f)->size() << " pt, weight " << (*f)->weight();
    if ((*f)->italic()) o << ", italic";
    if ((*f)->underline()) o << ", underline";
    if ((*f)->strikethrough()) o << ", strikethrough";
    o << ", charset " << (*f)->charset();
    return o.str();
  }
  if (auto* p = std::get_if<host::PicturePtr>(&v)) {
    if (!*p) return "(none)";
    return std::to_string((*p)->width()) + " x " + std::to_string((*p)->height()) + " pixels";
  }
  return "";
}

const char* IconName(host::MessageIcon icon) {
  switch (icon) {
    case host::MessageIcon::Warning:
      return "warning";
    case host::MessageIcon::Information:
      return "information";
    case host::MessageIcon::Critical:
      return "critical";
    case host::MessageIcon::Question:
      return "question";
    case host::MessageIcon::None:
      break;
  }
  return "none";
}

struct Working {
  const char* name;
  button::Color button::ButtonState::*field;
};
constexpr Working kWorking[] = {
    {"FaceColor", &button::ButtonState::FaceColor},
    {"LightColor", &button::ButtonState::LightColor},
    {"HighlightColor", &button::ButtonState::HighlightColor},
    {"ShadowColor", &button::ButtonState::ShadowColor},
    {"DarkShadowColor", &button::ButtonState::DarkShadowColor},
    {"TextColor", &button::ButtonState::TextColor},
    {"HoverTextColor", &button::ButtonState::HoverTextColor},
};

void PrintJson(const TorvelButton& b, const host::HeadlessHost& host, const Json& stored) {
  Json out = Json::object();
  Json props = Json::object();
  for (const button::MemberInfo& m : TorvelButton::Members()) {
    if (m.readable) props[m.name] = MemberJson(b.GetMember(m.name));
  }
  out["properties"] = std::move(props);
  Json working = Json::object();
  for (const Working& w : kWorking) working[w.name] = b.state().*w.field;
  out["working"] = std::move(working);
  out["changed"] = host.changed_keys();
  Json messages = Json::array();
  for (const auto& m : host.messages()) {
    messages.push_back(Json{{"icon", IconName(m.icon)}, {"text", m.text}});
  }
  out["messages"] = std::move(messages);
  out["stored"] = stored;
  std::cout << out.dump(2) << "\n";
}

void PrintListing(const TorvelButton& b, const host::HeadlessHost& host, const Json& stored) {
  auto row = [](const std::string& name, const std::string& value) {
    std::string padded = "  " + name;
    padded.resize(std::max<std::size_t>(padded.size() + 1, 24), ' ');
    std::cout << padded << value << "\n";
  };
  std::cout << "Properties:\n";
  for (const button::MemberInfo& m : TorvelButton::Members()) {
    if (m.readable) row(m.name, MemberText(m.type, b.GetMember(m.name)));
  }
  std::cout << "Working colours:\n";
  for (const Working& w : kWorking) row(w.name, ColorText(b.state().*w.field));
  std::cout << "PropertyChanged:";
  if (host.changed_keys().empty()) std::cout << " (none)";
  for (std::size_t i = 0; i < host.changed_keys().size(); ++i) {
    std::cout << (i ? ", " : " ") << host.changed_keys()[i];
  }
  std::cout << "\nMessages:" << (host.messages().empty() ? " (none)" : "") << "\n";
  for (const auto& m : host.messages()) {
    std::string text = m.text;
    for (std::size_t p; (p = text.find("\r\n")) != std::string::npos;) text.replace(p, 2, "\n    ");
    std::cout << "  [" << IconName(m.icon) << "] " << text << "\n";
  }
  std::cout << "Stored:\n";
  for (auto it = stored.begin(); it != stored.end(); ++it) row(it.key(), it.value().dump());
}

}  // namespace

int RunProps(const std::vector<std::string>& args) {
  Options o;
  try {
    o = ParseOptions(args);
  } catch (const UsageError& e) {
    std::cerr << "torvelbutton props: " << e.what() << "\nusage: torvelbutton " << kPropsUsage
              << "\n";
    return kExitUsage;
  }
  try {
    host::HeadlessHost host;
    host.SetUserMode(!o.design);
    if (o.name) host.SetDisplayName(*o.name);
    if (o.version) host.SetVersion(*o.version);
    TorvelButton button(host.site());
    host.Join(&button);

    if (!o.props_file && o.sets.empty()) {
      button.InitProperties();
    } else {
      Json stored = o.props_file ? LoadStoredSet(*o.props_file) : Json::object();
      for (const auto& [key, text] : o.sets) SetStored(stored, key, StoredValueFromText(key, text));
      host::JsonPropertyBag bag(std::move(stored));
      button.ReadProperties(bag);
    }

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

    host::JsonPropertyBag written;
    button.WriteProperties(written);
    if (o.json) {
      PrintJson(button, host, written.json());
    } else {
      PrintListing(button, host, written.json());
    }
    return kExitOk;
  } catch (const std::exception& e) {
    std::cerr << "torvelbutton props: " << e.what() << "\n";
    return kExitFailure;
  }
}

}  // namespace vx::tool

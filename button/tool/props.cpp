// torvelbutton props: creates a button on the headless host, initialises or
// restores it, applies assignments and prints what came of them.

#include <cstdio>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "button/model/torvel_button.h"
#include "button/tool/button_setup.h"
#include "button/tool/subcommands.h"
#include "platform/host/headless.h"
#include "platform/host/json_property_bag.h"
#include "platform/json/json_reader.h"
#include "platform/text/utf8.h"

namespace vx::tool {

const char* const kPropsUsage =
    "props [--design] [--props FILE.json] [--set KEY=VALUE]... [--assign NAME=VALUE]...\n"
    "        [--version P.MAJOR.MINOR] [--name NAME] [--json]";

const char* const kPropsHelp =
    "Creates a button on a host without a window, initialises it or restores it from a\n"
    "stored property set, applies assignments through its public properties and lists\n"
    "its properties, the host's messages and the stored set it writes back.\n"
    "\n"
    "Options:\n";

const char* const kPropsHelpEnd =
    "  --json                   print one JSON object instead of the listing\n"
    "  -h, --help               this text\n"
    "\n"
    "Exit status: 0 listed; 1 the button could not be built or a value not assigned;\n"
    "64 a usage error.\n";

namespace {

using button::MemberType;
using button::MemberValue;
using button::TorvelButton;
using Json = host::JsonPropertyBag::Json;

struct Options {
  ButtonOptions button;
  bool json = false;
  bool help = false;
};

Options ParseOptions(const std::vector<std::string>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (ParseButtonOption(args, i, o.button)) continue;
    if (args[i] == "--json") {
      o.json = true;
    } else if (IsHelpOption(args[i])) {
      o.help = true;
    } else {
      throw UsageError("unknown option \"" + args[i] + "\"");
    }
  }
  return o;
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

void PrintJson(const TorvelButton& b, const host::HeadlessHost& host, const Json& stored) {
  Json out = Json::object();
  Json props = Json::object();
  for (const button::MemberInfo& m : TorvelButton::Members()) {
    if (m.readable) props[m.name] = MemberJson(b.GetMember(m.name));
  }
  out["properties"] = std::move(props);
  Json working = Json::object();
  for (const WorkingColour& w : kWorkingColours) working[w.name] = b.state().*w.field;
  out["working"] = std::move(working);
  out["changed"] = host.changed_keys();
  Json messages = Json::array();
  for (const auto& m : host.messages()) {
    messages.push_back(Json{{"icon", IconName(m.icon)}, {"text", m.text}});
  }
  out["messages"] = std::move(messages);
  out["stored"] = stored;
  std::cout << json::Dump(out, 2) << "\n";
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
  for (const WorkingColour& w : kWorkingColours) row(w.name, ColorText(b.state().*w.field));
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
  for (auto it = stored.begin(); it != stored.end(); ++it) row(it.key(), json::Dump(it.value()));
}

}  // namespace

int RunProps(const std::vector<std::string>& args) {
  Options o;
  try {
    o = ParseOptions(args);
  } catch (const UsageError& e) {
    std::cerr << "torvelbutton props: " << text::EscapeForDisplay(e.what())
              << "\nusage: torvelbutton " << kPropsUsage << "\n";
    return kExitUsage;
  }
  if (o.help) {
    std::cout << "usage: torvelbutton " << kPropsUsage << "\n\n"
              << kPropsHelp << kButtonOptionsHelp << kPropsHelpEnd;
    return kExitOk;
  }
  try {
    host::HeadlessHost host;
    ConfigureHost(host, o.button);
    TorvelButton button(host.site());
    host.Join(&button);
    RestoreButton(button, o.button);
    ApplyAssignments(button, host, o.button);

    host::JsonPropertyBag written;
    button.WriteProperties(written);
    if (o.json) {
      PrintJson(button, host, written.json());
    } else {
      PrintListing(button, host, written.json());
    }
    return kExitOk;
  } catch (const std::exception& e) {
    std::cerr << "torvelbutton props: " << text::EscapeForDisplay(e.what()) << "\n";
    return kExitFailure;
  }
}

}  // namespace vx::tool

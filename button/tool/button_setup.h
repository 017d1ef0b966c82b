#pragma once

// Building a button on the headless host from command-line options, shared by
// the subcommands that start from a button (props, render).

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "button/model/torvel_button.h"
#include "platform/host/headless.h"

namespace vx::tool {

// The working colours by name, as the tools print them.
struct WorkingColour {
  const char* name;
  button::Color button::ButtonState::*field;
};
inline constexpr WorkingColour kWorkingColours[] = {
    {"FaceColor", &button::ButtonState::FaceColor},
    {"LightColor", &button::ButtonState::LightColor},
    {"HighlightColor", &button::ButtonState::HighlightColor},
    {"ShadowColor", &button::ButtonState::ShadowColor},
    {"DarkShadowColor", &button::ButtonState::DarkShadowColor},
    {"TextColor", &button::ButtonState::TextColor},
    {"HoverTextColor", &button::ButtonState::HoverTextColor},
};

// A wrong command line: the subcommand prints its usage and exits 64.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The options that say which button to build:
//   [--design] [--props FILE.json] [--set KEY=VALUE]... [--assign NAME=VALUE]...
//   [--version P.MAJOR.MINOR] [--name NAME]
struct ButtonOptions {
  bool design = false;
  std::optional<std::string> props_file;
  std::vector<std::pair<std::string, std::string>> sets;
  std::vector<std::pair<std::string, std::string>> assigns;
  std::optional<host::VersionTriple> version;
  std::optional<std::string> name;
};

// Takes the option at args[i] (and its value, moving i past it) when it is
// one of ButtonOptions'. Returns false for any other option; throws
// UsageError for a missing or malformed value.
bool ParseButtonOption(const std::vector<std::string>& args, std::size_t& i, ButtonOptions& o);

// The descriptions of the options above, for the subcommands' --help.
extern const char* const kButtonOptionsHelp;

// True for "-h" and "--help", which every subcommand answers with its help.
inline bool IsHelpOption(const std::string& arg) {
  return arg == "-h" || arg == "--help";
}

// "--opt" needs a value: args[++i], or UsageError.
const std::string& OptionValue(const std::vector<std::string>& args, std::size_t& i);

// Applies the host-side settings (user mode, display name, version). Must run
// before the button is created on `host`.
void ConfigureHost(host::HeadlessHost& host, const ButtonOptions& o);

// Initialises the button (no stored set given) or restores it from the
// stored set (--props, then the --set values over it). Throws, naming the
// file or key, when the set cannot be read.
void RestoreButton(button::TorvelButton& button, const ButtonOptions& o);

// The --assign values in order. Throws std::runtime_error naming the property
// when one fails.
void ApplyAssignments(button::TorvelButton& button, host::HeadlessHost& host,
                      const ButtonOptions& o);

}  // namespace vx::tool

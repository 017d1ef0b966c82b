// torvelbutton: headless tools over the button control, one subcommand each.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "button/tool/subcommands.h"
#include "platform/text/utf8.h"
#include "vettrix_version.h"

namespace {

struct Subcommand {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
  const char* const* usage;
  const char* summary;
};

const Subcommand kSubcommands[] = {
    {"props", vx::tool::RunProps, &vx::tool::kPropsUsage,
     "build a button, restore or initialise it, assign properties, list the result"},
    {"render", vx::tool::RunRender, &vx::tool::kRenderUsage,
     "draw one button into a PNG, transparent outside its window shape"},
    {"gallery", vx::tool::RunGallery, &vx::tool::kGalleryUsage,
     "draw every look in every state into one PNG"},
};

void PrintUsage(std::FILE* out) {
  const char* lead = "usage:";
  for (const Subcommand& s : kSubcommands) {
    std::fprintf(out, "%-6s torvelbutton %s\n", lead, *s.usage);
    lead = "";
  }
  std::fputs(
      "       torvelbutton SUBCOMMAND --help | torvelbutton --help | torvelbutton --version\n",
      out);
}

void PrintHelp() {
  PrintUsage(stdout);
  std::fputs("\nDraws and inspects the TorvelButton control without a window.\n\nSubcommands:\n",
             stdout);
  for (const Subcommand& s : kSubcommands) std::printf("  %-24s %s\n", s.name, s.summary);
  std::fputs(
      "\nOptions:\n"
      "  -h, --help               this text; SUBCOMMAND --help describes a subcommand\n"
      "  --version                print the version of torvelbutton\n",
      stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return vx::tool::kExitUsage;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintHelp();
    return vx::tool::kExitOk;
  }
  // Only here, before a subcommand: after one, --version is the platform
  // version the button detects.
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("torvelbutton %s\n", VETTRIX_VERSION);
    return vx::tool::kExitOk;
  }
  for (const Subcommand& s : kSubcommands) {
    if (std::strcmp(argv[1], s.name) == 0)
      return s.run(std::vector<std::string>(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "torvelbutton: unknown subcommand \"%s\"\n",
               vx::text::EscapeForDisplay(argv[1]).c_str());
  PrintUsage(stderr);
  return vx::tool::kExitUsage;
}

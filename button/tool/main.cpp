// torvelbutton: headless tools over the button control, one subcommand each.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "button/tool/subcommands.h"

namespace {

struct Subcommand {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
  const char* const* usage;
};

const Subcommand kSubcommands[] = {
    {"props", vx::tool::RunProps, &vx::tool::kPropsUsage},
    {"render", vx::tool::RunRender, &vx::tool::kRenderUsage},
    {"gallery", vx::tool::RunGallery, &vx::tool::kGalleryUsage},
};

void PrintUsage(std::FILE* out) {
  std::fputs("usage: torvelbutton SUBCOMMAND [OPTIONS]\n\nsubcommands:\n", out);
  for (const Subcommand& s : kSubcommands) std::fprintf(out, "  %s\n", *s.usage);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return vx::tool::kExitUsage;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(stdout);
    return vx::tool::kExitOk;
  }
  for (const Subcommand& s : kSubcommands) {
    if (std::strcmp(argv[1], s.name) == 0)
      return s.run(std::vector<std::string>(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "torvelbutton: unknown subcommand \"%s\"\n", argv[1]);
  PrintUsage(stderr);
  return vx::tool::kExitUsage;
}

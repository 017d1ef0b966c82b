#include "app/window/launch.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <vector>

namespace vx::window {
namespace {

bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

}  // namespace

bool HaveDisplay() {
  return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

std::string NoDisplayMessage(const std::string& address) {
  return "vettrix: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
         "set).\n" +
         (address.empty() ? std::string("Check a page without the window: vettrix check ADDRESS "
                                        "(see vettrix --help).")
                          : "Check it without the window: vettrix check " + address);
}

bool LooksLikeAddress(const std::string& arg) {
  if (arg.empty() || arg.front() == '-' || arg == "check") return false;
  if (arg.find_first_of("./:") != std::string::npos) return true;
  std::error_code ec;
  return std::filesystem::exists(arg, ec);
}

bool WantsWindow(int argc, char** argv) {
  if (argc <= 1) return true;
  const std::string_view first = argv[1];
  return first == "--form" || first.starts_with("--form=") || LooksLikeAddress(argv[1]);
}

int ExecWindow(int argc, char** argv) {
  if (!HaveDisplay()) {
    std::string address;
    for (int i = 1; i < argc; ++i) {
      if (LooksLikeAddress(argv[i]) && (i == 1 || std::string_view(argv[i - 1]) != "--form")) {
        address = argv[i];
      }
    }
    std::cerr << NoDisplayMessage(address) << "\n";
    return 2;
  }
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  const fs::path dir = ec ? fs::path(".") : self.parent_path();
  // Beside this program in the build tree; under libexec once installed.
  const fs::path candidates[] = {dir / "vettrix-window", dir / "../libexec/vettrix/vettrix-window"};
  for (const fs::path& exe : candidates) {
    if (!fs::exists(exe, ec)) continue;
    std::vector<char*> args;
    std::string program = exe.string();
    args.push_back(program.data());
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execv(program.c_str(), args.data());
    std::cerr << "vettrix: cannot start " << program << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  std::cerr << "vettrix: the window program (vettrix-window) is not installed beside "
            << (ec ? std::string("vettrix") : self.string()) << "\n";
  return 2;
}

}  // namespace vx::window

// Peak memory of a check run in the window over the empty window: writes the
// page file first (in this process, then frees it), opens the window, resets
// the kernel's peak-memory mark, runs the check and reports how far the peak
// rose above the empty window. Usage: bench_window_memory [0|1|2] (page kind
// of bench_pages.h; 2, 64 MiB of short lines, when omitted).

#include <malloc.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "app/window/main_window.h"
#include "bench/window/bench_pages.h"

namespace {

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0)
      return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vx::bench::window;
  const auto kind = static_cast<PageKind>(argc > 1 ? std::atoi(argv[1]) : 2);
  std::size_t page_bytes = 0;
  std::string file;
  {
    const std::string page = MakeWindowPage(kind);
    page_bytes = page.size();
    file = "/tmp/bench_window_memory_" + std::to_string(static_cast<int>(kind)) + ".html";
    std::ofstream(file, std::ios::binary) << page;
  }
  malloc_trim(0);

  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  vx::window::AddBundledFonts();
  vx::window::MainWindow window(vx::window::BuiltInForm());
  window.show();
  window.repaint();
  QApplication::processEvents();

  // From here the peak mark counts only what the run adds.
  std::ofstream("/proc/self/clear_refs") << "5";
  const long empty = StatusKiB("VmRSS");
  window.Text1().SetText(file);
  window.CmdCheck_Click();
  window.repaint();
  QApplication::processEvents();
  const long peak = StatusKiB("VmHWM");
  const long after = StatusKiB("VmRSS");
  const bool same = window.Text2().Text().size() == page_bytes;
  std::remove(file.c_str());

  const double page_mib = static_cast<double>(page_bytes) / (1 << 20);
  const double rise_mib = static_cast<double>(peak - empty) / 1024;
  std::printf("%s: empty window %.1f MiB, peak %.1f MiB, after %.1f MiB\n", Describe(kind),
              static_cast<double>(empty) / 1024, static_cast<double>(peak) / 1024,
              static_cast<double>(after) / 1024);
  std::printf("peak over the empty window: %.1f MiB = %.2f x the page (%.1f MiB)%s\n", rise_mib,
              rise_mib / page_mib, page_mib, same ? "" : "  [the source box lost text]");
  return same ? 0 : 1;
}

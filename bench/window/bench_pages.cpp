#include "bench/window/bench_pages.h"

#include <array>
#include <cstddef>
#include <filesystem>
#include <fstream>

#include "bench/app/page_gen.h"

namespace vx::bench::window {

std::string MakeWindowPage(PageKind kind) {
  const std::size_t bytes = (kind == PageKind::kShortLines64 ? std::size_t{64} : std::size_t{10})
                            << 20;
  std::string page = MakePage(bytes);
  for (char& c : page) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  if (kind == PageKind::kOneLine) return page;
  // A line end after each tag that closes past 60 characters into its line.
  std::size_t line_start = 0;
  for (std::size_t i = 0; i + 1 < page.size(); ++i) {
    if (page[i] == '>' && page[i + 1] == ' ' && i - line_start > 60) {
      page[i + 1] = '\n';
      line_start = i + 2;
    }
  }
  return page;
}

const std::string& Page(PageKind kind) {
  static std::array<std::string, 3> pages;
  std::string& page = pages[static_cast<std::size_t>(kind)];
  if (page.empty()) page = MakeWindowPage(kind);
  return page;
}

std::string PageFile(PageKind kind) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("bench_window_" + std::to_string(static_cast<int>(kind)) + ".html");
  std::ofstream(path, std::ios::binary) << Page(kind);
  return path.string();
}

const char* Describe(PageKind kind) {
  switch (kind) {
    case PageKind::kOneLine:
      return "10 MiB, one line";
    case PageKind::kShortLines:
      return "10 MiB, short lines";
    case PageKind::kShortLines64:
      return "64 MiB, short lines";
  }
  return "";
}

}  // namespace vx::bench::window

#pragma once

// The pages the window benchmarks check: a generated page of 10 MiB minified
// onto one line, the same with short lines, and 64 MiB of short lines.

#include <string>

namespace vx::bench::window {

enum class PageKind { kOneLine = 0, kShortLines = 1, kShortLines64 = 2 };

// Made once per process and kept.
const std::string& Page(PageKind kind);
// The page written to a file in the temporary folder (written once).
std::string PageFile(PageKind kind);
// "10 MiB, one line" and so on.
const char* Describe(PageKind kind);

// Makes the page without keeping it (for the memory benchmark).
std::string MakeWindowPage(PageKind kind);

}  // namespace vx::bench::window

#pragma once

// One recorded case of gdi-reference/buttons or gdi-reference/captions: its
// options as the case list gives them, and the button they describe drawn on
// a headless host, with its region and the state record the case compares.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/gdi/surface.h"
#include "platform/gdi/types.h"

namespace vx::render::reference {

struct Case {
  std::string name;
  std::map<std::string, std::string> opt;  // option name without "--"

  long Get(const std::string& key, long fallback) const;
  bool Has(const std::string& key) const { return opt.count(key) != 0; }
  // An option's text with its %XX escapes decoded ("" when absent).
  std::string Text(const std::string& key) const;
};

// Every case of a folder's cases.txt; empty when the list is missing.
std::vector<Case> LoadCases(const std::filesystem::path& folder);

std::vector<long> SplitNumbers(const std::string& text);

// The drawn button of one case and its state record, keyed as the .state
// files key theirs (a caption line is "Line 1", "Line 2", ...).
struct Drawn {
  Surface surface;
  gdi::Mask region;
  std::map<std::string, std::string> state;
};
Drawn DrawCase(const Case& c);

// A .state file as key -> rest of the line, caption lines numbered as in
// Drawn. Empty when the file is missing.
std::map<std::string, std::string> ReadState(const std::filesystem::path& file);

// The recorded picture, region and state of the case in `folder` against
// what DrawCase gives. Each text is "" when that part matches, else what
// differs first.
struct Verdict {
  std::string missing;  // the case's data could not be read
  std::string pixels;
  std::string region;
  std::string state;
  bool Identical() const { return missing.empty() && pixels.empty() && region.empty(); }
};
Verdict Judge(const std::filesystem::path& folder, const Case& c);

}  // namespace vx::render::reference

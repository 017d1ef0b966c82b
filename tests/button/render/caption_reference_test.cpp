// Whole buttons with captions against the reference pixels: every case of
// gdi-reference/captions is drawn and compared, and the share that is
// identical is reported per face and orientation. Captions are not yet all
// identical, so the test holds a ratchet: every case listed in
// captions-identical.txt must stay pixel- and region-identical, and every
// case in captions-layout-identical.txt must keep the recorded layout. A
// change can only add cases to the lists.
//
// VETTRIX_CAPTION_RATCHET_OUT=DIR writes the lists as they stand now into
// DIR, to grow the ratchet after an improvement; VETTRIX_CAPTION_DETAILS=1
// prints what differs in every case that is not identical.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/button/render/reference_case.h"
#include "tests/data/reference_data.h"

namespace vx::render {
namespace {

namespace fs = std::filesystem;

const fs::path kCaseDir = testdata::ReferenceDir() / "captions";
const fs::path kRatchetDir = testdata::ReferenceDir().parent_path();
constexpr const char* kIdenticalList = "captions-identical.txt";
constexpr const char* kLayoutList = "captions-layout-identical.txt";

// Case names, one a line; '#' starts a comment. Missing file: not found.
bool ReadList(const fs::path& file, std::set<std::string>& out) {
  std::ifstream in(file);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    out.insert(line);
  }
  return true;
}

void WriteList(const fs::path& file, const char* what, const std::set<std::string>& names) {
  std::ofstream out(file);
  out << "# " << what << "\n";
  for (const std::string& n : names) out << n << "\n";
}

std::string FaceOf(const reference::Case& c) {
  const std::string font = c.Text("font");
  return font.substr(0, font.find(','));
}

struct Tally {
  int cases = 0;
  int identical = 0;
  int layout = 0;
};

TEST(CaptionReference, IdenticalCasesStayIdentical) {
  const std::vector<reference::Case> cases = reference::LoadCases(kCaseDir);
  ASSERT_GT(cases.size(), 550u) << "caption cases missing in " << kCaseDir;
  std::set<std::string> want_identical, want_layout;
  ASSERT_TRUE(ReadList(kRatchetDir / kIdenticalList, want_identical))
      << "ratchet list missing: " << kRatchetDir / kIdenticalList;
  ASSERT_TRUE(ReadList(kRatchetDir / kLayoutList, want_layout))
      << "ratchet list missing: " << kRatchetDir / kLayoutList;
  std::set<std::string> known;
  for (const reference::Case& c : cases) known.insert(c.name);
  for (const auto* list : {&want_identical, &want_layout}) {
    for (const std::string& n : *list) EXPECT_EQ(known.count(n), 1u) << "no such case: " << n;
  }

  const bool details = std::getenv("VETTRIX_CAPTION_DETAILS") != nullptr;
  std::map<std::pair<std::string, long>, Tally> tallies;
  Tally all;
  std::set<std::string> identical, layout;
  for (const reference::Case& c : cases) {
    SCOPED_TRACE(c.name);
    const reference::Verdict v = reference::Judge(kCaseDir, c);
    ASSERT_TRUE(v.missing.empty()) << v.missing;
    Tally& t = tallies[{FaceOf(c), c.Get("orient", 0)}];
    ++t.cases, ++all.cases;
    if (v.Identical()) ++t.identical, ++all.identical, identical.insert(c.name);
    if (v.state.empty()) ++t.layout, ++all.layout, layout.insert(c.name);
    if (details && !(v.Identical() && v.state.empty())) {
      std::cout << c.name << ": " << v.pixels << " " << v.region << " " << v.state << "\n";
    }
    if (want_identical.count(c.name) != 0) {
      EXPECT_TRUE(v.Identical()) << "was identical, now: " << v.pixels << " " << v.region;
    }
    if (want_layout.count(c.name) != 0) {
      EXPECT_TRUE(v.state.empty()) << "had the recorded layout, now: " << v.state;
    }
  }

  std::ostringstream table;
  table << "caption cases identical (pixels and region) / same layout, by face and orientation:\n";
  for (const auto& [key, t] : tallies) {
    table << "  " << std::left << std::setw(16) << key.first << " orient " << key.second << ": "
          << std::right << std::setw(3) << t.identical << " / " << std::setw(3) << t.layout
          << " of " << std::setw(3) << t.cases << "\n";
  }
  table << "  all: " << all.identical << " / " << all.layout << " of " << all.cases << "\n";
  std::cout << table.str();
  const std::set<std::string> gained = [&] {
    std::set<std::string> g;
    for (const std::string& n : identical) {
      if (want_identical.count(n) == 0) g.insert(n);
    }
    return g;
  }();
  if (!gained.empty()) {
    std::cout << gained.size() << " cases identical that " << kIdenticalList
              << " does not list yet\n";
  }

  if (const char* out = std::getenv("VETTRIX_CAPTION_RATCHET_OUT")) {
    WriteList(fs::path(out) / kIdenticalList,
              "caption cases whose pixels and region are identical to the recording", identical);
    WriteList(fs::path(out) / kLayoutList,
              "caption cases whose layout and state equal the recording", layout);
  }
}

}  // namespace
}  // namespace vx::render

// Whole buttons against the reference pixels: every case of
// gdi-reference/buttons is built on a headless host, drawn, and compared
// pixel for pixel, together with its window region and its state record.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gdi/image_io.h"
#include "tests/data/reference_data.h"
#include "tests/support/button_rig.h"
#include "tests/support/surface_diff.h"

namespace vx::render {
namespace {

namespace fs = std::filesystem;

const fs::path kCaseDir = testdata::ReferenceDir() / "buttons";

struct Case {
  std::string name;
  std::map<std::string, std::string> opt;

  long Get(const std::string& key, long fallback) const {
    auto it = opt.find(key);
    return it == opt.end() ? fallback : std::stol(it->second, nullptr, 0);
  }
  bool Has(const std::string& key) const { return opt.count(key) != 0; }
};

std::vector<Case> LoadCases() {
  std::ifstream in(kCaseDir / "cases.txt");
  std::vector<Case> cases;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    Case c;
    words >> c.name;
    std::string key, value;
    while (words >> key >> value) c.opt[key.substr(2)] = value;
    cases.push_back(std::move(c));
  }
  return cases;
}

std::vector<long> SplitNumbers(const std::string& text) {
  std::vector<long> out;
  std::stringstream ss(text);
  std::string item;
  while (std::getline(ss, item, ',')) out.push_back(std::stol(item, nullptr, 0));
  return out;
}

// The drawn button of one case.
struct Drawn {
  Surface surface;
  gdi::Mask region;
  std::map<std::string, std::string> state;
};

// A state colour as the state records write it.
std::string Hex(Color c) {
  return support::Hex(static_cast<ColorRef>(c) & 0xFFFFFFu);
}

Drawn DrawCase(const Case& c) {
  support::ButtonRig rig(static_cast<int>(c.Get("w", 100)), static_cast<int>(c.Get("h", 30)),
                         c.Get("user-mode", 1) == 0);
  host::HeadlessHost& host = rig.host;
  host.container().SetBackColor(static_cast<ColorRef>(c.Get("parent-bk", 0xFFFFFF)));
  host.container().SetTextColor(static_cast<ColorRef>(c.Get("parent-text", 0x000000)));
  if (c.Has("palette")) {
    const std::vector<long> p = SplitNumbers(c.opt.at("palette"));
    const int slots[] = {host::COLOR_BTNFACE,    host::COLOR_BTNSHADOW,    host::COLOR_3DLIGHT,
                         host::COLOR_3DDKSHADOW, host::COLOR_BTNHIGHLIGHT, host::COLOR_BTNTEXT};
    for (std::size_t i = 0; i < p.size() && i < 6; ++i) {
      host.container().palette().Set(slots[i], static_cast<ColorRef>(p[i]));
    }
  }

  auto boolean = [](long v) { return v != 0; };
  host::JsonPropertyBag::Json stored = {
      {"btype", c.Get("type", 2)},
      {"bstyle", c.Get("bstyle", 0)},
      {"coltype", c.Get("scheme", 1)},
      {"tx", ""},
      {"enab", boolean(c.Get("enabled", 1))},
      {"optmod", boolean(c.Get("option", 0))},
      {"optval", boolean(c.Get("value", 0))},
      {"showf", boolean(c.Get("showfocus", 1))},
      {"gstart", c.Get("gstart", 0)},
      {"gstop", c.Get("gstop", 0xFF0000)},
      {"gstyle", c.Get("gorient", 0)},
  };
  if (c.Has("back-color")) stored["bcol"] = c.Get("back-color", 0);
  if (c.Has("fore-color")) stored["fcol"] = c.Get("fore-color", 0);
  if (c.Has("mouse-over")) stored["fcolo"] = c.Get("mouse-over", 0);
  if (c.Has("emboss-mid")) stored["embossm"] = c.Get("emboss-mid", 0);
  if (c.Has("emboss-shadow")) stored["embosss"] = c.Get("emboss-shadow", 0);
  // Shown: the resize handling builds the region and the layout.
  rig.Restore(stored);
  button::ButtonState& st = rig.st();
  if (c.Has("caption-rect")) {
    const std::vector<long> r = SplitNumbers(c.opt.at("caption-rect"));
    st.CaptionRect = {static_cast<Long>(r.at(0)), static_cast<Long>(r.at(1)),
                      static_cast<Long>(r.at(2)), static_cast<Long>(r.at(3))};
    st.LayoutPending = kFalse;
  }

  const Surface& surface = rig.Draw({.state = static_cast<Long>(c.Get("state", 0)),
                                     .focus = c.Get("focus", 0) != 0,
                                     .mouse_inside = c.Get("mouse-inside", 0) != 0,
                                     .backdrop_only = c.Get("backdrop-only", 0) != 0},
                                    static_cast<ColorRef>(c.Get("init", 0xFF00FF)));

  Drawn d;
  d.surface = surface;
  if (const gdi::Region* region = ButtonRegionOf(rig.b())) {
    d.region = region->ToMask(surface.width(), surface.height());
  }
  d.state["VisualState"] = std::to_string(st.VisualState);
  d.state["FaceColor"] = Hex(st.FaceColor);
  d.state["LightColor"] = Hex(st.LightColor);
  d.state["HighlightColor"] = Hex(st.HighlightColor);
  d.state["ShadowColor"] = Hex(st.ShadowColor);
  d.state["DarkShadowColor"] = Hex(st.DarkShadowColor);
  d.state["TextColor"] = Hex(st.TextColor);
  d.state["HoverTextColor"] = Hex(st.HoverTextColor);
  d.state["CaptionRect"] =
      std::to_string(st.CaptionRect.Left) + "," + std::to_string(st.CaptionRect.Top) + "," +
      std::to_string(st.CaptionRect.Right) + "," + std::to_string(st.CaptionRect.Bottom);
  return d;
}

// "" when the case matches, else what differs first.
std::string Compare(const Case& c) {
  const Drawn d = DrawCase(c);
  std::ostringstream why;

  Surface want;
  std::string error;
  if (!testdata::ReadPicture(kCaseDir / (c.name + ".ppm"), want, &error)) return error;
  if (want.width() != d.surface.width() || want.height() != d.surface.height()) {
    return "size differs";
  }
  const std::string pixels = support::DiffSurfaces(d.surface, want);
  if (!pixels.empty()) why << pixels << "; ";

  gdi::Mask want_region;
  if (!testdata::ReadMask(kCaseDir / (c.name + ".pbm"), want_region, &error)) return error;
  if (!(want_region == d.region)) why << "region differs; ";

  std::ifstream state_file(kCaseDir / (c.name + ".state"));
  std::string key, value;
  while (state_file >> key >> value) {
    auto it = d.state.find(key);
    if (it == d.state.end() || it->second != value) {
      why << key << " is " << (it == d.state.end() ? "?" : it->second) << ", want " << value
          << "; ";
    }
  }
  return why.str();
}

class ButtonReference : public ::testing::TestWithParam<int> {};

TEST_P(ButtonReference, EveryCaseOfTheLookMatches) {
  const int type = GetParam();
  const std::vector<Case> all = LoadCases();
  ASSERT_FALSE(all.empty()) << "no reference cases in " << kCaseDir;
  int checked = 0;
  int failed = 0;
  std::ostringstream report;
  for (const Case& c : all) {
    if (c.Get("type", 2) != type) continue;
    ++checked;
    const std::string why = Compare(c);
    if (!why.empty() && failed++ < 12) report << "  " << c.name << ": " << why << "\n";
  }
  EXPECT_EQ(failed, 0) << failed << " of " << checked << " cases differ:\n" << report.str();
}

INSTANTIATE_TEST_SUITE_P(Looks, ButtonReference, ::testing::Values(0, 1, 2, 3, 4, 5, 6, 7, 8, 9),
                         [](const auto& info) { return "Type" + std::to_string(info.param); });

TEST(ButtonReferenceData, EveryLookHasCases) {
  ASSERT_TRUE(fs::exists(kCaseDir / "cases.txt")) << "reference data missing: " << kCaseDir;
  std::map<long, int> per_type;
  for (const Case& c : LoadCases()) ++per_type[c.Get("type", 2)];
  for (long t = 1; t <= 8; ++t) EXPECT_GT(per_type[t], 0) << "no cases for type " << t;
}

}  // namespace
}  // namespace vx::render

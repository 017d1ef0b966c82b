#include "tests/button/render/reference_case.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/gdi/image_io.h"
#include "tests/data/reference_data.h"
#include "tests/support/button_rig.h"
#include "tests/support/surface_diff.h"

namespace vx::render::reference {
namespace {

namespace fs = std::filesystem;

std::string Hex(Color c) {
  return support::Hex(static_cast<ColorRef>(c) & 0xFFFFFFu);
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r')) s.pop_back();
  return s;
}

// "FACE,SIZE[,bold][,italic][,underline][,strike]" as a stored font.
host::JsonPropertyBag::Json FontOf(const std::string& described) {
  std::vector<std::string> parts;
  std::stringstream ss(described);
  std::string item;
  while (std::getline(ss, item, ',')) parts.push_back(item);
  host::JsonPropertyBag::Json font = {{"name", parts.at(0)}, {"size", std::stod(parts.at(1))}};
  for (std::size_t i = 2; i < parts.size(); ++i) {
    const std::string& flag = parts[i];
    if (flag == "bold") {
      font["bold"] = true;
    } else if (flag == "italic") {
      font["italic"] = true;
    } else if (flag == "underline") {
      font["underline"] = true;
    } else if (flag == "strike") {
      font["strikethrough"] = true;
    } else {
      throw std::invalid_argument("unknown font flag " + flag + " in " + described);
    }
  }
  return font;
}

}  // namespace

long Case::Get(const std::string& key, long fallback) const {
  auto it = opt.find(key);
  return it == opt.end() ? fallback : std::stol(it->second, nullptr, 0);
}

std::string Case::Text(const std::string& key) const {
  auto it = opt.find(key);
  if (it == opt.end()) return "";
  const std::string& raw = it->second;
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '%' && i + 2 < raw.size()) {
      out += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += raw[i];
    }
  }
  return out;
}

std::vector<Case> LoadCases(const fs::path& folder) {
  std::ifstream in(folder / "cases.txt");
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
      {"tx", c.Text("caption")},
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
  if (c.Has("font")) stored["font"] = FontOf(c.Text("font"));
  if (c.Has("alignment")) stored["align"] = c.Get("alignment", 1);
  if (c.Has("orient")) stored["orient"] = c.Get("orient", 0);
  if (c.Has("cstyle")) stored["style"] = c.Get("cstyle", 0);
  if (c.Has("gmode")) stored["gmode"] = c.Get("gmode", 0);
  // The recordings are the platform's standard smoothing.
  rig.b().SetCaptionSmoothing(button::SmoothingStandard);
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
  auto& s = d.state;
  s["VisualState"] = std::to_string(st.VisualState);
  s["FaceColor"] = Hex(st.FaceColor);
  s["LightColor"] = Hex(st.LightColor);
  s["HighlightColor"] = Hex(st.HighlightColor);
  s["ShadowColor"] = Hex(st.ShadowColor);
  s["DarkShadowColor"] = Hex(st.DarkShadowColor);
  s["TextColor"] = Hex(st.TextColor);
  s["HoverTextColor"] = Hex(st.HoverTextColor);
  s["CaptionRect"] =
      std::to_string(st.CaptionRect.Left) + "," + std::to_string(st.CaptionRect.Top) + "," +
      std::to_string(st.CaptionRect.Right) + "," + std::to_string(st.CaptionRect.Bottom);
  s["AccessKeyPos"] = std::to_string(st.AccessKeyPos);
  s["Underline"] = std::to_string(st.UnderlineX) + "," + std::to_string(st.UnderlineY) + "," +
                   std::to_string(st.UnderlineLength);
  // Every line that holds text is as high as the whole text measured.
  Long line_height = 0;
  for (const button::CaptionLine& l : st.CaptionLines)
    line_height = std::max(line_height, l.Height);
  s["LineHeight"] = std::to_string(line_height);
  s["Lines"] = std::to_string(st.CaptionLines.size());
  for (std::size_t i = 0; i < st.CaptionLines.size(); ++i) {
    const button::CaptionLine& l = st.CaptionLines[i];
    s["Line " + std::to_string(i + 1)] = std::to_string(l.X) + "," + std::to_string(l.Y) + "," +
                                         std::to_string(l.Width) + "," + std::to_string(l.Height) +
                                         " " + l.Text;
  }
  return d;
}

std::map<std::string, std::string> ReadState(const fs::path& file) {
  std::map<std::string, std::string> out;
  std::ifstream in(file);
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) {
    const std::size_t space = line.find(' ');
    std::string key = line.substr(0, space);
    if (key.empty()) continue;
    if (key == "Line") key += " " + std::to_string(++lines);
    out[key] = space == std::string::npos ? "" : Trimmed(line.substr(space + 1));
  }
  return out;
}

Verdict Judge(const fs::path& folder, const Case& c) {
  Verdict v;
  const Drawn d = DrawCase(c);

  Surface want;
  std::string error;
  if (!testdata::ReadPicture(folder / (c.name + ".ppm"), want, &error)) {
    v.missing = error;
    return v;
  }
  v.pixels = support::DiffSurfaces(d.surface, want);

  gdi::Mask want_region;
  if (!testdata::ReadMask(folder / (c.name + ".pbm"), want_region, &error)) {
    v.missing = error;
    return v;
  }
  if (!(want_region == d.region)) v.region = "region differs";

  const std::map<std::string, std::string> recorded = ReadState(folder / (c.name + ".state"));
  if (recorded.empty()) v.missing = "no state record for " + c.name;
  std::ostringstream why;
  for (const auto& [key, value] : recorded) {
    // Whether the face was met by name or by weight and slant shows in the
    // pixels; the layout does not depend on it.
    if (key == "Styled") continue;
    auto it = d.state.find(key);
    const std::string got = it == d.state.end() ? "?" : Trimmed(it->second);
    if (got != value) why << key << " is " << got << ", want " << value << "; ";
  }
  v.state = why.str();
  return v;
}

}  // namespace vx::render::reference

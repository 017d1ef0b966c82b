// torvelbutton render: builds a button as `props` does, shows it at a size,
// puts it into a visual state, draws it and writes the pixels as a PNG
// (transparent outside the window region).

#include "button/tool/render.h"

#include <iostream>
#include <memory>

#include "button/model/value_text.h"
#include "button/render/device_picture.h"
#include "button/render/painter.h"
#include "button/tool/subcommands.h"
#include "platform/gdi/image_io.h"
#include "platform/json/json_reader.h"
#include "platform/text/utf8.h"

namespace vx::tool {

const char* const kRenderUsage =
    "render [--props FILE.json] [--set KEY=VALUE]... [--assign NAME=VALUE]... [--design]\n"
    "        [--version P.MAJOR.MINOR] [--name NAME] [--size WxH]\n"
    "        [--state normal|backdrop|pressed|focused|hover|N] [--focus] [--mouse-inside]\n"
    "        [--disabled] [--backdrop-only] [--parent-bk COLOR] [--parent-text COLOR]\n"
    "        [--icon FILE.png] [--scale K] -o OUT.png [--region-out MASK.png] [--print-state]";

namespace {

const char* const kRenderHelp =
    "Builds a button as props does, shows it at a size, puts it into a visual state,\n"
    "draws it and writes its pixels as a PNG, transparent outside its window shape.\n"
    "Colours are 0x00BBGGRR values in hex or decimal; 0x800000NN names system colour NN.\n"
    "\n"
    "Options:\n";

const char* const kRenderHelpEnd =
    "  --size WxH               the button's size in pixels (default 89x19)\n"
    "  --state normal|backdrop|pressed|focused|hover|N\n"
    "                           the visual state to draw (default normal)\n"
    "  --focus                  the button has the focus\n"
    "  --mouse-inside           the pointer is over the button\n"
    "  --disabled               disable the button before drawing\n"
    "  --backdrop-only          draw the background only\n"
    "  --parent-bk COLOR        the container's background colour (default: button face)\n"
    "  --parent-text COLOR      the container's text colour (default: button text)\n"
    "  --icon FILE.png          the icon to show\n"
    "  --scale K                draw for a screen of K device pixels to the pixel (1..8),\n"
    "                           as the widget does: K times as large (--size stays in\n"
    "                           pixels of the button), the caption written at that\n"
    "                           resolution, the rest each pixel a K x K block\n"
    "  -o, --output OUT.png     the PNG to write (required)\n"
    "  --region-out MASK.png    also write the window region: black inside, white outside\n"
    "  --print-state            print the state after drawing as JSON: visual state,\n"
    "                           working colours and caption layout\n"
    "  -h, --help               this text\n"
    "\n"
    "Exit status: 0 drawn and written; 1 the button could not be built or a file not\n"
    "written; 64 a usage error.\n";

}  // namespace

namespace {

using Json = host::JsonPropertyBag::Json;

struct Options {
  RenderOptions render;
  std::string out;
  std::optional<std::string> region_out;
  bool print_state = false;
  bool help = false;
};

int ParseEdge(const std::string& text, const std::string& whole) {
  const std::optional<button::Long> n = button::ParseLongText(text);
  if (!n || *n <= 0 || *n > kMaxButtonEdge) {
    throw UsageError("--size wants WxH with each side 1.." + std::to_string(kMaxButtonEdge) +
                     ", not \"" + whole + "\"");
  }
  return static_cast<int>(*n);
}

button::Long ParseState(const std::string& text) {
  static constexpr std::pair<const char*, button::Long> kNames[] = {
      {"normal", button::Normal},   {"backdrop", button::Backdrop}, {"pressed", button::Pressed},
      {"focused", button::Focused}, {"hover", button::Hover},
  };
  const std::string lower = host::LowerKey(text);
  for (const auto& [name, value] : kNames) {
    if (lower == name) return value;
  }
  if (auto n = button::ParseLongText(text)) return *n;
  throw UsageError("--state wants normal, backdrop, pressed, focused, hover or an integer, not \"" +
                   text + "\"");
}

// 0x00BBGGRR in hex or decimal. A system colour reference (0x80000000 plus
// an index) is looked up in the palette like any colour property's.
ColorRef ParseColor(const std::string& option, const std::string& text,
                    const host::SystemPalette& palette) {
  const std::optional<button::Long> n = button::ParseLongText(text);
  if (n && *n >= 0 && *n <= 0xFFFFFF) return static_cast<ColorRef>(*n);
  if (n && (static_cast<std::uint32_t>(*n) & 0xFFFFFF00u) == 0x80000000u) {
    return palette.Get(static_cast<int>(*n & 0xFF));
  }
  throw UsageError(option + " wants a colour 0x00BBGGRR (hex 0x... or decimal), not \"" + text +
                   "\"");
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options o;
  std::optional<std::string> parent_back, parent_text;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (ParseButtonOption(args, i, o.render.button)) continue;
    const std::string& a = args[i];
    if (a == "--size") {
      const std::string& v = OptionValue(args, i);
      const auto x = v.find_first_of("xX");
      if (x == std::string::npos) throw UsageError("--size wants WxH, not \"" + v + "\"");
      o.render.width = ParseEdge(v.substr(0, x), v);
      o.render.height = ParseEdge(v.substr(x + 1), v);
    } else if (a == "--state") {
      o.render.state = ParseState(OptionValue(args, i));
    } else if (a == "--focus") {
      o.render.focus = true;
    } else if (a == "--mouse-inside") {
      o.render.mouse_inside = true;
    } else if (a == "--disabled") {
      o.render.disabled = true;
    } else if (a == "--backdrop-only") {
      o.render.backdrop_only = true;
    } else if (a == "--parent-bk") {
      parent_back = OptionValue(args, i);
    } else if (a == "--parent-text") {
      parent_text = OptionValue(args, i);
    } else if (a == "--scale") {
      const std::string& v = OptionValue(args, i);
      const std::optional<button::Long> k = button::ParseLongText(v);
      if (!k || *k < 1 || *k > render::kMaxDeviceScale) {
        throw UsageError("--scale wants a whole number 1.." +
                         std::to_string(render::kMaxDeviceScale) + ", not \"" + v + "\"");
      }
      o.render.scale = static_cast<int>(*k);
    } else if (a == "--icon") {
      o.render.icon_file = OptionValue(args, i);
    } else if (a == "-o" || a == "--output") {
      o.out = OptionValue(args, i);
    } else if (a == "--region-out") {
      o.region_out = OptionValue(args, i);
    } else if (a == "--print-state") {
      o.print_state = true;
    } else if (IsHelpOption(a)) {
      o.help = true;
    } else {
      throw UsageError("unknown option \"" + a + "\"");
    }
  }
  if (o.out.empty() && !o.help) throw UsageError("-o OUT.png is required");
  // System colour references resolve against the palette the host starts
  // with, which is the one the button sees.
  const host::SystemPalette palette;
  if (parent_back) o.render.parent_back = ParseColor("--parent-bk", *parent_back, palette);
  if (parent_text) o.render.parent_text = ParseColor("--parent-text", *parent_text, palette);
  return o;
}

Json StateJson(const button::ButtonState& st) {
  Json j = Json::object();
  j["VisualState"] = st.VisualState;
  j["Enabled"] = st.Enabled != button::kFalse;
  for (const WorkingColour& w : kWorkingColours) j[w.name] = st.*w.field;
  Json lines = Json::array();
  for (const button::CaptionLine& l : st.CaptionLines) {
    lines.push_back(
        Json{{"X", l.X}, {"Y", l.Y}, {"Width", l.Width}, {"Height", l.Height}, {"Text", l.Text}});
  }
  j["CaptionLines"] = std::move(lines);
  const button::RectL& r = st.CaptionRect;
  j["CaptionRect"] =
      Json{{"Left", r.Left}, {"Top", r.Top}, {"Right", r.Right}, {"Bottom", r.Bottom}};
  j["AccessKeyPos"] = st.AccessKeyPos;
  j["UnderlineX"] = st.UnderlineX;
  j["UnderlineY"] = st.UnderlineY;
  j["UnderlineLength"] = st.UnderlineLength;
  j["IconX"] = st.IconX;
  j["IconY"] = st.IconY;
  return j;
}

// Black inside the region, white outside.
Surface RegionPicture(const gdi::Mask& inside) {
  Surface s(inside.width(), inside.height(), 0xFFFFFF);
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) {
      if (inside.at(x, y)) s.set(x, y, 0x000000);
    }
  }
  return s;
}

}  // namespace

RenderedButton RenderButton(const RenderOptions& o) {
  host::HeadlessHost host;
  ConfigureHost(host, o.button);
  host.SetSize(o.width, o.height);
  if (o.parent_back) host.container().SetBackColor(*o.parent_back);
  if (o.parent_text) host.container().SetTextColor(*o.parent_text);

  button::TorvelButton b(host.site());
  host.Join(&b);
  auto painter = std::make_shared<render::ButtonPainter>();
  std::vector<render::CaptionText> captions;
  if (o.scale > 1) painter->state().caption_out = &captions;
  b.SetRenderer(painter);
  RestoreButton(b, o.button);
  if (o.icon_file) b.SetIcon(host.LoadPicture(*o.icon_file));
  ApplyAssignments(b, host, o.button);

  // Shown: the first resize handling builds the region, the layout and the
  // icon buffer, and draws.
  button::ButtonState& st = b.state();
  st.IsShown = button::kTrue;
  b.UserControl_Resize();
  if (o.disabled) b.SetEnabled(button::kFalse);

  st.VisualState = o.state;
  st.HasFocus = o.focus ? button::kTrue : button::kFalse;
  st.MouseInside = o.mouse_inside ? button::kTrue : button::kFalse;
  b.DrawButton(o.backdrop_only ? button::kTrue : button::kFalse);

  RenderedButton out;
  out.pixels = host.DrawingSurface();
  const gdi::Region* region = render::ButtonRegionOf(b);
  out.inside =
      region != nullptr ? region->ToMask(o.width, o.height) : gdi::Mask(o.width, o.height, true);
  out.state = StateJson(st);
  if (o.scale > 1) {
    out.pixels = render::DevicePicture(out.pixels, captions, o.scale);
    out.inside = render::ScaleMask(out.inside, o.scale);
  }
  return out;
}

int RunRender(const std::vector<std::string>& args) {
  Options o;
  try {
    o = ParseOptions(args);
  } catch (const UsageError& e) {
    std::cerr << "torvelbutton render: " << text::EscapeForDisplay(e.what())
              << "\nusage: torvelbutton " << kRenderUsage << "\n";
    return kExitUsage;
  }
  if (o.help) {
    std::cout << "usage: torvelbutton " << kRenderUsage << "\n\n"
              << kRenderHelp << kButtonOptionsHelp << kRenderHelpEnd;
    return kExitOk;
  }
  try {
    const RenderedButton r = RenderButton(o.render);
    // WritePng's reason starts with the file's name.
    std::string error, note;
    auto tell_note = [&](const std::string& file) {
      if (!note.empty()) std::cerr << "torvelbutton render: note: " << file << ": " << note << "\n";
    };
    if (!gdi::WritePng(o.out, r.pixels, &r.inside, &error, &note)) {
      throw std::runtime_error("cannot write " + error);
    }
    tell_note(o.out);
    if (o.region_out) {
      if (!gdi::WritePng(*o.region_out, RegionPicture(r.inside), nullptr, &error, &note)) {
        throw std::runtime_error("cannot write " + error);
      }
      tell_note(*o.region_out);
    }
    if (o.print_state) std::cout << json::Dump(r.state, 2) << "\n";
    return kExitOk;
  } catch (const std::exception& e) {
    std::cerr << "torvelbutton render: " << text::EscapeForDisplay(e.what()) << "\n";
    return kExitFailure;
  }
}

}  // namespace vx::tool

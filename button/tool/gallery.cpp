// torvelbutton gallery: one picture of every look in every state, with the
// looks labelled down the left and the states across the top.

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "button/model/looks.h"
#include "button/model/value_text.h"
#include "button/render/device_picture.h"
#include "button/tool/render.h"
#include "button/tool/subcommands.h"
#include "platform/gdi/image_io.h"
#include "platform/gdi/raster.h"
#include "platform/host/palette.h"
#include "platform/text/font.h"
#include "platform/text/utf8.h"

namespace vx::tool {

const char* const kGalleryUsage = "gallery [--scale K] -o FILE.png";

namespace {

const char* const kGalleryHelp =
    "Draws every look of the button in every state into one PNG, the looks labelled\n"
    "down the left and the states across the top.\n"
    "\n"
    "Options:\n"
    "  --scale K                draw for a screen of K device pixels to the pixel (1..8):\n"
    "                           K times as large, captions and labels written at that\n"
    "                           resolution (see render --scale)\n"
    "  -o, --output FILE.png    the PNG to write (required)\n"
    "  -h, --help               this text\n"
    "\n"
    "Exit status: 0 written; 1 the file could not be written; 64 a usage error.\n";

struct State {
  const char* label;
  button::Long visual_state;
  bool focus;
  bool mouse_inside;
  bool disabled;
  bool selected_option;
};
constexpr State kStates[] = {
    {"normal", button::Normal, false, false, false, false},
    {"hover", button::Hover, false, true, false, false},
    {"pressed", button::Pressed, true, true, false, false},
    {"focused", button::Focused, true, false, false, false},
    {"disabled", button::Normal, false, false, true, false},
    {"selected option", button::Normal, false, false, false, true},
};

constexpr int kButtonW = 100;
constexpr int kButtonH = 26;
constexpr int kPad = 10;
constexpr int kMargin = 10;

// "1 OutlinedBevel": the row's ButtonType and name.
std::string LookLabel(const button::Look& look) {
  return std::to_string(look.traits.type) + " " + std::string(look.traits.name);
}

RenderOptions CellOptions(const button::Look& look, const State& state, int scale) {
  RenderOptions o;
  o.scale = scale;
  o.width = kButtonW;
  o.height = kButtonH;
  o.button.sets = {{"btype", std::to_string(look.traits.type)}, {"tx", "&Check Source"}};
  if (state.selected_option) {
    o.button.sets.emplace_back("optmod", "true");
    o.button.sets.emplace_back("optval", "true");
  }
  o.state = state.visual_state;
  o.focus = state.focus;
  o.mouse_inside = state.mouse_inside;
  o.disabled = state.disabled;
  return o;
}

// The button over the gallery's background: outside its window region the
// background shows, as it would around a shaped window.
void PlaceButton(Surface& page, const RenderedButton& b, int x0, int y0) {
  for (int y = 0; y < b.pixels.height(); ++y) {
    for (int x = 0; x < b.pixels.width(); ++x) {
      if (b.inside.at(x, y)) page.put(x0 + x, y0 + y, b.pixels.at(x, y));
    }
  }
}

Surface DrawGallery(int k) {
  const host::SystemPalette palette;
  const ColorRef back = palette.Get(host::COLOR_BTNFACE);
  const ColorRef ink = palette.Get(host::COLOR_BTNTEXT);

  text::LogFont lf;
  lf.lfHeight = -12 * k;
  lf.SetFaceName("Liberation Sans");
  text::Font label_font = text::CreateFontIndirect(lf);
  const int line_h = text::GetTextMetrics(label_font).tmHeight;

  int label_w = 0;
  for (const button::Look& l : button::kLooks)
    label_w = std::max(label_w, text::MeasureText(label_font, LookLabel(l)).cx);
  const int cell_w = (kButtonW + 2 * kPad) * k;
  const int cell_h = (kButtonH + 2 * kPad) * k;
  const int left = (kMargin + kPad) * k + label_w;
  const int top = (kMargin + kPad / 2) * k + line_h;
  const int n_states = static_cast<int>(std::size(kStates));
  const int n_looks = static_cast<int>(button::kLooks.size());
  Surface page(left + n_states * cell_w + kMargin * k, top + n_looks * cell_h + kMargin * k, back);

  for (int c = 0; c < n_states; ++c) {
    const int tw = text::MeasureText(label_font, kStates[c].label).cx;
    text::TextOut(page, label_font, left + c * cell_w + (cell_w - tw) / 2, kMargin * k,
                  kStates[c].label, ink);
  }
  for (int r = 0; r < n_looks; ++r) {
    const int row_y = top + r * cell_h;
    const button::Look& look = button::kLooks[static_cast<std::size_t>(r)];
    text::TextOut(page, label_font, kMargin * k, row_y + (cell_h - line_h) / 2, LookLabel(look),
                  ink);
    for (int c = 0; c < n_states; ++c) {
      const RenderedButton b = RenderButton(CellOptions(look, kStates[c], k));
      PlaceButton(page, b, left + c * cell_w + kPad * k, row_y + kPad * k);
    }
  }
  text::DeleteObject(label_font);
  return page;
}

}  // namespace

int RunGallery(const std::vector<std::string>& args) {
  std::string out;
  int scale = 1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "-o" || a == "--output") && i + 1 < args.size()) {
      out = args[++i];
    } else if (a == "--scale" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      const std::optional<button::Long> k = button::ParseLongText(v);
      if (!k || *k < 1 || *k > render::kMaxDeviceScale) {
        std::cerr << "torvelbutton gallery: --scale wants a whole number 1.."
                  << render::kMaxDeviceScale << ", not \"" << v << "\"\nusage: torvelbutton "
                  << kGalleryUsage << "\n";
        return kExitUsage;
      }
      scale = static_cast<int>(*k);
    } else if (IsHelpOption(a)) {
      std::cout << "usage: torvelbutton " << kGalleryUsage << "\n\n" << kGalleryHelp;
      return kExitOk;
    } else {
      std::cerr << "torvelbutton gallery: "
                << text::EscapeForDisplay(a == "-o" || a == "--output" || a == "--scale"
                                              ? a + " needs a value"
                                              : "unknown option \"" + a + "\"")
                << "\nusage: torvelbutton " << kGalleryUsage << "\n";
      return kExitUsage;
    }
  }
  if (out.empty()) {
    std::cerr << "torvelbutton gallery: -o FILE.png is required\nusage: torvelbutton "
              << kGalleryUsage << "\n";
    return kExitUsage;
  }
  try {
    const Surface page = DrawGallery(scale);
    std::string error, note;
    if (!gdi::WritePng(out, page, nullptr, &error, &note)) {
      throw std::runtime_error("cannot write " + error);  // the reason starts with the name
    }
    if (!note.empty()) std::cerr << "torvelbutton gallery: note: " << out << ": " << note << "\n";
    return kExitOk;
  } catch (const std::exception& e) {
    std::cerr << "torvelbutton gallery: " << text::EscapeForDisplay(e.what()) << "\n";
    return kExitFailure;
  }
}

}  // namespace vx::tool

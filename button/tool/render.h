#pragma once

// One button drawn on the headless host, as `torvelbutton render` and
// `torvelbutton gallery` make it.

#include <optional>
#include <string>

#include "button/tool/button_setup.h"
#include "platform/gdi/types.h"
#include "platform/host/json_property_bag.h"

namespace vx::tool {

struct RenderOptions {
  ButtonOptions button;
  int width = 89;
  int height = 19;
  button::Long state = button::Normal;
  bool focus = false;
  bool mouse_inside = false;
  bool disabled = false;
  bool backdrop_only = false;
  std::optional<ColorRef> parent_back;  // the palette's BTNFACE when unset
  std::optional<ColorRef> parent_text;  // the palette's BTNTEXT when unset
  std::optional<std::string> icon_file;
  // Device pixels to the logical pixel: the picture is this many times as
  // large, with the caption written at that resolution.
  int scale = 1;
};

struct RenderedButton {
  Surface pixels;
  gdi::Mask inside;  // the window region over the surface
  // VisualState and Enabled after drawing, the working colours and the
  // layout fields.
  host::JsonPropertyBag::Json state;
};

// Builds, shows and draws the button. Throws std::runtime_error (naming the
// file, key or property) when the button cannot be built.
RenderedButton RenderButton(const RenderOptions& o);

// Largest edge --size accepts: a button is a window on a screen.
inline constexpr int kMaxButtonEdge = 8192;

}  // namespace vx::tool

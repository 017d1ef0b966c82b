#pragma once

// A TorvelButton on a headless host with the painter installed: the button
// the render tests draw.

#include <memory>
#include <string>

#include "button/render/painter.h"
#include "platform/host/headless.h"
#include "platform/host/json_property_bag.h"

namespace vx::support {

// A colour no look draws with: a pixel that keeps it was not drawn.
inline constexpr ColorRef kUnpainted = 0xFF00FF;

// What DrawButton is shown: the visual state and the flags the host sets.
struct Pose {
  button::Long state = button::Normal;
  bool focus = false;
  bool mouse_inside = false;
  bool backdrop_only = false;
};

class ButtonRig {
 public:
  // A w x h button at run time (or at design time), created on the host and
  // joined to its container, with `painter` installed; it has no settings
  // until Restore or Place.
  explicit ButtonRig(
      int w = 100, int h = 30, bool design = false,
      std::shared_ptr<render::ButtonPainter> painter = std::make_shared<render::ButtonPainter>());
  virtual ~ButtonRig() = default;
  ButtonRig(const ButtonRig&) = delete;
  ButtonRig& operator=(const ButtonRig&) = delete;

  // Restores `stored` and shows the button: the resize handling builds the
  // window region, lays out the caption and prepares the icon.
  void Restore(const host::JsonPropertyBag::Json& stored);
  // Gives the button a newly placed one's defaults, then the caption font
  // `face` at 8.25 points.
  void Place(const std::string& face);

  // Fills the surface with `background`, then draws the button in `pose`.
  const Surface& Draw(const Pose& pose, ColorRef background = kUnpainted);

  button::TorvelButton& b() { return *button; }
  button::ButtonState& st() { return button->state(); }
  render::PainterState& ps() { return painter->state(); }
  Surface& surface() { return host.DrawingSurface(); }
  ColorRef At(int x, int y) { return surface().at(x, y); }
  // Fills the surface with `color`.
  void Clear(ColorRef color);

  host::HeadlessHost host;
  std::shared_ptr<render::ButtonPainter> painter;
  std::unique_ptr<button::TorvelButton> button;
};

}  // namespace vx::support

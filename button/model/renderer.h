#pragma once

#include "button/model/types.h"

namespace vx::button {

class TorvelButton;

// The drawing side of a button: layout, icon preparation, the render pipeline
// and the window region. The render library implements it and whoever
// assembles the program installs it on each button (SetRenderer). A button
// without one only asks its host to repaint.
class ButtonRenderer {
 public:
  virtual ~ButtonRenderer() = default;
  // Paints the whole button on the host's drawing surface.
  virtual void DrawButton(TorvelButton& button, Bool16 backdrop_only) = 0;
  // Recomputes CaptionLines, CaptionRect, the underline and the icon position.
  virtual void CalculateLayout(TorvelButton& button) = 0;
  // Prepares the greyed icon buffer.
  virtual void PrepareIcon(TorvelButton& button) = 0;
  // Builds ButtonRegion for the current size and gives it to the window.
  virtual void ApplyWindowRegion(TorvelButton& button) = 0;
};

}  // namespace vx::button

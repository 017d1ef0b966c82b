#pragma once

// The parent window of a button that lives among ordinary Qt widgets: its
// control list is every TorvelButtonWidget under the same window, so that
// option buttons on one parent widget form a group.

#include <string>
#include <vector>

#include "platform/host/services.h"

class TorvelButtonWidget;

namespace vx::qt {

class WidgetTree : public host::ParentWindow {
 public:
  explicit WidgetTree(TorvelButtonWidget& button) : button_(button) {}

  // The window's object name, or its class name when it has none.
  std::string Name() const override;
  // The background and text colours of the widget the button sits on.
  ColorRef BackColor() const override;
  ColorRef TextColor() const override;
  // Buttons in the order the window holds them. A button is named by its
  // object name (or an automatic "TorvelButtonN" when it has none), with an
  // index where several share a name, as control arrays are; its container
  // is its parent widget, named the same way.
  int ControlCount() const override;
  host::ControlEntry Control(int i) const override;

  // "Name" or "Name(i)": how the list names this tree's button.
  std::string DisplayName() const;

 private:
  std::vector<host::ControlEntry> Entries(std::string* own_name = nullptr) const;

  TorvelButtonWidget& button_;
};

}  // namespace vx::qt

#pragma once

// The containers controls live in: the form (the window's client area, which
// also answers for the control list and the system colours) and frames on it.

#include <QFrame>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/palette.h"
#include "platform/host/services.h"

namespace vx::qt {

class FormWidget;

// A container of controls: a frame on a form, or the form itself. Controls
// placed in it are its child widgets.
class ContainerWidget : public QFrame {
  Q_OBJECT

 public:
  // A frame named `name` (element `index` of a control array when given),
  // placed in `parent` (the form when null) and entered in the form's
  // control list.
  ContainerWidget(FormWidget& form, std::string name, ContainerWidget* parent = nullptr,
                  std::optional<int> index = std::nullopt);
  ~ContainerWidget() override;

  const std::string& controlName() const { return name_; }
  std::optional<int> controlIndex() const { return index_; }
  FormWidget& form() const { return *form_; }

 protected:
  // The form itself.
  ContainerWidget(std::string name, QWidget* parent);

 private:
  friend class FormWidget;

  std::string name_;
  std::optional<int> index_;
  FormWidget* form_;
};

// The form: the parent window of every control on it. It keeps the control
// list in the order the controls join, and the system colour table, which it
// takes from the desktop palette and re-reads when that changes.
class FormWidget : public ContainerWidget, public host::ParentWindow {
  Q_OBJECT

 public:
  explicit FormWidget(std::string name = "Form1", QWidget* parent = nullptr);
  ~FormWidget() override;

  // ParentWindow: the device context's colours are the form's background and
  // text colours.
  std::string Name() const override { return controlName(); }
  ColorRef BackColor() const override;
  ColorRef TextColor() const override;
  int ControlCount() const override { return static_cast<int>(controls_.size()); }
  host::ControlEntry Control(int i) const override;

  // Enters a control in the list: `name` (with `index` for an element of a
  // control array) inside `container`. `object` is the control object for
  // controls that have one (the buttons).
  void RegisterControl(std::string name, std::optional<int> index, const ContainerWidget& container,
                       host::ControlObject* object = nullptr);
  // Removes the entries of `object`, or of the control named `name`/`index`.
  void UnregisterControl(const host::ControlObject* object);
  void UnregisterControl(const std::string& name, std::optional<int> index);

  const host::SystemPalette& systemPalette() const { return palette_; }

  // Re-reads the system colours from the form's palette and tells the
  // buttons on the form what changed. Runs by itself on palette changes.
  void RefreshSystemColors();

 protected:
  void changeEvent(QEvent* event) override;

 private:
  std::vector<host::ControlEntry> controls_;
  host::SystemPalette palette_;
  ColorRef back_color_ = 0;
  ColorRef text_color_ = 0;
};

}  // namespace vx::qt

#pragma once

// A TorvelButtonWidget on a form of the window program: named by the form,
// entered in the form's control list, restored from the form's stored
// property set, and with its events reaching the form's handlers by name.

#include <QImage>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "button/model/torvel_button.h"
#include "platform/host/services.h"
#include "torvelbutton/torvelbuttonwidget.h"

namespace vx::qt {

class ContainerWidget;

class ButtonWidget : public TorvelButtonWidget {
  Q_OBJECT

 public:
  using EventHandler = std::function<void(host::EventArgs&)>;

  // Creates the button `name` (element `index` of a control array when given)
  // inside `container`, enters it in its form's control list and runs the
  // creation step. The owner then restores it (ReadProperties) or starts it
  // new (InitProperties); showing the widget shows the button.
  ButtonWidget(ContainerWidget& container, std::string name,
               std::optional<int> index = std::nullopt);
  ~ButtonWidget() override;

  button::TorvelButton& button();
  const button::TorvelButton& button() const;
  ContainerWidget& container() const { return *container_; }
  const std::string& controlName() const { return name_; }
  std::optional<int> controlIndex() const { return index_; }
  // "Name", or "Name(3)" for an element of a control array.
  std::string displayName() const;

  // A new button with the default settings.
  void InitProperties();
  // A stored button: the host's size ("_extentx", "_extenty", HIMETRIC) and
  // then the button's own settings.
  void ReadProperties(host::PropertyBag& bag);
  void WriteProperties(host::PropertyBag& bag);

  // Runs `handler` when the button raises `event` ("Click", "MouseDown"...,
  // matched without regard to case); the handler may change the arguments.
  // An empty handler removes it.
  void SetEventHandler(const std::string& event, EventHandler handler);

  // What the window shows: the image of the last paint.
  const QImage& shownImage() const;
  // The registered access key (one lower-case character, or empty).
  QString accessKey() const;

  // A left click in the middle of the button, as the user makes it: press,
  // release and click notifications. Does nothing on a disabled button.
  void Press() { click(); }

  QSize sizeHint() const override;

 signals:
  // The button raised `name` (after its handler, if any, ran).
  void controlEvent(const QString& name);
  // The button asked for its window to be repainted, and it was.
  void refreshed();

 private:
  static Placement PlacementOn(ContainerWidget& container, const std::string& name,
                               std::optional<int> index);

  ContainerWidget* container_;
  std::string name_;
  std::optional<int> index_;
  std::map<std::string, EventHandler> handlers_;
};

}  // namespace vx::qt

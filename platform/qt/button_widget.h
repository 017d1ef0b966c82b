#pragma once

// The window of one TorvelButton: it owns the button with its drawing
// installed, shows the button's surface pixel for pixel, takes its window
// shape as the widget's mask, and turns Qt's input, focus, show, resize and
// font events into the button's notifications.

#include <QImage>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "button/model/torvel_button.h"
#include "platform/host/services.h"

class QShortcut;

namespace vx::qt {

class ButtonHost;
class ContainerWidget;

class ButtonWidget : public QWidget {
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

  button::TorvelButton& button() { return *button_; }
  const button::TorvelButton& button() const { return *button_; }
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
  const QImage& shownImage() const { return shown_; }
  // The registered access key (one lower-case character, or empty).
  QString accessKey() const;

  // A left click in the middle of the button, as the user makes it: press,
  // release and click notifications. Does nothing on a disabled button.
  void Press();

  QSize sizeHint() const override;

 signals:
  // The button raised `name` (after its handler, if any, ran).
  void controlEvent(const QString& name);
  // The button asked for its window to be repainted, and it was.
  void refreshed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  friend class ButtonHost;

  // Host side of the button's services.
  void Repaint();
  void ApplyEnabled();
  void ApplyAccessKey(const std::string& keys);
  void RaiseEvent(std::string_view name, host::EventArgs& args);
  void AccessKeyActivated();
  bool InsideShape(const QPointF& p) const;

  ContainerWidget* container_;
  std::string name_;
  std::optional<int> index_;
  // The host outlives the button, whose timers and fonts refer to it.
  std::unique_ptr<ButtonHost> host_;
  std::unique_ptr<button::TorvelButton> button_;
  std::map<std::string, EventHandler> handlers_;
  QImage shown_;
  std::string shown_caption_;
  QShortcut* shortcut_ = nullptr;
  QString access_key_;
  host::FontAttributes ambient_font_;

  // Mouse buttons held down on the window, the one that began the press,
  // and whether the press is the second one of a double click.
  Qt::MouseButtons held_;
  Qt::MouseButton first_button_ = Qt::NoButton;
  bool double_click_ = false;
  // Keys taken as the access key: their release belongs to no key-down.
  int swallowed_key_ = 0;
  // A menu has the keyboard, but the button keeps its focus meanwhile.
  bool focus_parked_ = false;
  QMetaObject::Connection focus_watch_;
};

}  // namespace vx::qt

#include "button/qt/button_widget.h"

#include <QPointer>
#include <cmath>
#include <utility>

#include "button/qt/button_host.h"
#include "button/qt/container.h"
#include "button/qt/torvelbuttonwidget_p.h"

namespace vx::qt {

namespace {

std::string DisplayNameOf(const std::string& name, std::optional<int> index) {
  return index ? name + "(" + std::to_string(*index) + ")" : name;
}

}  // namespace

TorvelButtonWidget::Placement ButtonWidget::PlacementOn(ContainerWidget& container,
                                                        const std::string& name,
                                                        std::optional<int> index) {
  Placement p;
  p.parent_window = &container.form();
  p.palette = &container.form().systemPalette();
  p.container = &container;
  p.display_name = DisplayNameOf(name, index);
  return p;
}

namespace {

std::optional<double> NumberOf(const host::PropertyValue& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  if (const auto* d = std::get_if<double>(&v)) return *d;
  return std::nullopt;
}

}  // namespace

ButtonWidget::ButtonWidget(ContainerWidget& container, std::string name, std::optional<int> index)
    : TorvelButtonWidget(PlacementOn(container, name, index), &container),
      container_(&container),
      name_(std::move(name)),
      index_(index) {
  setObjectName(QString::fromStdString(displayName()));
  TorvelButtonWidgetPrivate& inside = d();
  inside.event_hook = [this](std::string_view event, host::EventArgs& args) {
    QPointer<ButtonWidget> self(this);
    const auto it = handlers_.find(host::LowerKey(event));
    if (it != handlers_.end()) {
      const EventHandler handler = it->second;  // the handler may replace itself
      handler(args);
    }
    if (self) {
      emit controlEvent(QString::fromUtf8(event.data(), static_cast<qsizetype>(event.size())));
    }
  };
  inside.refresh_hook = [this] { emit refreshed(); };
  container.form().RegisterControl(name_, index_, container, &button());
  button().UserControl_Initialize();
}

ButtonWidget::~ButtonWidget() {
  container_->form().UnregisterControl(&button());
  d().event_hook = nullptr;
  d().refresh_hook = nullptr;
}

button::TorvelButton& ButtonWidget::button() {
  return *d().button;
}

const button::TorvelButton& ButtonWidget::button() const {
  return *d().button;
}

std::string ButtonWidget::displayName() const {
  return DisplayNameOf(name_, index_);
}

void ButtonWidget::InitProperties() {
  button().InitProperties();
}

void ButtonWidget::ReadProperties(host::PropertyBag& bag) {
  const auto cx = NumberOf(bag.ReadProperty("_extentx", std::monostate{}));
  const auto cy = NumberOf(bag.ReadProperty("_extenty", std::monostate{}));
  if (cx && cy) {
    resize(static_cast<int>(std::lround(d().host->HimetricToPixelsX(*cx))),
           static_cast<int>(std::lround(d().host->HimetricToPixelsY(*cy))));
  }
  button().ReadProperties(bag);
}

void ButtonWidget::WriteProperties(host::PropertyBag& bag) {
  auto himetric = [](int pixels, double dpi) {
    return static_cast<std::int64_t>(std::lround(pixels * 2540.0 / dpi));
  };
  bag.WriteProperty("_extentx", himetric(width(), 1440.0 / d().host->TwipsPerPixelX()));
  bag.WriteProperty("_extenty", himetric(height(), 1440.0 / d().host->TwipsPerPixelY()));
  button().WriteProperties(bag);
}

void ButtonWidget::SetEventHandler(const std::string& event, EventHandler handler) {
  if (handler) {
    handlers_[host::LowerKey(event)] = std::move(handler);
  } else {
    handlers_.erase(host::LowerKey(event));
  }
}

const QImage& ButtonWidget::shownImage() const {
  return d().shown;
}

QString ButtonWidget::accessKey() const {
  return d().access_key;
}

QSize ButtonWidget::sizeHint() const {
  // 1335 by 285 twips.
  return {89, 19};
}

}  // namespace vx::qt

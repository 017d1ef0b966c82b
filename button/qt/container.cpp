#include "button/qt/container.h"

#include <QEvent>
#include <algorithm>

#include "button/model/torvel_button.h"
#include "button/qt/guard.h"
#include "button/qt/system_colors.h"
#include "button/qt/torvelbuttonwidget_p.h"

namespace vx::qt {

ContainerWidget::ContainerWidget(FormWidget& form, std::string name, ContainerWidget* parent,
                                 std::optional<int> index)
    : QFrame(parent ? static_cast<QWidget*>(parent) : static_cast<QWidget*>(&form)),
      name_(std::move(name)),
      index_(index),
      form_(&form) {
  setObjectName(QString::fromStdString(name_));
  form.RegisterControl(name_, index_, parent ? *parent : form);
}

ContainerWidget::ContainerWidget(std::string name, QWidget* parent)
    : QFrame(parent), name_(std::move(name)), form_(nullptr) {
  setObjectName(QString::fromStdString(name_));
}

ContainerWidget::~ContainerWidget() {
  // The controls inside leave while this container is still whole.
  const auto children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (QWidget* child : children) delete child;
  if (form_ != nullptr && form_ != this) form_->UnregisterControl(name_, index_);
}

FormWidget::FormWidget(std::string name, QWidget* parent)
    : ContainerWidget(std::move(name), parent) {
  form_ = this;
  MapDesktopPalette(palette(), palette_);
  back_color_ = BackColor();
  text_color_ = TextColor();
}

FormWidget::~FormWidget() {
  // The controls leave the list while it still exists.
  const auto children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (QWidget* child : children) delete child;
}

ColorRef FormWidget::BackColor() const {
  return ToColorRef(palette().color(QPalette::Active, backgroundRole()));
}

ColorRef FormWidget::TextColor() const {
  return ToColorRef(palette().color(QPalette::Active, foregroundRole()));
}

host::ControlEntry FormWidget::Control(int i) const {
  if (i < 0 || i >= ControlCount()) throw host::HostError("control index out of range");
  return controls_[static_cast<std::size_t>(i)];
}

void FormWidget::RegisterControl(std::string name, std::optional<int> index,
                                 const ContainerWidget& container, host::ControlObject* object) {
  host::ControlEntry e;
  e.name = std::move(name);
  e.index = index;
  e.container_name = container.controlName();
  e.container_index = container.controlIndex();
  e.object = object;
  controls_.push_back(std::move(e));
}

void FormWidget::UnregisterControl(const host::ControlObject* object) {
  if (object == nullptr) return;
  std::erase_if(controls_, [object](const host::ControlEntry& e) { return e.object == object; });
}

void FormWidget::UnregisterControl(const std::string& name, std::optional<int> index) {
  std::erase_if(controls_, [&](const host::ControlEntry& e) {
    return e.object == nullptr && e.name == name && e.index == index;
  });
}

void FormWidget::RefreshSystemColors() {
  host::SystemPalette mapped;
  MapDesktopPalette(palette(), mapped);
  const ColorRef back = BackColor();
  const ColorRef text = TextColor();
  bool table_changed = false;
  for (int i = 0; i < host::SystemPalette::kSize && !table_changed; ++i) {
    table_changed = mapped.Get(i) != palette_.Get(i);
  }
  const bool back_changed = back != back_color_;
  const bool text_changed = text != text_color_;
  if (!table_changed && !back_changed && !text_changed) return;
  palette_ = mapped;
  back_color_ = back;
  text_color_ = text;

  // A button may leave the list while another one's handler runs: collect
  // first, then look each one up again before telling it.
  std::vector<host::ControlObject*> objects;
  for (const host::ControlEntry& e : controls_) {
    if (e.object != nullptr) objects.push_back(e.object);
  }
  for (host::ControlObject* object : objects) {
    const bool still_here = std::any_of(controls_.begin(), controls_.end(),
                                        [object](const auto& e) { return e.object == object; });
    auto* b = dynamic_cast<button::TorvelButton*>(object);
    if (!still_here || b == nullptr) continue;
    Guarded("palette change", [&] { TellColorsChanged(*b, back_changed, text_changed); });
  }
}

void FormWidget::changeEvent(QEvent* event) {
  ContainerWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
    RefreshSystemColors();
  }
}

}  // namespace vx::qt

#include "button/qt/widget_tree.h"

#include <QPalette>
#include <QWidget>
#include <map>

#include "button/qt/system_colors.h"
#include "button/qt/torvelbuttonwidget_p.h"

namespace vx::qt {

namespace {

std::string NameOf(const QWidget& w) {
  const QString name = w.objectName();
  return name.isEmpty() ? std::string(w.metaObject()->className()) : name.toStdString();
}

const QWidget& Surroundings(const TorvelButtonWidget& button) {
  const QWidget* parent = button.parentWidget();
  return parent != nullptr ? *parent : button;
}

}  // namespace

std::string WidgetTree::Name() const {
  return NameOf(*button_.window());
}

ColorRef WidgetTree::BackColor() const {
  const QWidget& w = Surroundings(button_);
  return ToColorRef(w.palette().color(QPalette::Active, w.backgroundRole()));
}

ColorRef WidgetTree::TextColor() const {
  const QWidget& w = Surroundings(button_);
  return ToColorRef(w.palette().color(QPalette::Active, w.foregroundRole()));
}

std::vector<host::ControlEntry> WidgetTree::Entries(std::string* own_name) const {
  QWidget* window = button_.window();
  QList<TorvelButtonWidget*> buttons = window->findChildren<TorvelButtonWidget*>();
  if (auto* self = qobject_cast<TorvelButtonWidget*>(window)) buttons.prepend(self);

  // Names shared by several buttons, or several containers, take indices.
  std::map<std::string, int> button_names;
  std::map<std::string, std::vector<const QWidget*>> container_names;
  std::vector<std::string> names;
  std::vector<const QWidget*> containers;
  for (TorvelButtonWidget* b : buttons) {
    const QString object_name = b->objectName();
    names.push_back(object_name.isEmpty() ? TorvelButtonWidgetPrivate::Find(*b)
                                                ? TorvelButtonWidgetPrivate::Find(*b)->auto_name
                                                : std::string("TorvelButton")
                                          : object_name.toStdString());
    ++button_names[names.back()];
    const QWidget* c = b->parentWidget() != nullptr ? b->parentWidget() : window;
    containers.push_back(c);
    auto& same = container_names[c == window ? Name() : NameOf(*c)];
    if (std::find(same.begin(), same.end(), c) == same.end()) same.push_back(c);
  }
  std::vector<host::ControlEntry> entries;
  std::map<std::string, int> next_index;
  for (qsizetype i = 0; i < buttons.size(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    host::ControlEntry e;
    e.name = names[k];
    if (button_names[e.name] > 1) e.index = next_index[e.name]++;
    const QWidget* c = containers[k];
    e.container_name = c == window ? Name() : NameOf(*c);
    const auto& same = container_names[e.container_name];
    if (same.size() > 1) {
      e.container_index = static_cast<int>(std::find(same.begin(), same.end(), c) - same.begin());
    }
    if (auto* d = TorvelButtonWidgetPrivate::Find(*buttons[i])) e.object = d->button.get();
    if (own_name != nullptr && buttons[i] == &button_) {
      *own_name = e.index ? e.name + "(" + std::to_string(*e.index) + ")" : e.name;
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

int WidgetTree::ControlCount() const {
  return static_cast<int>(Entries().size());
}

host::ControlEntry WidgetTree::Control(int i) const {
  std::vector<host::ControlEntry> entries = Entries();
  if (i < 0 || i >= static_cast<int>(entries.size())) {
    throw host::HostError("control index out of range");
  }
  return std::move(entries[static_cast<std::size_t>(i)]);
}

std::string WidgetTree::DisplayName() const {
  std::string name;
  Entries(&name);
  return name;
}

}  // namespace vx::qt

#include "button/qt/accessible.h"

#include <QKeySequence>

#include "button/qt/torvelbuttonwidget_p.h"

namespace vx::qt {

QString StripAccessKeyMarker(const QString& caption) {
  QString out;
  out.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] != u'&') {
      out += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == u'&') {
      out += u'&';
      ++i;
    }
  }
  return out;
}

ButtonAccessible::ButtonAccessible(TorvelButtonWidget* widget)
    : QAccessibleWidget(widget, QAccessible::Button) {}

TorvelButtonWidgetPrivate& ButtonAccessible::inside() const {
  return *TorvelButtonWidgetPrivate::Find(*static_cast<TorvelButtonWidget*>(widget()));
}

QString ButtonAccessible::text(QAccessible::Text t) const {
  if (t == QAccessible::Name) {
    // The caption is what the user reads on the button; a name set on the
    // widget stands in only for a button without one.
    const QString caption =
        StripAccessKeyMarker(QString::fromStdString(inside().button->Caption()));
    if (!caption.trimmed().isEmpty()) return caption;
    const QString set = widget()->accessibleName();
    return set.isEmpty() ? QString::fromStdString(inside().DisplayName()) : set;
  }
  if (t == QAccessible::Accelerator) {
    const QString key = inside().access_key;
    if (key.isEmpty()) return {};
    return QKeySequence(
               QKeyCombination(Qt::AltModifier, Qt::Key(QChar::toUpper(key.toUcs4().value(0)))))
        .toString(QKeySequence::NativeText);
  }
  return QAccessibleWidget::text(t);
}

QAccessible::State ButtonAccessible::state() const {
  QAccessible::State s = QAccessibleWidget::state();
  const button::TorvelButton& b = *inside().button;
  if (b.OptionButton() == button::kTrue) {
    s.checkable = true;
    s.checked = b.Value() == button::kTrue;
  }
  s.pressed = b.state().VisualState == button::Pressed;
  return s;
}

QStringList ButtonAccessible::actionNames() const {
  QStringList names{pressAction()};
  for (const QString& n : QAccessibleWidget::actionNames()) {
    if (!names.contains(n)) names << n;
  }
  return names;
}

void ButtonAccessible::doAction(const QString& action_name) {
  if (action_name == pressAction()) {
    inside().Press();
    return;
  }
  QAccessibleWidget::doAction(action_name);
}

QStringList ButtonAccessible::keyBindingsForAction(const QString& action_name) const {
  if (action_name == pressAction()) {
    const QString accelerator = text(QAccessible::Accelerator);
    if (!accelerator.isEmpty()) return {accelerator};
    return {};
  }
  return QAccessibleWidget::keyBindingsForAction(action_name);
}

namespace {

QAccessibleInterface* ButtonFactory(const QString& class_name, QObject* object) {
  if (object != nullptr && object->isWidgetType() &&
      class_name == QLatin1String(TorvelButtonWidget::staticMetaObject.className())) {
    return new ButtonAccessible(static_cast<TorvelButtonWidget*>(object));
  }
  return nullptr;
}

}  // namespace

void InstallAccessibleFactory() {
  static const bool installed = [] {
    QAccessible::installFactory(ButtonFactory);
    return true;
  }();
  (void)installed;
}

}  // namespace vx::qt

#pragma once

// The button as accessibility clients see it: a push button named by its
// caption, with a press action.

#include <QAccessibleWidget>
#include <QString>

class TorvelButtonWidget;
class TorvelButtonWidgetPrivate;

namespace vx::qt {

// A caption as it reads: each "&" marker dropped, "&&" shown as "&".
QString StripAccessKeyMarker(const QString& caption);

class ButtonAccessible : public QAccessibleWidget {
 public:
  explicit ButtonAccessible(TorvelButtonWidget* widget);

  QString text(QAccessible::Text t) const override;
  QAccessible::State state() const override;
  QStringList actionNames() const override;
  void doAction(const QString& action_name) override;
  QStringList keyBindingsForAction(const QString& action_name) const override;

 private:
  TorvelButtonWidgetPrivate& inside() const;
};

// Makes the accessibility framework describe every TorvelButtonWidget with
// ButtonAccessible. Safe to call more than once.
void InstallAccessibleFactory();

}  // namespace vx::qt

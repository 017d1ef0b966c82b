#include "torvelbutton/torvelbuttonwidget.h"
#include "torvelbutton/version.h"

QString TorvelButtonWidget::libraryVersion() {
  return QStringLiteral(TORVELBUTTON_VERSION_STRING);
}

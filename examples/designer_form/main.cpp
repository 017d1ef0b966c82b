// A window from a Designer form holding a TorvelButton. With --properties
// the program prints the button's stored property set as JSON and ends;
// with --screenshot FILE it saves a picture of its window and ends.

#include <torvelbutton/torvelbuttonwidget.h>
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "ui_form.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  Ui::Form form;
  form.setupUi(&window);
  QObject::connect(form.checkButton, &TorvelButtonWidget::clicked, form.result,
                   [&form] { form.result->setText(QStringLiteral("Checked")); });
  window.show();

  const QStringList args = app.arguments();
  if (args.contains(QStringLiteral("--properties"))) {
    std::puts(form.checkButton->storedProperties().constData());
    return 0;
  }
  const qsizetype shot = args.indexOf(QStringLiteral("--screenshot"));
  if (shot >= 0 && shot + 1 < args.size()) {
    QTimer::singleShot(0, &window, [&window, file = args[shot + 1]] {
      QApplication::exit(window.grab().save(file, "PNG") ? 0 : 1);
    });
  }
  return app.exec();
}

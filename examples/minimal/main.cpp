// Three buttons of different looks, an option group and a slot on clicked.
// With --screenshot FILE the program saves a picture of its window and ends.

#include <torvelbutton/torvelbuttonwidget.h>
#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  app.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));

  QWidget window;
  window.setWindowTitle(QStringLiteral("TorvelButton"));
  auto* layout = new QVBoxLayout(&window);
  auto* status = new QLabel(QStringLiteral("Nothing clicked yet"));

  // Three looks in a row.
  auto* row = new QHBoxLayout;
  auto* open = new TorvelButtonWidget(QStringLiteral("&Open"));
  auto* save = new TorvelButtonWidget(QStringLiteral("&Save"));
  save->setButtonType(TorvelButtonWidget::WindowsXP);
  auto* quit = new TorvelButtonWidget(QStringLiteral("&Quit"));
  quit->setButtonType(TorvelButtonWidget::Macintosh);
  quit->setColorScheme(TorvelButtonWidget::CustomColors);
  quit->setBackColor(QColor(0x2E, 0x7D, 0x32));
  quit->setForeColor(Qt::white);
  for (TorvelButtonWidget* b : {open, save, quit}) {
    b->setMinimumSize(96, 28);
    row->addWidget(b);
    QObject::connect(b, &TorvelButtonWidget::clicked, status, [status, b] {
      status->setText(QStringLiteral("Clicked: ") + b->caption().remove(QLatin1Char('&')));
    });
  }
  QObject::connect(quit, &TorvelButtonWidget::clicked, &window, &QWidget::close);
  layout->addLayout(row);

  // Option buttons on one parent widget form a group.
  auto* sizes = new QGroupBox(QStringLiteral("Size"));
  auto* options = new QHBoxLayout(sizes);
  for (const char* name : {"Small", "Medium", "Large"}) {
    auto* option = new TorvelButtonWidget(QString::fromLatin1(name));
    option->setButtonType(TorvelButtonWidget::ThinBevel);
    option->setOptionButton(true);
    option->setValue(QLatin1String(name) == QLatin1String("Medium"));
    option->setMinimumSize(72, 24);
    options->addWidget(option);
    QObject::connect(option, &TorvelButtonWidget::clicked, status, [status, name] {
      status->setText(QStringLiteral("Size: ") + QString::fromLatin1(name));
    });
  }
  layout->addWidget(sizes);
  layout->addWidget(status);

  window.resize(360, 150);
  window.show();

  const QStringList args = app.arguments();
  const qsizetype shot = args.indexOf(QStringLiteral("--screenshot"));
  if (shot >= 0 && shot + 1 < args.size()) {
    QTimer::singleShot(0, &window, [&window, file = args[shot + 1]] {
      const bool saved = window.grab().save(file, "PNG");
      QApplication::exit(saved ? 0 : 1);
    });
  }
  return app.exec();
}

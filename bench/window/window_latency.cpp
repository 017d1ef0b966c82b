// What a user waits for in the window, timed on whatever platform Qt runs on
// (offscreen unless one is chosen):
//
//   window_latency startup window|bare
//       milliseconds from the start of main() to the first paint of the main
//       window, or of a bare QWidget of the same size (the peer);
//   window_latency enter ADDRESS ROUNDS
//       per round, milliseconds from Enter in the address box to the first
//       paint of the status line and to the filled list.
//
// bench/window/window_latency.py runs both in alternation and reports medians.

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/window/main_window.h"

namespace {

QElapsedTimer g_clock;

// Reports the first paint of a widget, once.
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(QWidget& w) { w.installEventFilter(this); }
  qint64 at = -1;  // nanoseconds on g_clock
  void Reset() { at = -1; }

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint && at < 0) at = g_clock.nsecsElapsed();
    return false;
  }
};

double Ms(qint64 ns) {
  return static_cast<double>(ns) / 1e6;
}

int Startup(bool bare, int argc, char** argv) {
  QApplication app(argc, argv);
  std::unique_ptr<QWidget> w;
  if (bare) {
    w = std::make_unique<QWidget>();
    w->resize(598, 510 + vx::window::StatusLine::kHeight);
  } else {
    vx::window::AddBundledFonts();
    w = std::make_unique<vx::window::MainWindow>(vx::window::BuiltInForm());
  }
  FirstPaint painted(*w);
  w->show();
  while (painted.at < 0) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  std::printf("%.3f\n", Ms(painted.at));
  return 0;
}

int Enter(const std::string& address, int rounds, int argc, char** argv) {
  QApplication app(argc, argv);
  vx::window::AddBundledFonts();
  vx::window::MainWindow w(vx::window::BuiltInForm());
  w.show();
  QApplication::processEvents();
  QWidget* status_text = w.Status().findChild<QLabel*>(QStringLiteral("StatusText"));
  if (status_text == nullptr) {
    std::fprintf(stderr, "window_latency: the status line has no text label\n");
    return 2;
  }
  FirstPaint status(*status_text);
  for (int i = 0; i < rounds; ++i) {
    w.Text1().SetText(address);
    w.Text1().setFocus();
    QApplication::processEvents();
    status.Reset();
    const qint64 start = g_clock.nsecsElapsed();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(&w.Text1(), &press);
    const qint64 filled = g_clock.nsecsElapsed();
    // The status line is painted within the run at the latest; if the run was
    // too quick for any paint, it is painted now.
    while (status.at < 0) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    if (w.ListView1().topLevelItemCount() == 0) {
      std::fprintf(stderr, "window_latency: the page gave no findings\n");
      return 2;
    }
    std::printf("%.3f %.3f\n", Ms(status.at - start), Ms(filled - start));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  g_clock.start();
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (argc == 3 && std::strcmp(argv[1], "startup") == 0) {
    return Startup(std::strcmp(argv[2], "bare") == 0, argc, argv);
  }
  if (argc == 4 && std::strcmp(argv[1], "enter") == 0) {
    return Enter(argv[2], std::atoi(argv[3]), argc, argv);
  }
  std::fprintf(stderr,
               "usage: window_latency startup window|bare\n"
               "       window_latency enter ADDRESS ROUNDS\n");
  return 64;
}

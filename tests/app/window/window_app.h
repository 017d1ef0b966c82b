#pragma once

// One QApplication for a test program, on the offscreen platform unless a
// display platform was chosen.

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>

#include "app/window/main_window.h"

namespace vx::window::testing {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "window_test";
  static char* argv[] = {name, nullptr};
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The window fetches from loopback servers: not through a proxy the
  // environment names.
  for (const char* proxy :
       {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    unsetenv(proxy);
  }
  static QApplication* app = [] {
    auto* a = new QApplication(argc, argv);
    AddBundledFonts();
    // Settings the window keeps (the source box's wrapping and colours) go
    // to a folder of this process's own, never to the user's, and start
    // empty. The test cases run as processes side by side: a shared settings
    // file would let one case's settings reach another.
    static QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("VettrixTests"));
    QCoreApplication::setApplicationName(QStringLiteral("window_test"));
    QSettings().clear();
    return a;
  }();
  return *app;
}

}  // namespace vx::window::testing

#pragma once

// One QApplication for a test program, on the offscreen platform unless a
// display platform was chosen.

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
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
    // Settings the window keeps (the source box's wrapping) go to a test
    // location of our own, never to the user's, and start empty.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("VettrixTests"));
    QCoreApplication::setApplicationName(QStringLiteral("window_test"));
    QSettings().clear();
    return a;
  }();
  return *app;
}

}  // namespace vx::window::testing

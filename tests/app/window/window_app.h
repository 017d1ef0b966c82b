#pragma once

// One QApplication for a test program, on the offscreen platform unless a
// display platform was chosen.

#include <QApplication>
#include <cstdlib>

#include "app/window/main_window.h"

namespace vx::window::testing {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "window_test";
  static char* argv[] = {name, nullptr};
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* app = [] {
    auto* a = new QApplication(argc, argv);
    AddBundledFonts();
    return a;
  }();
  return *app;
}

}  // namespace vx::window::testing

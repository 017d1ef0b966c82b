#pragma once

// One QApplication for the test program, on the offscreen platform unless a
// display platform was chosen. It lives from the first test to the end of
// the last: Qt's own globals must outlive it.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

namespace vx::qt::testing {

inline std::unique_ptr<QApplication>& AppSlot() {
  static std::unique_ptr<QApplication> app;
  return app;
}

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "qt_host_test";
  static char* argv[] = {name, nullptr};
  auto& app = AppSlot();
  if (!app) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app = std::make_unique<QApplication>(argc, argv);
  }
  return *app;
}

class AppEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { AppSlot().reset(); }
};

inline ::testing::Environment* const kAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace vx::qt::testing

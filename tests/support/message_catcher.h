#pragma once

// For the Qt tests of the button: the rules' message boxes are modal, so a
// test that provokes one needs something to close it and keep what it said.

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

namespace vx::support {

// Closes every message box that opens and keeps its text.
class MessageCatcher {
 public:
  MessageCatcher() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts.push_back(box->text().toStdString());
        box->accept();
      }
    });
    timer_.start();
  }
  std::vector<std::string> texts;

 private:
  QTimer timer_;
};

}  // namespace vx::support

#pragma once

// Qt's event loop cannot carry an exception: a failure inside a button's
// handler stops at the notification that started it and is reported there.

#include <QtGlobal>
#include <exception>

namespace vx::qt {

template <typename Fn>
bool Guarded(const char* notification, Fn&& fn) {
  try {
    fn();
    return true;
  } catch (const std::exception& e) {
    qWarning("torvelbutton: %s failed: %s", notification, e.what());
  } catch (...) {
    qWarning("torvelbutton: %s failed", notification);
  }
  return false;
}

}  // namespace vx::qt

#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace vx {

// A time limit as messages give it: "30 s", "2.5 s".
inline std::string SecondsText(std::chrono::milliseconds ms) {
  char buf[32];
  if (ms.count() % 1000 == 0) {
    std::snprintf(buf, sizeof buf, "%lld s", static_cast<long long>(ms.count() / 1000));
  } else {
    std::snprintf(buf, sizeof buf, "%g s", static_cast<double>(ms.count()) / 1000.0);
  }
  return buf;
}

}  // namespace vx

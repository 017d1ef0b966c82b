// libcurl's messages say how long a connection attempt took ("after 3 ms"),
// which differs from one attempt to the next; tests that compare two answers
// compare them without it.
#pragma once

#include <regex>
#include <string>

namespace vx::support {

inline std::string WithoutTimings(const std::string& text) {
  static const std::regex kTiming("after [0-9]+ ms");
  return std::regex_replace(text, kTiming, "after N ms");
}

}  // namespace vx::support

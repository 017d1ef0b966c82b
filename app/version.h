#pragma once

#include <string>

// The versions a user reports: Vettrix's own (from the CMake project) and
// that of the libcurl it fetches with.
namespace vx::app {

// "0.1.0"
std::string ProjectVersion();
// What `vettrix --version` prints: "vettrix 0.1.0\nlibcurl 7.88.1\n".
std::string VersionText();
// The same on one line, for the window: "Vettrix 0.1.0 with libcurl 7.88.1".
std::string VersionLine();

}  // namespace vx::app

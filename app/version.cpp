#include "app/version.h"

#include "platform/fetch/fetch.h"
#include "vettrix_version.h"

namespace vx::app {

std::string ProjectVersion() {
  return VETTRIX_VERSION;
}

std::string VersionText() {
  return "vettrix " + ProjectVersion() + "\nlibcurl " + net::library_version() + "\n";
}

std::string VersionLine() {
  return "Vettrix " + ProjectVersion() + " with libcurl " + net::library_version();
}

}  // namespace vx::app

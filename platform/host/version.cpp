#include "platform/host/version.h"

#include <sys/utsname.h>

#include <charconv>

namespace vx::host {

std::string VersionText(const VersionTriple& v) {
  return std::to_string(v.platform) + "." + std::to_string(v.major) + "." + std::to_string(v.minor);
}

namespace {
// Reads a non-negative decimal number at `p`, advancing it.
bool ReadNumber(const char*& p, const char* end, int& out) {
  if (p == end || *p < '0' || *p > '9') return false;
  auto [next, ec] = std::from_chars(p, end, out);
  if (ec != std::errc()) return false;
  p = next;
  return true;
}
}  // namespace

std::optional<VersionTriple> ParseVersionText(const std::string& text) {
  VersionTriple v;
  const char* p = text.data();
  const char* end = p + text.size();
  if (!ReadNumber(p, end, v.platform) || p == end || *p++ != '.') return std::nullopt;
  if (!ReadNumber(p, end, v.major) || p == end || *p++ != '.') return std::nullopt;
  if (!ReadNumber(p, end, v.minor) || p != end) return std::nullopt;
  return v;
}

std::optional<VersionTriple> HostVersionTriple() {
  utsname u{};
  if (uname(&u) != 0) return std::nullopt;
  const std::string release = u.release;
  const char* p = release.data();
  const char* end = p + release.size();
  VersionTriple v{kLinuxPlatformId, 0, 0};
  if (!ReadNumber(p, end, v.major) || p == end || *p++ != '.') return std::nullopt;
  if (!ReadNumber(p, end, v.minor)) return std::nullopt;
  return v;
}

}  // namespace vx::host

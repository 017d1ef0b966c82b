#pragma once

#include <optional>
#include <string>

namespace vx::host {

// The operating system's version as the old version record gave it: platform
// identifier, major and minor version.
struct VersionTriple {
  int platform = 0;
  int major = 0;
  int minor = 0;

  bool operator==(const VersionTriple&) const = default;
};

// Platform identifier this build reports on Linux. The old records used
// 0 (16-bit extension), 1 (first family) and 2 (second family); 4 is outside
// that range, so no entry of the capability table ever matches it and the
// button sees a platform with gradient support and graphics mode 0.
inline constexpr int kLinuxPlatformId = 4;

// "platform.major.minor", decimal, unpadded.
std::string VersionText(const VersionTriple& v);

// Parses "P.MAJOR.MINOR" (three non-negative decimal numbers).
[[nodiscard]] std::optional<VersionTriple> ParseVersionText(const std::string& text);

// What this machine reports: {4, kernel major, kernel minor} from uname(2),
// e.g. 4.6.1 on a 6.1 kernel; nullopt when the kernel release cannot be read
// (the request failed).
[[nodiscard]] std::optional<VersionTriple> HostVersionTriple();

}  // namespace vx::host

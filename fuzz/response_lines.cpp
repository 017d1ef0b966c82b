// What the transfer reads off a server's answer beyond libcurl's own
// parsing: whether a status line is an interim one, and the scheme a
// Location names. Each input line is tried as both.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/fetch/transfer.h"

namespace {

bool SchemeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

void CheckLine(std::string_view line) {
  if (vx::net::detail::IsInterim(line)) {
    // A status code of three digits starting with 1 follows the first space.
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4 || line[space + 1] != '1')
      std::abort();
  }
  const std::string scheme = vx::net::detail::SchemeOf(line);
  if (scheme.empty()) return;
  // The scheme is the line's start, lower-cased, and a colon follows it.
  if (line.size() <= scheme.size() || line[scheme.size()] != ':') std::abort();
  if (scheme[0] < 'a' || scheme[0] > 'z') std::abort();
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    const char c = line[i];
    const char low = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (!SchemeChar(scheme[i]) || low != scheme[i]) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    CheckLine(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return 0;
}

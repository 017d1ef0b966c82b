// An archived HTTP response over any bytes: its head is read or refused, and
// its body decoded (chunks, gzip, deflate, brotli) stays within the limit.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/archive/http_payload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::uint64_t kMax = 1 << 16;
  vx::archive::HttpResponse response;
  std::string error;
  if (!vx::archive::ParseHttpResponse(std::string(reinterpret_cast<const char*>(data), size),
                                      &response, &error, 4096)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (response.status < 0 || response.status > 999) std::abort();
  if (response.body.size() > size) std::abort();
  if (vx::archive::DecodeHttpBody(response, kMax, &error)) {
    if (response.body.size() > kMax) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}

// The archive reader over any bytes: plain or gzipped, it ends, never holds
// a block over its limit, and a record it hands out whole is as long as its
// Content-Length says.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/archive/warc_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vx::archive::WarcLimits limits;
  limits.max_block = 4096;
  limits.max_line = 256;
  limits.max_header = 2048;
  vx::archive::WarcReader reader(limits);
  reader.OpenBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  std::size_t records = 0;
  while (auto r = reader.Next()) {
    if (r->block.size() > limits.max_block) std::abort();
    if (r->error.empty() && !r->too_large && r->block.size() != r->length) std::abort();
    if (r->too_large && !r->block.empty()) std::abort();
    (void)r->target_uri();
    (void)r->type();
    // Every record consumes bytes: there cannot be more than there are.
    if (++records > size + 1) std::abort();
  }
  return 0;
}

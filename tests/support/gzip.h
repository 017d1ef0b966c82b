#pragma once

// Compresses test data with zlib: gzip members (the default), zlib or raw
// deflate streams, as servers and archives send them.

#include <zlib.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace vx::support {

// `window_bits` as deflateInit2 takes it: 16 + 15 for a gzip member, 15 for
// a zlib stream, -15 for raw deflate.
inline std::string Deflate(std::string_view data, int window_bits = 16 + MAX_WBITS, int level = 6) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  std::string out(deflateBound(&z, data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate failed");
  return out;
}

}  // namespace vx::support

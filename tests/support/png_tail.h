#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vx::test {

// A width x height 8-bit RGBA PNG, opaque, whose pixel (x, y) has channel c
// equal to PngTailValue(x, y, c), and whose zlib stream goes on after the
// image:
struct PngTail {
  int width = 4;
  int height = 4;
  // bytes of zeros compressed after the image's rows (in 64 MiB pieces and
  // a remainder; gigabytes take megabytes and a moment to write)
  std::uint64_t trailing_zeros = 0;
  // empty stored deflate blocks (5 bytes each) before the image's rows:
  // image data that costs work and gives nothing
  std::size_t empty_blocks_before = 0;
  std::size_t chunk_bytes = 1 << 20;  // IDAT chunk size
  bool bad_last_crc = false;          // the last IDAT chunk's CRC is wrong
};
unsigned char PngTailValue(int x, int y, int c);
// Throws std::runtime_error when the file cannot be written.
void WritePngWithTail(const std::string& path, const PngTail& shape);

}  // namespace vx::test

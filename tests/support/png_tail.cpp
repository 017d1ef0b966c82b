#include "tests/support/png_tail.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace vx::test {
namespace {

using Bytes = std::vector<unsigned char>;

void Put32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<unsigned char>(v >> shift));
}

// Raw deflate of `in` ended by a full flush: byte-aligned and referring to
// nothing before it, so that copies of it may follow one another.
Bytes Deflate(z_stream& z, const unsigned char* in, std::size_t size, int flush) {
  Bytes out;
  z.next_in = const_cast<unsigned char*>(in);
  z.avail_in = static_cast<uInt>(size);
  unsigned char buf[1 << 16];
  do {
    z.next_out = buf;
    z.avail_out = sizeof buf;
    if (deflate(&z, flush) == Z_STREAM_ERROR) throw std::runtime_error("deflate failed");
    out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
  } while (z.avail_out == 0 || z.avail_in > 0);
  return out;
}

}  // namespace

unsigned char PngTailValue(int x, int y, int c) {
  return c == 3 ? 255 : static_cast<unsigned char>(x * 7 + y * 13 + c * 29);
}

void WritePngWithTail(const std::string& path, const PngTail& shape) {
  Bytes raw;
  for (int y = 0; y < shape.height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < shape.width; ++x) {
      for (int c = 0; c < 4; ++c) raw.push_back(PngTailValue(x, y, c));
    }
  }
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::unique_ptr<z_stream, int (*)(z_stream*)> ender(&z, &deflateEnd);
  Bytes stream = {0x78, 0xDA};  // zlib header: deflate, 32 KiB window
  for (std::size_t i = 0; i < shape.empty_blocks_before; ++i) {
    stream.insert(stream.end(), {0x00, 0x00, 0x00, 0xFF, 0xFF});
  }
  const Bytes image = Deflate(z, raw.data(), raw.size(), Z_FULL_FLUSH);
  stream.insert(stream.end(), image.begin(), image.end());
  uLong adler = adler32(1, raw.data(), static_cast<uInt>(raw.size()));
  const std::uint64_t piece = std::min<std::uint64_t>(shape.trailing_zeros, 64 << 20);
  if (piece > 0) {
    const Bytes zeros(piece, 0);
    const Bytes packed = Deflate(z, zeros.data(), zeros.size(), Z_FULL_FLUSH);
    const uLong zeros_adler = adler32(1, zeros.data(), static_cast<uInt>(zeros.size()));
    std::uint64_t left = shape.trailing_zeros;
    for (; left >= piece; left -= piece) {
      stream.insert(stream.end(), packed.begin(), packed.end());
      adler = adler32_combine(adler, zeros_adler, static_cast<z_off_t>(piece));
    }
    if (left > 0) {
      const Bytes rest = Deflate(z, zeros.data(), left, Z_FULL_FLUSH);
      stream.insert(stream.end(), rest.begin(), rest.end());
      adler = adler32_combine(adler, adler32(1, zeros.data(), static_cast<uInt>(left)),
                              static_cast<z_off_t>(left));
    }
  }
  const Bytes end = Deflate(z, nullptr, 0, Z_FINISH);
  stream.insert(stream.end(), end.begin(), end.end());
  Put32(stream, static_cast<std::uint32_t>(adler));

  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) throw std::runtime_error("cannot create " + path);
  auto chunk = [&](const char* type, const unsigned char* data, std::size_t size, bool bad) {
    Bytes c;
    Put32(c, static_cast<std::uint32_t>(size));
    c.insert(c.end(), type, type + 4);
    c.insert(c.end(), data, data + size);
    uLong crc = crc32(0, c.data() + 4, static_cast<uInt>(size + 4));
    if (bad) crc ^= 1;
    Put32(c, static_cast<std::uint32_t>(crc));
    if (std::fwrite(c.data(), 1, c.size(), file.get()) != c.size()) {
      throw std::runtime_error("cannot write " + path);
    }
  };
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (std::fwrite(kSignature, 1, sizeof kSignature, file.get()) != sizeof kSignature) {
    throw std::runtime_error("cannot write " + path);
  }
  Bytes header;
  Put32(header, static_cast<std::uint32_t>(shape.width));
  Put32(header, static_cast<std::uint32_t>(shape.height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, not interlaced
  chunk("IHDR", header.data(), header.size(), false);
  const std::size_t step = std::max<std::size_t>(1, shape.chunk_bytes);
  for (std::size_t at = 0; at < stream.size(); at += step) {
    const std::size_t n = std::min(step, stream.size() - at);
    chunk("IDAT", stream.data() + at, n, shape.bad_last_crc && at + n == stream.size());
  }
  chunk("IEND", nullptr, 0, false);
  if (std::fclose(file.release()) != 0) throw std::runtime_error("cannot write " + path);
}

}  // namespace vx::test

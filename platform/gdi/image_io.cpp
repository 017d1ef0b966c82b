#include "platform/gdi/image_io.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "platform/files/file_reader.h"
#include "platform/files/file_writer.h"

namespace vx::gdi {

namespace {

bool Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return false;
}

bool ReadFile(const std::string& path, std::string& data, std::string* error) {
  std::string why;
  if (!files::ReadLocalFile(path, data, {}, /*regular_only=*/true, &why)) {
    return Fail(error, "cannot read " + path + ": " + why);
  }
  return true;
}

bool WriteFile(const std::string& path, const std::string& data, std::string* error) {
  std::string why;
  if (!files::WriteWholeFile(path, data, &why))
    return Fail(error, "cannot write " + path + ": " + why);
  return true;
}

// Reads the header fields of a netpbm file ("P6 W H 255" or "P4 W H"),
// skipping comments; leaves `pos` on the first pixel byte.
bool ParseNetpbmHeader(const std::string& data, const char* magic, int fields, long long* values,
                       std::size_t& pos) {
  if (data.size() < 2 || data[0] != magic[0] || data[1] != magic[1]) return false;
  pos = 2;
  for (int i = 0; i < fields; ++i) {
    for (;;) {
      if (pos >= data.size()) return false;
      if (data[pos] == '#') {
        while (pos < data.size() && data[pos] != '\n') ++pos;
      } else if (std::isspace(static_cast<unsigned char>(data[pos]))) {
        ++pos;
      } else {
        break;
      }
    }
    long long v = 0;
    std::size_t digits = 0;
    while (pos < data.size() && std::isdigit(static_cast<unsigned char>(data[pos]))) {
      v = v * 10 + (data[pos] - '0');
      if (v > std::numeric_limits<int>::max()) return false;
      ++pos;
      ++digits;
    }
    if (digits == 0) return false;
    values[i] = v;
  }
  // Exactly one whitespace byte separates the header from the pixels.
  if (pos >= data.size() || !std::isspace(static_cast<unsigned char>(data[pos]))) return false;
  ++pos;
  return true;
}

}  // namespace

std::string PictureSizeProblem(long long width, long long height) {
  if (width <= kMaxPictureEdge && height <= kMaxPictureEdge &&
      width * height <= kMaxPicturePixels) {
    return "";
  }
  return "picture too large (" + std::to_string(width) + " x " + std::to_string(height) +
         " pixels; at most " + std::to_string(kMaxPicturePixels) + " pixels, " +
         std::to_string(kMaxPictureEdge) + " a side)";
}

bool WritePpm(const std::string& path, const Surface& s, std::string* error) {
  std::string data =
      "P6\n" + std::to_string(s.width()) + " " + std::to_string(s.height()) + "\n255\n";
  data.reserve(data.size() + s.pixels().size() * 3);
  for (ColorRef c : s.pixels()) {
    data.push_back(static_cast<char>(c & 0xFF));
    data.push_back(static_cast<char>((c >> 8) & 0xFF));
    data.push_back(static_cast<char>((c >> 16) & 0xFF));
  }
  return WriteFile(path, data, error);
}

bool ReadPpm(const std::string& path, Surface& out, std::string* error) {
  std::string data;
  if (!ReadFile(path, data, error)) return false;
  long long v[3];
  std::size_t pos = 0;
  if (!ParseNetpbmHeader(data, "P6", 3, v, pos) || v[2] != 255) {
    return Fail(error, path + ": not a binary 8-bit PPM (P6, maxval 255)");
  }
  if (auto problem = PictureSizeProblem(v[0], v[1]); !problem.empty()) {
    return Fail(error, path + ": " + problem);
  }
  const long long count = v[0] * v[1];
  if (static_cast<long long>((data.size() - pos) / 3) < count) {
    return Fail(error, path + ": pixel data is short");
  }
  Surface s(static_cast<int>(v[0]), static_cast<int>(v[1]));
  const auto* p = reinterpret_cast<const unsigned char*>(data.data() + pos);
  for (auto& c : s.pixels()) {
    c = ColorRef{p[0]} | ColorRef{p[1]} << 8 | ColorRef{p[2]} << 16;
    p += 3;
  }
  out = std::move(s);
  return true;
}

bool WritePbm(const std::string& path, const Mask& m, std::string* error) {
  std::string data = "P4\n" + std::to_string(m.width()) + " " + std::to_string(m.height()) + "\n";
  const int stride = (m.width() + 7) / 8;
  for (int y = 0; y < m.height(); ++y) {
    std::string row(static_cast<std::size_t>(stride), '\0');
    for (int x = 0; x < m.width(); ++x) {
      if (m.at(x, y)) row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
    }
    data += row;
  }
  return WriteFile(path, data, error);
}

bool ReadPbm(const std::string& path, Mask& out, std::string* error) {
  std::string data;
  if (!ReadFile(path, data, error)) return false;
  long long v[2];
  std::size_t pos = 0;
  if (!ParseNetpbmHeader(data, "P4", 2, v, pos)) {
    return Fail(error, path + ": not a binary PBM (P4)");
  }
  if (auto problem = PictureSizeProblem(v[0], v[1]); !problem.empty()) {
    return Fail(error, path + ": " + problem);
  }
  const long long stride = (v[0] + 7) / 8;
  if (static_cast<long long>(data.size() - pos) < stride * v[1]) {
    return Fail(error, path + ": bit data is short");
  }
  Mask m(static_cast<int>(v[0]), static_cast<int>(v[1]));
  for (int y = 0; y < m.height(); ++y) {
    const auto* row = reinterpret_cast<const unsigned char*>(data.data() + pos) + y * stride;
    for (int x = 0; x < m.width(); ++x) m.set(x, y, (row[x / 8] & (0x80 >> (x % 8))) != 0);
  }
  out = std::move(m);
  return true;
}

bool WritePng(const std::string& path, const Surface& s, const Mask* opaque, std::string* error,
              std::string* note) {
  if (s.width() == 0 || s.height() == 0) return Fail(error, "cannot write an empty PNG");
  std::vector<png_byte> rgba(s.pixels().size() * 4);
  std::size_t i = 0;
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) {
      const ColorRef c = s.at(x, y);
      rgba[i++] = static_cast<png_byte>(c & 0xFF);
      rgba[i++] = static_cast<png_byte>((c >> 8) & 0xFF);
      rgba[i++] = static_cast<png_byte>((c >> 16) & 0xFF);
      rgba[i++] = (opaque == nullptr || opaque->get(x, y)) ? 255 : 0;
    }
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(s.width());
  image.height = static_cast<png_uint_32>(s.height());
  image.format = PNG_FORMAT_RGBA;
  // Made in memory and written by the file writer: libpng's own writer
  // deletes the file it was given when a write fails, be it /dev/full or
  // the last good picture.
  png_alloc_size_t size = 0;
  std::vector<png_byte> encoded;
  bool made = png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr) != 0;
  if (made) {
    encoded.resize(size);
    made =
        png_image_write_to_memory(&image, encoded.data(), &size, 0, rgba.data(), 0, nullptr) != 0;
  }
  if (!made) {
    std::string reason = image.message;
    png_image_free(&image);
    return Fail(error, path + ": " + reason);
  }
  std::string why;
  if (!files::WriteWholeFile(path,
                             std::string_view(reinterpret_cast<const char*>(encoded.data()), size),
                             &why, note)) {
    return Fail(error, path + ": " + why);
  }
  return true;
}

namespace {

// libpng reports errors by long jump: the handler keeps the message and jumps
// back to the setjmp in DecodePng, whose frame holds nothing to destroy.
void OnPngError(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message;
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Everything DecodePng and libpng's callbacks change lives outside
// DecodePng's frame (see OnPngError).
struct PngRead {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::string message;
  std::string pending;  // a message for png_error, kept alive across its jump
  PngPixels* out = nullptr;
  std::vector<png_bytep> rows;
  int last_pass = 0;
  bool started = false;      // the header is read and the rows are laid out
  bool done = false;         // the last row of the last pass is in
  long long fed = 0;         // bytes handed to libpng so far
  long long budget_end = 0;  // by then the image must be complete
};

void OnPngInfo(png_structp png, png_infop info) {
  auto* r = static_cast<PngRead*>(png_get_progressive_ptr(png));
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  r->pending = PictureSizeProblem(width, height);
  if (!r->pending.empty()) png_error(png, r->pending.c_str());
  // The image as stored takes a filter byte a row (and a pass of an
  // interlaced one) besides its pixels: no encoder needs more than twice
  // that, plus a little for the zlib framing and chunk headers. More is
  // data meant to keep the reader busy.
  const long long stored_row =
      (static_cast<long long>(width) * png_get_bit_depth(png, info) * png_get_channels(png, info) +
       7) /
          8 +
      1;
  r->budget_end = r->fed + 2 * (stored_row * height + 7LL * height) + (64 << 10);
  const png_byte color = png_get_color_type(png, info);
  r->out->has_alpha =
      (color & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  if (!r->out->has_alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  r->last_pass = png_set_interlace_handling(png) - 1;
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t{width} * 4) {
    r->pending = "unexpected pixel layout";
    png_error(png, r->pending.c_str());
  }
  r->out->width = static_cast<int>(width);
  r->out->height = static_cast<int>(height);
  r->out->rgba.assign(std::size_t{width} * height * 4, 0);
  r->rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) r->rows[y] = &r->out->rgba[std::size_t{y} * width * 4];
  r->started = true;
}

// With interlace handling libpng calls this for every row of every pass,
// `new_row` null where the pass has nothing for the row.
void OnPngRow(png_structp png, png_bytep new_row, png_uint_32 row, int pass) {
  auto* r = static_cast<PngRead*>(png_get_progressive_ptr(png));
  if (r->done || row >= r->rows.size()) return;
  png_progressive_combine_row(png, r->rows[row], new_row);
  if (row + 1 == r->rows.size() && pass >= r->last_pass) r->done = true;
}

// libpng allocates a chunk's declared length before it reads the chunk, so
// the chunks are walked first: each must fit in what is left of the file,
// and none but image data may be larger than kMaxPngChunkBytes. Leaves the
// file just past the signature; "" when the chunks are sound.
std::string CheckPngChunks(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return "cannot seek in the file";
  const long long size = std::ftell(file);
  long long pos = 8;
  std::string problem;
  while (problem.empty() && pos + 8 <= size && std::fseek(file, pos, SEEK_SET) == 0) {
    unsigned char head[8];
    if (std::fread(head, 1, sizeof head, file) != sizeof head) break;
    const long long length = static_cast<long long>(png_get_uint_32(head));
    std::string type(reinterpret_cast<const char*>(head + 4), 4);
    const bool named = std::all_of(type.begin(), type.end(), [](char c) {
      return std::isalpha(static_cast<unsigned char>(c));
    });
    const std::string chunk = named ? "chunk " + type : "a chunk";
    if (type != "IDAT" && length > static_cast<long long>(kMaxPngChunkBytes)) {
      problem = chunk + " is too large (" + std::to_string(length) + " bytes; at most " +
                std::to_string(kMaxPngChunkBytes) + ")";
    } else if (length > size - pos - 12) {
      problem = chunk + " runs past the end of the file";
    } else if (type == "IEND") {
      break;
    }
    pos += 12 + length;
  }
  if (problem.empty() && std::fseek(file, 8, SEEK_SET) != 0) problem = "cannot seek in the file";
  return problem;
}

// The file is handed to libpng piece by piece, and no more once the last
// row is in: what follows the image (a zlib stream can go on with gigabytes
// of zeros in a few megabytes) is never inflated, as nothing after the
// image changes the picture.
bool DecodePng(PngRead& r, std::FILE* file, PngPixels& out) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  r.out = &out;
  png_set_progressive_read_fn(r.png, &r, OnPngInfo, OnPngRow, nullptr);
  png_set_chunk_malloc_max(r.png, kMaxPngChunkBytes);
  png_set_user_limits(r.png, kMaxPictureEdge, kMaxPictureEdge);
  static png_byte signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  r.fed = sizeof signature;
  png_process_data(r.png, r.info, signature, sizeof signature);
  png_byte buffer[8192];
  while (!r.done) {
    if (r.started && r.fed > r.budget_end) {
      r.message = "image data far larger than a " + std::to_string(out.width) + " x " +
                  std::to_string(out.height) + " picture needs";
      return false;
    }
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
    if (n == 0) {
      r.message = std::ferror(file) ? std::string("cannot read the file")
                  : r.started       ? std::string("the image data ends before the picture does")
                                    : std::string("the file ends before the image data");
      return false;
    }
    r.fed += static_cast<long long>(n);
    png_process_data(r.png, r.info, buffer, n);
  }
  return true;
}

}  // namespace

bool ReadPngPixels(const std::string& path, PngPixels& out, std::string* error) {
  // A picture is a regular file: a FIFO would wait for a writer, a device
  // could be read for ever.
  files::InputFile input;
  if (!input.Open(path, /*regular_only=*/true)) return Fail(error, input.error());
  const int fd = ::dup(input.fd());
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(fd >= 0 ? ::fdopen(fd, "rb") : nullptr,
                                                             &std::fclose);
  if (!file) {
    const int err = errno;
    if (fd >= 0) ::close(fd);
    return Fail(error, std::strerror(err));
  }
  png_byte signature[8] = {};
  if (std::fread(signature, 1, sizeof signature, file.get()) != sizeof signature ||
      png_sig_cmp(signature, 0, sizeof signature) != 0) {
    return Fail(error, "not a PNG file");
  }
  if (std::string problem = CheckPngChunks(file.get()); !problem.empty()) {
    return Fail(error, problem);
  }
  PngRead r;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.message, OnPngError, OnPngWarning);
  if (r.png != nullptr) r.info = png_create_info_struct(r.png);
  if (r.png == nullptr || r.info == nullptr) {
    png_destroy_read_struct(&r.png, &r.info, nullptr);
    return Fail(error, "out of memory");
  }
  PngPixels pixels;
  const bool ok = DecodePng(r, file.get(), pixels);
  png_destroy_read_struct(&r.png, &r.info, nullptr);
  if (!ok) return Fail(error, r.message);
  out = std::move(pixels);
  return true;
}

bool ReadPng(const std::string& path, Surface& out, Mask* transparent, std::string* error) {
  PngPixels png;
  std::string reason;
  if (!ReadPngPixels(path, png, &reason)) return Fail(error, path + ": " + reason);
  Surface s(png.width, png.height);
  Mask m(s.width(), s.height());
  const std::vector<unsigned char>& rgba = png.rgba;
  std::size_t i = 0;
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x, i += 4) {
      s.set(x, y, ColorRef{rgba[i]} | ColorRef{rgba[i + 1]} << 8 | ColorRef{rgba[i + 2]} << 16);
      m.set(x, y, rgba[i + 3] < 128);
    }
  }
  out = std::move(s);
  if (transparent != nullptr) *transparent = std::move(m);
  return true;
}

}  // namespace vx::gdi

#include "platform/gdi/image_io.h"

#include <png.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <vector>

namespace vx::gdi {

namespace {

bool Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return false;
}

bool ReadFile(const std::string& path, std::string& data, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(error, "cannot open " + path);
  data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return Fail(error, "cannot read " + path);
  return true;
}

bool WriteFile(const std::string& path, const std::string& data, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return Fail(error, "cannot create " + path);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) return Fail(error, "cannot write " + path);
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

bool WritePng(const std::string& path, const Surface& s, const Mask* opaque, std::string* error) {
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
  if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) {
    std::string reason = image.message;
    png_image_free(&image);
    return Fail(error, path + ": " + reason);
  }
  return true;
}

bool ReadPng(const std::string& path, Surface& out, Mask* transparent, std::string* error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    std::string reason = image.message;
    png_image_free(&image);
    return Fail(error, path + ": " + reason);
  }
  image.format = PNG_FORMAT_RGBA;
  if (auto problem = PictureSizeProblem(image.width, image.height); !problem.empty()) {
    png_image_free(&image);
    return Fail(error, path + ": " + problem);
  }
  std::vector<png_byte> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
    std::string reason = image.message;
    png_image_free(&image);
    return Fail(error, path + ": " + reason);
  }
  Surface s(static_cast<int>(image.width), static_cast<int>(image.height));
  Mask m(s.width(), s.height());
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

#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/gdi/region.h"
#include "platform/gdi/surface.h"
#include "platform/gdi/types.h"

// Reading and writing surfaces and masks. Every function returns false on
// failure and then puts a reason into *error when error is given.
namespace vx::gdi {

// The largest picture any reader decodes: 4096 × 4096 pixels' worth (64 MiB
// as 32-bit pixels), no edge beyond what 16-bit coordinates hold. A small
// compressed file can declare a huge image, so readers check the size from
// the header before they allocate anything for the pixels.
inline constexpr long long kMaxPicturePixels = 4096LL * 4096;
inline constexpr long long kMaxPictureEdge = 32767;

// "" when a width × height picture may be decoded, else the reason:
// "picture too large (W x H pixels; at most ...)".
std::string PictureSizeProblem(long long width, long long height);

// 8-bit RGBA PNG. With `opaque` given, pixels where it is false (or outside
// it) are written fully transparent; otherwise every pixel is opaque. The
// file is written by files::FileWriter: a failed write leaves `path` as it
// was; `*note`, when given, gets what the writer has to tell (a file
// rewritten in place), "" when nothing.
[[nodiscard]] bool WritePng(const std::string& path, const Surface& s, const Mask* opaque = nullptr,
                            std::string* error = nullptr, std::string* note = nullptr);
// The same with a window region: pixels outside it are transparent.
[[nodiscard]] inline bool WritePng(const std::string& path, const Surface& s, const Region& shape,
                                   std::string* error = nullptr, std::string* note = nullptr) {
  const Mask opaque = shape.ToMask(s.width(), s.height());
  return WritePng(path, s, &opaque, error, note);
}
// Any PNG as 8-bit RGBA rows, top to bottom; `has_alpha` when the file has
// an alpha channel or a transparent colour. No chunk of the file, nor a
// compressed text or colour profile once inflated, may take more than
// kMaxPngChunkBytes: a file of a few bytes can declare a chunk of gigabytes.
// On failure *error is the reason alone, without the file's name.
inline constexpr std::size_t kMaxPngChunkBytes = std::size_t{8} << 20;
struct PngPixels {
  int width = 0;
  int height = 0;
  bool has_alpha = false;
  std::vector<unsigned char> rgba;
};
[[nodiscard]] bool ReadPngPixels(const std::string& path, PngPixels& out,
                                 std::string* error = nullptr);
// Any PNG, converted to 8-bit RGBA. Pixels with alpha below 128 are marked
// in *transparent when it is given; their colour is kept.
[[nodiscard]] bool ReadPng(const std::string& path, Surface& out, Mask* transparent = nullptr,
                           std::string* error = nullptr);

// Binary PPM (P6, maxval 255) and PBM (P4, bit 1 = true, rows padded to bytes).
[[nodiscard]] bool WritePpm(const std::string& path, const Surface& s,
                            std::string* error = nullptr);
[[nodiscard]] bool ReadPpm(const std::string& path, Surface& out, std::string* error = nullptr);
[[nodiscard]] bool WritePbm(const std::string& path, const Mask& m, std::string* error = nullptr);
[[nodiscard]] bool ReadPbm(const std::string& path, Mask& out, std::string* error = nullptr);

}  // namespace vx::gdi

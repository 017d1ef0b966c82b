#pragma once

#include <string>

#include "platform/gdi/region.h"
#include "platform/gdi/surface.h"
#include "platform/gdi/types.h"

// Reading and writing surfaces and masks. Every function returns false on
// failure and then puts a reason into *error when error is given.
namespace vx::gdi {

// 8-bit RGBA PNG. With `opaque` given, pixels where it is false (or outside
// it) are written fully transparent; otherwise every pixel is opaque.
[[nodiscard]] bool WritePng(const std::string& path, const Surface& s, const Mask* opaque = nullptr,
                            std::string* error = nullptr);
// The same with a window region: pixels outside it are transparent.
[[nodiscard]] inline bool WritePng(const std::string& path, const Surface& s, const Region& shape,
                                   std::string* error = nullptr) {
  const Mask opaque = shape.ToMask(s.width(), s.height());
  return WritePng(path, s, &opaque, error);
}
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

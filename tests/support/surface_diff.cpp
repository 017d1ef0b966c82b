#include "tests/support/surface_diff.h"

#include <algorithm>
#include <cstdio>

namespace vx::support {
namespace {

constexpr int kShown = 5;  // differing pixels named in a message

template <typename Image, typename Describe>
std::string Diff(const Image& got, const Image& want, const char* what, Describe describe) {
  if (got.width() != want.width() || got.height() != want.height()) {
    return "size " + std::to_string(got.width()) + "x" + std::to_string(got.height()) + ", want " +
           std::to_string(want.width()) + "x" + std::to_string(want.height());
  }
  std::string detail;
  int count = 0;
  for (int y = 0; y < got.height(); ++y) {
    for (int x = 0; x < got.width(); ++x) {
      if (got.at(x, y) == want.at(x, y)) continue;
      if (++count <= kShown) {
        detail += " (" + std::to_string(x) + "," + std::to_string(y) + ") " + describe(x, y) + ";";
      }
    }
  }
  return count == 0 ? "" : std::to_string(count) + " " + what + " differ:" + detail;
}

}  // namespace

std::string Hex(std::uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06X", static_cast<unsigned>(value));
  return buf;
}

std::string DiffSurfaces(const Surface& got, const Surface& want) {
  return Diff(got, want, "pixels", [&](int x, int y) {
    return "got " + Hex(got.at(x, y)) + " want " + Hex(want.at(x, y));
  });
}

std::string DiffMasks(const gdi::Mask& got, const gdi::Mask& want) {
  return Diff(got, want, "mask bits",
              [&](int x, int y) { return std::string("got ") + (got.at(x, y) ? "in" : "out"); });
}

int CountDifferences(const Surface& a, const Surface& b) {
  // Surfaces of different sizes differ everywhere.
  if (a.width() != b.width() || a.height() != b.height()) {
    return static_cast<int>(std::max(a.pixels().size(), b.pixels().size()));
  }
  int n = 0;
  for (std::size_t i = 0; i < a.pixels().size(); ++i) n += a.pixels()[i] != b.pixels()[i] ? 1 : 0;
  return n;
}

}  // namespace vx::support

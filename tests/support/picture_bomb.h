#pragma once

#include <string>

namespace vx::test {

// Writes a 1-bit grey PNG of width x height black pixels: a small file (about
// 130 KB at 32767 x 32767) that declares a picture of gigabytes once decoded.
// Throws std::runtime_error when the file cannot be written.
void WritePictureBomb(const std::string& path, int width, int height);

}  // namespace vx::test

// The PNG readers (the drawing layer's and the host's picture loader): any
// bytes give a picture within the size limit or an error, never a crash or
// gigabytes of memory.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gdi/image_io.h"
#include "platform/host/picture.h"
#include "platform/host/services.h"

namespace {

// The readers take a file name: one file per process, rewritten each run.
const std::string& InputFile() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/vx_fuzz_png_" + std::to_string(::getpid()) +
           ".png";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = InputFile();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);

  vx::Surface surface;
  vx::gdi::Mask mask;
  std::string error;
  if (vx::gdi::ReadPng(path, surface, &mask, &error)) {
    if (!vx::gdi::PictureSizeProblem(surface.width(), surface.height()).empty()) std::abort();
    if (mask.width() != surface.width() || mask.height() != surface.height()) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  try {
    const vx::host::PicturePtr p = vx::host::LoadPicturePng(path);
    if (!vx::gdi::PictureSizeProblem(p->width(), p->height()).empty()) std::abort();
  } catch (const vx::host::HostError&) {
  }
  return 0;
}

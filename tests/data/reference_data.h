#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdi/surface.h"
#include "platform/gdi/types.h"

// The reference pixels the tests compare against, as kept in this repository:
// tests/data/gdi-reference, made by scripts/refresh-reference-data.py from the
// recorded pictures. Pictures and masks are named by their recorded names
// (NAME.ppm, NAME.pbm, as the drawing scripts and case lists call them) and
// read from their PNG copies.
namespace vx::testdata {

// tests/data/gdi-reference of the source tree.
std::filesystem::path ReferenceDir();

// The name a recorded file has in the copy: NAME.ppm -> NAME.png,
// NAME.pbm -> NAME.mask.png, anything else unchanged.
std::string CopyName(std::string_view recorded);

// A recorded picture (NAME.ppm) or region mask (NAME.pbm), read from its copy
// beside the given path. False, with the path and the reason in *error, when
// the copy is missing or unreadable, or a mask holds other than black and white.
bool ReadPicture(const std::filesystem::path& recorded, Surface& out, std::string* error);
bool ReadMask(const std::filesystem::path& recorded, gdi::Mask& out, std::string* error);

// One line of the copy's MANIFEST.
struct ManifestEntry {
  std::string copy;      // path in the copy, relative to ReferenceDir()
  std::string recorded;  // the recorded file it was made from
  std::string kind;      // "picture", "mask" or "text"
  int width = 0;
  int height = 0;
  std::uint64_t checksum = 0;  // see the checksums below
};
// False with the reason when MANIFEST is missing or a line is malformed.
bool ReadManifest(std::vector<ManifestEntry>& out, std::string* error);

// FNV-1a, 64 bits, as the refresh script computes it: over R, G, B bytes a
// pixel for pictures, one byte 0 or 1 a pixel for masks, the bytes of a text.
std::uint64_t Fnv1a64(std::string_view bytes);
std::uint64_t PictureChecksum(const Surface& s);
std::uint64_t MaskChecksum(const gdi::Mask& m);

}  // namespace vx::testdata

#include "tests/data/reference_data.h"

#include <fstream>
#include <sstream>

#include "platform/gdi/image_io.h"

namespace vx::testdata {

namespace fs = std::filesystem;

fs::path ReferenceDir() {
  return fs::path(VETTRIX_SOURCE_DIR) / "tests" / "data" / "gdi-reference";
}

std::string CopyName(std::string_view recorded) {
  const std::string name(recorded);
  if (name.ends_with(".ppm")) return name.substr(0, name.size() - 4) + ".png";
  if (name.ends_with(".pbm")) return name.substr(0, name.size() - 4) + ".mask.png";
  return name;
}

namespace {

fs::path CopyPath(const fs::path& recorded) {
  return recorded.parent_path() / CopyName(recorded.filename().string());
}

bool Fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

}  // namespace

bool ReadPicture(const fs::path& recorded, Surface& out, std::string* error) {
  return gdi::ReadPng(CopyPath(recorded).string(), out, nullptr, error);
}

bool ReadMask(const fs::path& recorded, gdi::Mask& out, std::string* error) {
  const fs::path path = CopyPath(recorded);
  Surface s;
  if (!gdi::ReadPng(path.string(), s, nullptr, error)) return false;
  gdi::Mask m(s.width(), s.height());
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) {
      const ColorRef c = s.at(x, y);
      if (c != 0 && c != 0xFFFFFF) {
        return Fail(error, path.string() + ": pixel (" + std::to_string(x) + "," +
                               std::to_string(y) + ") is neither black nor white");
      }
      m.set(x, y, c == 0xFFFFFF);
    }
  }
  out = std::move(m);
  return true;
}

bool ReadManifest(std::vector<ManifestEntry>& out, std::string* error) {
  const fs::path path = ReferenceDir() / "MANIFEST";
  std::ifstream in(path);
  if (!in) return Fail(error, path.string() + ": cannot be read");
  std::vector<ManifestEntry> entries;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    ManifestEntry e;
    std::string checksum, rest;
    if (!(words >> e.copy >> e.recorded >> e.kind >> e.width >> e.height >> checksum) ||
        (words >> rest) || checksum.size() != 16) {
      return Fail(error, path.string() + ":" + std::to_string(number) + ": malformed line");
    }
    e.checksum = std::stoull(checksum, nullptr, 16);
    entries.push_back(std::move(e));
  }
  out = std::move(entries);
  return true;
}

std::uint64_t Fnv1a64(std::string_view bytes) {
  std::uint64_t h = 0xCBF29CE484222325ull;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001B3ull;
  }
  return h;
}

std::uint64_t PictureChecksum(const Surface& s) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(s.width()) * static_cast<std::size_t>(s.height()) * 3);
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) {
      const ColorRef c = s.at(x, y);  // 0x00BBGGRR
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
      bytes.push_back(static_cast<char>((c >> 16) & 0xFF));
    }
  }
  return Fnv1a64(bytes);
}

std::uint64_t MaskChecksum(const gdi::Mask& m) {
  std::string bytes;
  for (int y = 0; y < m.height(); ++y) {
    for (int x = 0; x < m.width(); ++x) bytes.push_back(m.at(x, y) ? 1 : 0);
  }
  return Fnv1a64(bytes);
}

}  // namespace vx::testdata

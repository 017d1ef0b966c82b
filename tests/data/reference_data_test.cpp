// The repository's copy of the reference pixels is whole: every case the
// button and caption case list names and every output a drawing script writes has its
// copy, nothing else lies in the copy, and every picture and mask decodes to
// the size and pixels recorded in the MANIFEST.
#include "tests/data/reference_data.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vx::testdata {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class ReferenceCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(ReadManifest(entries_, &error)) << error;
    for (const ManifestEntry& e : entries_) by_copy_[e.copy] = &e;
  }

 public:
  const std::vector<ManifestEntry>& entries() const { return entries_; }
  // True when the manifest lists the copy and the file exists.
  ::testing::AssertionResult Holds(const std::string& copy) const {
    if (by_copy_.count(copy) == 0) return ::testing::AssertionFailure() << copy << " not listed";
    if (!fs::is_regular_file(ReferenceDir() / copy)) {
      return ::testing::AssertionFailure() << copy << " listed but missing";
    }
    return ::testing::AssertionSuccess();
  }

 protected:
  std::vector<ManifestEntry> entries_;
  std::map<std::string, const ManifestEntry*> by_copy_;
};

// Every case a folder's case list names has its picture, mask and state,
// and the folder holds nothing else but the list.
void ExpectWholeCaseFolder(const ReferenceCopy& copy, const std::string& folder, int at_least) {
  std::ifstream in(ReferenceDir() / folder / "cases.txt");
  ASSERT_TRUE(in) << "case list missing in " << ReferenceDir() / folder;
  std::string line;
  int cases = 0;
  std::set<std::string> names;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::string name = line.substr(0, line.find(' '));
    EXPECT_TRUE(names.insert(name).second) << "case listed twice: " << name;
    ++cases;
    for (const char* suffix : {".ppm", ".pbm", ".state"}) {
      EXPECT_TRUE(copy.Holds(folder + "/" + CopyName(name + suffix)));
    }
  }
  int recorded = 0;
  for (const ManifestEntry& e : copy.entries()) recorded += e.copy.starts_with(folder + "/");
  EXPECT_GT(cases, at_least);
  EXPECT_EQ(recorded, 3 * cases + 1);
}

TEST_F(ReferenceCopy, EveryButtonCaseHasPictureMaskAndState) {
  ExpectWholeCaseFolder(*this, "buttons", 800);
}

TEST_F(ReferenceCopy, EveryCaptionCaseHasPictureMaskAndState) {
  ExpectWholeCaseFolder(*this, "captions", 550);
}

TEST_F(ReferenceCopy, EveryScriptHasItsCanvasAndEveryOutputItWrites) {
  int scripts = 0;
  for (const ManifestEntry& e : entries_) {
    if (!e.copy.starts_with("primitives/") || !e.copy.ends_with(".gdi")) continue;
    ++scripts;
    EXPECT_TRUE(Holds(e.copy));
    const std::string stem = e.copy.substr(0, e.copy.size() - 4);
    EXPECT_TRUE(Holds(CopyName(stem + ".ppm")));
    std::istringstream lines(ReadText(ReferenceDir() / e.copy));
    std::string line;
    while (std::getline(lines, line)) {
      std::istringstream words(line);
      std::string op, file;
      words >> op >> file;
      if (op == "dump" || op == "dump_buffer" || op == "rgn_dump") {
        EXPECT_TRUE(Holds("primitives/" + CopyName(file))) << "written by " << e.copy;
      }
    }
  }
  EXPECT_GT(scripts, 70);
}

TEST_F(ReferenceCopy, HoldsNothingTheManifestDoesNotList) {
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(ReferenceDir())) {
    if (!entry.is_regular_file()) continue;
    const std::string rel = fs::relative(entry.path(), ReferenceDir()).generic_string();
    if (rel == "MANIFEST") continue;
    ++files;
    EXPECT_EQ(by_copy_.count(rel), 1u) << "not in MANIFEST: " << rel;
  }
  EXPECT_EQ(files, static_cast<int>(entries_.size()));
}

TEST_F(ReferenceCopy, EveryFileDecodesToTheRecordedContent) {
  ASSERT_FALSE(entries_.empty());
  for (const ManifestEntry& e : entries_) {
    SCOPED_TRACE(e.copy);
    const fs::path recorded = ReferenceDir() / e.recorded;
    std::string error;
    std::uint64_t checksum = 0;
    int width = 0, height = 0;
    if (e.kind == "picture") {
      Surface s;
      ASSERT_TRUE(ReadPicture(recorded, s, &error)) << error;
      width = s.width(), height = s.height(), checksum = PictureChecksum(s);
    } else if (e.kind == "mask") {
      gdi::Mask m;
      ASSERT_TRUE(ReadMask(recorded, m, &error)) << error;
      width = m.width(), height = m.height(), checksum = MaskChecksum(m);
    } else {
      ASSERT_EQ(e.kind, "text");
      // Byte for byte: a checkout that rewrote line ends would show here.
      checksum = Fnv1a64(ReadText(ReferenceDir() / e.copy));
    }
    EXPECT_EQ(width, e.width);
    EXPECT_EQ(height, e.height);
    EXPECT_EQ(checksum, e.checksum);
  }
}

TEST(ReferenceData, CopyNamesKeepPicturesAndMasksApart) {
  EXPECT_EQ(CopyName("a_b.ppm"), "a_b.png");
  EXPECT_EQ(CopyName("a_b.pbm"), "a_b.mask.png");
  EXPECT_EQ(CopyName("cases.txt"), "cases.txt");
  EXPECT_EQ(CopyName("x.state"), "x.state");
}

TEST(ReferenceData, ChecksumIsTheScriptsFnv1a) {
  // Published FNV-1a 64 values; the refresh script uses the same function.
  EXPECT_EQ(Fnv1a64(""), 0xCBF29CE484222325ull);
  EXPECT_EQ(Fnv1a64("a"), 0xAF63DC4C8601EC8Cull);
  Surface s(2, 1);
  s.set(0, 0, 0x0000FF);  // red: bytes FF 00 00
  s.set(1, 0, 0xFF0000);  // blue: bytes 00 00 FF
  EXPECT_EQ(PictureChecksum(s), Fnv1a64(std::string("\xFF\0\0\0\0\xFF", 6)));
}

TEST(ReferenceData, MissingCopiesFailWithTheirPath) {
  Surface s;
  gdi::Mask m;
  std::string error;
  EXPECT_FALSE(ReadPicture(ReferenceDir() / "primitives" / "no_such_case.ppm", s, &error));
  EXPECT_NE(error.find("no_such_case.png"), std::string::npos) << error;
  EXPECT_FALSE(ReadMask(ReferenceDir() / "buttons" / "no_such_case.pbm", m, &error));
  EXPECT_NE(error.find("no_such_case.mask.png"), std::string::npos) << error;
}

TEST(ReferenceData, AMaskWithGreyPixelsIsRefused) {
  // A picture read as a mask: most reference pictures hold greys.
  gdi::Mask m;
  std::string error;
  const fs::path picture =
      ReferenceDir() / "buttons" / "t0_bs0_sc1_w100_h30_s0_e1_f0_mi1_o0_v0_bd0_1512.pbm";
  const std::string stem = "vx_reference_grey_" + std::to_string(::getpid());
  const fs::path copy_as_mask = fs::temp_directory_path() / (stem + ".mask.png");
  fs::copy_file(ReferenceDir() / "buttons" / "t0_bs0_sc1_w100_h30_s0_e1_f0_mi1_o0_v0_bd0_1512.png",
                copy_as_mask, fs::copy_options::overwrite_existing);
  EXPECT_FALSE(ReadMask(copy_as_mask.parent_path() / (stem + ".pbm"), m, &error));
  EXPECT_NE(error.find("neither black nor white"), std::string::npos) << error;
  EXPECT_TRUE(ReadMask(picture, m, &error)) << error;
  fs::remove(copy_as_mask);
}

}  // namespace
}  // namespace vx::testdata

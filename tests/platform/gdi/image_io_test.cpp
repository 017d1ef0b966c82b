#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/gdi/image_io.h"
#include "platform/gdi/region.h"
#include "tests/support/png_tail.h"

using vx::Surface;
using namespace vx::gdi;

namespace {

std::string TempPath(const std::string& name) {
  return (std::filesystem::path(testing::TempDir()) / ("gdi_io_" + name)).string();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

Surface Sample(int w, int h) {
  Surface s(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x)
      s.set(x, y, static_cast<vx::ColorRef>((x * 37 + y * 101) * 0x010203 & 0xFFFFFF));
  }
  return s;
}

}  // namespace

TEST(GdiImageIo, PpmRoundTripKeepsChannelOrder) {
  Surface s = Sample(5, 3);
  s.set(0, 0, 0x0000FF);  // red: written as R=255 first
  const std::string path = TempPath("a.ppm");
  std::string error;
  ASSERT_TRUE(WritePpm(path, s, &error)) << error;
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.substr(0, 11), "P6\n5 3\n255\n");
  EXPECT_EQ(bytes.substr(11, 3), std::string("\xFF\x00\x00", 3));
  Surface back;
  ASSERT_TRUE(ReadPpm(path, back, &error)) << error;
  EXPECT_EQ(back.width(), 5);
  EXPECT_EQ(back.pixels(), s.pixels());
}

TEST(GdiImageIo, PbmRoundTripPadsRowsToBytes) {
  Mask m(9, 2);
  m.set(0, 0, true);
  m.set(8, 0, true);
  m.set(4, 1, true);
  const std::string path = TempPath("a.pbm");
  std::string error;
  ASSERT_TRUE(WritePbm(path, m, &error)) << error;
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, std::string("P4\n9 2\n\x80\x80\x08\x00", 11));
  Mask back;
  ASSERT_TRUE(ReadPbm(path, back, &error)) << error;
  EXPECT_EQ(back, m);
}

TEST(GdiImageIo, NetpbmHeadersWithCommentsAndBadFiles) {
  const std::string good = TempPath("c.ppm");
  WriteBytes(good, std::string("P6 # made by hand\n2 1\n# max\n255\n\x01\x02\x03\x04\x05\x06", 38));
  Surface s;
  std::string error;
  ASSERT_TRUE(ReadPpm(good, s, &error)) << error;
  EXPECT_EQ(s.at(1, 0), 0x060504u);

  const std::string cases[] = {
      std::string("P6\n2 1\n255\n\x01\x02\x03", 14),  // short pixel data
      "P5\n1 1\n255\n\x01",                           // wrong kind
      "P6\n1 1\n65535\n\x01\x02\x03\x04\x05\x06",     // 16-bit
      "P6\n99999999999 1\n255\n",                     // absurd size
      "",
  };
  for (const std::string& bytes : cases) {
    const std::string path = TempPath("bad.ppm");
    WriteBytes(path, bytes);
    error.clear();
    EXPECT_FALSE(ReadPpm(path, s, &error));
    EXPECT_FALSE(error.empty());
  }
  Mask m;
  WriteBytes(TempPath("bad.pbm"), "P4\n16 2\n\x01");
  EXPECT_FALSE(ReadPbm(TempPath("bad.pbm"), m, &error));
  EXPECT_FALSE(ReadPpm(TempPath("does-not-exist.ppm"), s, &error));
  EXPECT_NE(error.find("does-not-exist"), std::string::npos);
}

TEST(GdiImageIo, PngRoundTripWithRegionTransparency) {
  const Surface s = Sample(7, 4);
  const Region shape = CreateRectRgn(1, 1, 6, 3);
  const Mask opaque = shape.ToMask(7, 4);
  const std::string path = TempPath("a.png");
  std::string error;
  ASSERT_TRUE(WritePng(path, s, &opaque, &error)) << error;
  Surface back;
  Mask transparent;
  ASSERT_TRUE(ReadPng(path, back, &transparent, &error)) << error;
  EXPECT_EQ(back.pixels(), s.pixels());
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 7; ++x) EXPECT_EQ(transparent.at(x, y), !opaque.at(x, y)) << x << "," << y;
  }
  ASSERT_TRUE(WritePng(path, s, shape, &error)) << error;
  Mask again;
  ASSERT_TRUE(ReadPng(path, back, &again, &error)) << error;
  EXPECT_EQ(again, transparent);
  ASSERT_TRUE(WritePng(path, s, nullptr, &error)) << error;
  ASSERT_TRUE(ReadPng(path, back, &transparent, &error)) << error;
  EXPECT_EQ(transparent, Mask(7, 4, false));
}

// A few bytes can declare a chunk of gigabytes (here an iTXt chunk of
// 1,766,015,824 bytes in a 75-byte file), which a reader must not allocate.
TEST(GdiImageIo, PngChunksOfGigabytesAreRefused) {
  const std::string path = TempPath("huge-chunk.png");
  WriteBytes(path, std::string("\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52"
                               "\x00\x00\x00\x08\x00\x00\x00\x08\x01\x00\x00\x00\x00\xec\x74\x83"
                               "\x26\x69\x43\x43\x50\x69\x54\x58\x74\x49\x44\x41\x54\x78\xda\x63"
                               "\x08\x65\x58\xc5\x80\x84\x01\x1e\x9c\x03\xfd\x70\x15\xc9\x90\x00"
                               "\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\xc2",
                               75));
  Surface s;
  std::string error;
  EXPECT_FALSE(ReadPng(path, s, nullptr, &error));
  EXPECT_NE(error.find("huge-chunk.png: "), std::string::npos) << error;
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

TEST(GdiImageIo, PngFailuresAreReported) {
  Surface s;
  std::string error;
  WriteBytes(TempPath("bad.png"), "\x89PNG\r\n\x1a\n garbage");
  EXPECT_FALSE(ReadPng(TempPath("bad.png"), s, nullptr, &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(WritePng(TempPath("no-such-dir/x.png"), Sample(2, 2), nullptr, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(WritePng(TempPath("empty.png"), Surface(), nullptr, &error));
}

namespace {

// Writes a picture through libpng itself, interlaced or not, at any depth.
void WriteWithLibpng(const std::string& path, int w, int h, int depth, int color, bool interlaced,
                     const std::vector<std::vector<png_byte>>& rows) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ASSERT_EQ(setjmp(png_jmpbuf(png)), 0);
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, depth, color, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (const auto& r : rows) pointers.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

}  // namespace

// The file is read piece by piece until the last row of the last pass is in:
// interlaced pictures of odd sizes (passes without pixels among them) and of
// other depths come out whole.
TEST(GdiImageIo, InterlacedAndNarrowPngsReadWhole) {
  const std::string path = TempPath("adam7.png");
  std::vector<std::vector<png_byte>> rgb;
  for (int y = 0; y < 5; ++y) {
    rgb.emplace_back();
    for (int x = 0; x < 7; ++x) {
      for (int c = 0; c < 3; ++c) rgb.back().push_back(static_cast<png_byte>(x * 30 + y * 7 + c));
    }
  }
  for (const bool interlaced : {true, false}) {
    WriteWithLibpng(path, 7, 5, 8, PNG_COLOR_TYPE_RGB, interlaced, rgb);
    Surface s;
    std::string error;
    ASSERT_TRUE(ReadPng(path, s, nullptr, &error)) << error;
    ASSERT_EQ(s.width(), 7);
    ASSERT_EQ(s.height(), 5);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 7; ++x) {
        const auto* p = &rgb[y][x * 3];
        EXPECT_EQ(s.at(x, y),
                  vx::ColorRef{p[0]} | vx::ColorRef{p[1]} << 8 | vx::ColorRef{p[2]} << 16)
            << x << "," << y << (interlaced ? " interlaced" : "");
      }
    }
  }
  // One row of three 1-bit pixels, interlaced: most passes are empty.
  WriteWithLibpng(path, 3, 1, 1, PNG_COLOR_TYPE_GRAY, true, {{0xA0}});
  Surface s;
  std::string error;
  ASSERT_TRUE(ReadPng(path, s, nullptr, &error)) << error;
  EXPECT_EQ(s.at(0, 0), 0xFFFFFFu);
  EXPECT_EQ(s.at(1, 0), 0x000000u);
  EXPECT_EQ(s.at(2, 0), 0xFFFFFFu);
}

// What follows the rows in the image data is never inflated: here 256 MiB of
// zeros, and a last chunk with a wrong CRC that a reader going on to the end
// would stop at. Image data that makes work without giving rows is refused.
TEST(GdiImageIo, PngImageDataBeyondThePictureIsNotRead) {
  const std::string path = TempPath("tail.png");
  vx::test::PngTail shape;
  shape.trailing_zeros = std::uint64_t{256} << 20;
  shape.chunk_bytes = 4096;
  shape.bad_last_crc = true;
  vx::test::WritePngWithTail(path, shape);
  Surface s;
  Mask clear;
  std::string error;
  ASSERT_TRUE(ReadPng(path, s, &clear, &error)) << error;
  ASSERT_EQ(s.width(), 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      using vx::test::PngTailValue;
      EXPECT_EQ(s.at(x, y), vx::ColorRef{PngTailValue(x, y, 0)} |
                                vx::ColorRef{PngTailValue(x, y, 1)} << 8 |
                                vx::ColorRef{PngTailValue(x, y, 2)} << 16);
    }
  }
  EXPECT_EQ(clear, Mask(4, 4, false));

  vx::test::PngTail padded;
  padded.empty_blocks_before = 10;
  vx::test::WritePngWithTail(path, padded);
  EXPECT_TRUE(ReadPng(path, s, nullptr, &error)) << error;
  padded.empty_blocks_before = 100'000;  // 500 KB before the rows of a 4 x 4 picture
  vx::test::WritePngWithTail(path, padded);
  EXPECT_FALSE(ReadPng(path, s, nullptr, &error));
  EXPECT_NE(error.find("image data far larger than a 4 x 4 picture needs"), std::string::npos)
      << error;
}

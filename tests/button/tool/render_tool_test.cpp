// `torvelbutton render` and `torvelbutton gallery` run as processes: options,
// exit codes, the written pictures and the printed state.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/gdi/image_io.h"
#include "tests/support/files.h"
#include "tests/support/png_tail.h"
#include "tests/support/run.h"

namespace {

namespace fs = std::filesystem;

using ToolRun = vx::support::Outcome;  // out: standard output; standard error goes to err_

const std::string kCmdCheck = VETTRIX_SOURCE_DIR "/button/model/data/cmdcheck.json";

class RenderTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vx_render_tool_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string File(const std::string& name) const { return (dir_ / name).string(); }

  // stderr goes to err_ so that stdout stays parseable.
  ToolRun Tool(const std::string& args) {
    const std::string exe = VETTRIX_BIN_DIR "/torvelbutton";
    if (!fs::exists(exe)) {
      ADD_FAILURE() << "tool not built: " << exe;
      return {};
    }
    vx::support::Outcome r = vx::support::Shell(exe + " " + args, dir_);
    err_ = std::move(r.err);
    return r;
  }

  struct Picture {
    vx::Surface pixels;
    vx::gdi::Mask clear;
  };
  Picture Read(const std::string& file) {
    Picture p;
    std::string error;
    EXPECT_TRUE(vx::gdi::ReadPng(file, p.pixels, &p.clear, &error)) << file << ": " << error;
    return p;
  }

  fs::path dir_;
  std::string err_;
};

TEST_F(RenderTool, UsageErrorsExit64) {
  const std::string o = " -o " + File("x.png");
  for (const std::string& args : std::vector<std::string>{
           "render", "render --size 89x19", "render" + o + " --size 0x19",
           "render" + o + " --size 89", "render" + o + " --size 89x99999",
           "render" + o + " --state", "render" + o + " --state sideways",
           "render" + o + " --parent-bk green", "render" + o + " --parent-text -5",
           "render" + o + " --parent-bk 0x1000000", "render" + o + " --bogus",
           "render" + o + " --set tx", "gallery", "gallery -o",
           "gallery -o " + File("g.png") + " --bogus"}) {
    const ToolRun r = Tool(args);
    EXPECT_EQ(r.status, 64) << args << "\n" << err_;
    EXPECT_NE(err_.find("usage"), std::string::npos) << args;
  }
  EXPECT_FALSE(fs::exists(File("x.png")));
}

TEST_F(RenderTool, FailuresExit1NamingTheCulprit) {
  const std::string o = " -o " + File("x.png");
  struct Case {
    std::string args;
    std::string named;
  };
  for (const Case& c : {Case{"render --set bcol=blue" + o, "\"bcol\""},
                        Case{"render --assign ButtonType=abc" + o, "ButtonType"},
                        Case{"render --assign NoSuch=1" + o, "NoSuch"},
                        Case{"render --icon " + File("missing.png") + o, "missing.png"},
                        Case{"render --props " + File("none.json") + o, "none.json"},
                        Case{"render -o " + File("no/such/dir/x.png"), "x.png"}}) {
    const ToolRun r = Tool(c.args);
    EXPECT_EQ(r.status, 1) << c.args << "\n" << err_;
    EXPECT_NE(err_.find(c.named), std::string::npos) << c.args << "\n" << err_;
  }
}

TEST_F(RenderTool, MainWindowButtonAtItsDefaultSize) {
  const ToolRun r = Tool("render --props " + kCmdCheck + " -o " + File("cmd.png") +
                         " --region-out " + File("mask.png") + " --print-state");
  ASSERT_EQ(r.status, 0) << err_;
  const Picture cmd = Read(File("cmd.png"));
  ASSERT_EQ(cmd.pixels.width(), 89);
  ASSERT_EQ(cmd.pixels.height(), 19);
  // The Etched look leaves out the bottom-left and top-right corner pixels.
  EXPECT_TRUE(cmd.clear.at(0, 18));
  EXPECT_TRUE(cmd.clear.at(88, 0));
  EXPECT_FALSE(cmd.clear.at(0, 0));
  EXPECT_FALSE(cmd.clear.at(44, 9));

  // The mask: black inside, white outside, all opaque, matching the picture.
  const Picture mask = Read(File("mask.png"));
  ASSERT_EQ(mask.pixels.width(), 89);
  for (int y = 0; y < 19; ++y) {
    for (int x = 0; x < 89; ++x) {
      ASSERT_FALSE(mask.clear.at(x, y));
      ASSERT_EQ(mask.pixels.at(x, y), cmd.clear.at(x, y) ? 0xFFFFFFu : 0u) << x << "," << y;
    }
  }

  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["VisualState"], 0);
  EXPECT_EQ(j["Enabled"], true);
  EXPECT_EQ(j["FaceColor"], 0xC8D0D4);
  ASSERT_EQ(j["CaptionLines"].size(), 1u);
  EXPECT_EQ(j["CaptionLines"][0]["Text"], "Check Source");
  for (const char* k : {"X", "Y", "Width", "Height"})
    EXPECT_TRUE(j["CaptionLines"][0][k].is_number());
  for (const char* k : {"Left", "Top", "Right", "Bottom"})
    EXPECT_TRUE(j["CaptionRect"][k].is_number());
  for (const char* k : {"LightColor", "HighlightColor", "ShadowColor", "DarkShadowColor",
                        "TextColor", "HoverTextColor", "AccessKeyPos", "UnderlineX", "UnderlineY",
                        "UnderlineLength", "IconX", "IconY"}) {
    EXPECT_TRUE(j[k].is_number()) << k;
  }
}

TEST_F(RenderTool, StatesFlagsAndContainerColours) {
  // Any integer is a state, negative ones included; at design time every
  // drawing ends in Normal.
  ToolRun r = Tool("render --state -3 --print-state -o " + File("a.png"));
  ASSERT_EQ(r.status, 0) << err_;
  EXPECT_TRUE(nlohmann::json::parse(r.out)["VisualState"].is_number());
  r = Tool("render --design --state pressed --print-state -o " + File("a.png"));
  ASSERT_EQ(r.status, 0) << err_;
  EXPECT_EQ(nlohmann::json::parse(r.out)["VisualState"], 0);
  r = Tool("render --state hover --disabled --print-state -o " + File("a.png"));
  ASSERT_EQ(r.status, 0) << err_;
  EXPECT_EQ(nlohmann::json::parse(r.out)["Enabled"], false);
  EXPECT_EQ(nlohmann::json::parse(r.out)["VisualState"], 4);

  // A hover-only button of custom colours shows the container's colour
  // while the pointer is away; hex and decimal name the same colour.
  const std::string hover_only = "render --set btype=7 --set coltype=2 --size 60x20 ";
  ASSERT_EQ(Tool(hover_only + "--parent-bk 0x00FF00 -o " + File("hex.png")).status, 0) << err_;
  ASSERT_EQ(Tool(hover_only + "--parent-bk 65280 -o " + File("dec.png")).status, 0) << err_;
  const Picture hex = Read(File("hex.png"));
  const Picture dec = Read(File("dec.png"));
  ASSERT_EQ(hex.pixels.width(), 60);
  EXPECT_EQ(hex.pixels.at(30, 10), 0x00FF00u);
  EXPECT_EQ(hex.pixels.pixels(), dec.pixels.pixels());

  // Unset, the container's colour is the palette's button face.
  ASSERT_EQ(Tool(hover_only + "-o " + File("face.png")).status, 0) << err_;
  EXPECT_EQ(Read(File("face.png")).pixels.at(30, 10), 0xC8D0D4u);

  // --backdrop-only draws the disabled look without the caption.
  ASSERT_EQ(Tool("render --set tx=Wide --size 60x20 -o " + File("cap.png")).status, 0);
  ASSERT_EQ(Tool("render --set tx=Wide --size 60x20 --backdrop-only -o " + File("bd.png")).status,
            0);
  ASSERT_EQ(Tool("render --set tx= --size 60x20 --disabled -o " + File("empty.png")).status, 0);
  EXPECT_NE(Read(File("cap.png")).pixels.pixels(), Read(File("bd.png")).pixels.pixels());
  EXPECT_EQ(Read(File("bd.png")).pixels.pixels(), Read(File("empty.png")).pixels.pixels());
}

TEST_F(RenderTool, GalleryShowsEveryLookInEveryState) {
  const ToolRun r = Tool("gallery -o " + File("gallery.png"));
  ASSERT_EQ(r.status, 0) << err_;
  const Picture g = Read(File("gallery.png"));
  // Eight rows of looks and six columns of states, each cell wider and
  // taller than a button.
  EXPECT_GT(g.pixels.width(), 6 * 100);
  EXPECT_GT(g.pixels.height(), 8 * 26);
  EXPECT_FALSE(g.clear.at(0, 0));
}

// A picture that cannot be written leaves the name as it was: a full device
// stays a device. An icon must be a regular file (a FIFO would wait for a
// writer), and one whose image data goes on after the image costs no more
// than its picture.
TEST_F(RenderTool, OutputAndIconFilesThatAreNotPlainFiles) {
  std::string full = "/dev/full";
  if (::geteuid() == 0) {
    full = File("full");
    ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0666, ::makedev(1, 7)), 0);
  }
  for (const std::string sub : {"render -o ", "gallery -o "}) {
    const ToolRun r = Tool(sub + full);
    EXPECT_EQ(r.status, 1) << sub << err_;
    EXPECT_NE(err_.find("No space left on device"), std::string::npos) << err_;
    struct stat st {};
    ASSERT_EQ(::stat(full.c_str(), &st), 0) << sub;
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << sub;
  }

  // A write that fails part way (the file size limit stops it as a full
  // disk would) leaves the last good picture as it was, and no temporary.
  ASSERT_EQ(Tool("gallery -o " + File("good.png")).status, 0) << err_;
  const std::string good = vx::support::ReadFile(File("good.png"));
  ASSERT_GT(good.size(), 4096u);
  const int raw =
      std::system(("trap '' XFSZ && ulimit -f 2 && " VETTRIX_BIN_DIR "/torvelbutton gallery -o " +
                   File("good.png") + " 2>" + File("err.txt"))
                      .c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
  EXPECT_NE(vx::support::ReadFile(File("err.txt")).find("File too large"), std::string::npos);
  EXPECT_EQ(vx::support::ReadFile(File("good.png")), good);
  for (const auto& e : fs::directory_iterator(dir_)) {
    EXPECT_EQ(e.path().filename().string().find(".partial-"), std::string::npos) << e.path();
  }

  const std::string fifo = File("icon.png");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const ToolRun refused = Tool("render --icon " + fifo + " -o " + File("x.png"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(err_.find("not a regular file (a FIFO)"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(File("x.png")));

  vx::test::PngTail tail;
  tail.width = tail.height = 16;
  tail.trailing_zeros = std::uint64_t{1} << 30;
  tail.chunk_bytes = 8192;
  tail.bad_last_crc = true;  // reached only by a reader that inflates it all
  vx::test::WritePngWithTail(File("tail.png"), tail);
  const ToolRun drawn = Tool("render --icon " + File("tail.png") + " -o " + File("x.png"));
  EXPECT_EQ(drawn.status, 0) << err_;
  EXPECT_TRUE(fs::exists(File("x.png")));
}

}  // namespace

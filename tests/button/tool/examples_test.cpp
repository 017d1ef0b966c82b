// Every example of torvelbutton's manual page, run as printed (the installed
// example files taken from the source tree they are installed from), does
// what the page says it does; and enumerated values go by name.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tool_run.h"

namespace {

namespace fs = std::filesystem;

// Where the page's installed files come from.
const std::map<std::string, std::string> kInstalled = {
    {"/usr/share/doc/vettrix/examples/cmdcheck.json",
     VETTRIX_SOURCE_DIR "/button/model/data/cmdcheck.json"},
    {"/usr/share/doc/vettrix/examples/sample.html", VETTRIX_SOURCE_DIR "/samples/sample.html"},
};

std::vector<std::string> PageExamples() {
  std::ifstream in(VETTRIX_SOURCE_DIR "/docs/man/torvelbutton.1.txt");
  EXPECT_TRUE(in) << "no manual page source";
  std::vector<std::string> out;
  bool in_examples = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# ", 0) == 0) in_examples = line == "# EXAMPLES";
    if (in_examples && line.rfind("    torvelbutton ", 0) == 0) out.push_back(line.substr(17));
  }
  return out;
}

// Runs the tool with `args` in `dir`.
ToolRun RunIn(const fs::path& dir, std::string args) {
  for (const auto& [installed, source] : kInstalled) {
    for (std::size_t p; (p = args.find(installed)) != std::string::npos;) {
      args.replace(p, installed.size(), source);
    }
  }
  const std::string exe = VETTRIX_BIN_DIR "/torvelbutton";
  if (!fs::exists(exe)) {
    ADD_FAILURE() << "tool not built: " << exe;
    return {};
  }
  return vx::support::RunCommand("cd '" + dir.string() + "' && " + exe + " " + args + " 2>&1");
}

// The width and height a PNG file's header gives.
std::pair<int, int> PngSize(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  unsigned char h[24] = {};
  in.read(reinterpret_cast<char*>(h), sizeof h);
  if (!in) return {0, 0};
  const auto be = [&](int at) {
    return h[at] << 24 | h[at + 1] << 16 | h[at + 2] << 8 | h[at + 3];
  };
  return {be(16), be(20)};
}

// "  NAME  VALUE" of props' listing.
std::string Listed(const std::string& out, const std::string& name) {
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("  " + name + " ", 0) == 0) {
      const auto v = line.find_first_not_of(' ', name.size() + 2);
      return v == std::string::npos ? "" : line.substr(v);
    }
  }
  return "<not listed>";
}

class PageExample : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("torvelbutton-examples-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(PageExample, EachRunsAndDoesWhatItsTextSays) {
  const std::vector<std::string> examples = PageExamples();
  // One expectation below for each example; a new example needs its own.
  ASSERT_EQ(examples.size(), 5u);
  for (const auto& [installed, source] : kInstalled) ASSERT_TRUE(fs::exists(source)) << source;
  int checked = 0;
  for (const std::string& e : examples) {
    SCOPED_TRACE(e);
    const ToolRun r = RunIn(dir_, e);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("ignored"), std::string::npos) << r.out;
    if (e.find("-o pressed.png") != std::string::npos) {
      EXPECT_EQ(PngSize(dir_ / "pressed.png"), std::make_pair(89, 19));
      ++checked;
    } else if (e.find("--scale 2 -o pressed@2x.png") != std::string::npos) {
      EXPECT_EQ(PngSize(dir_ / "pressed@2x.png"), std::make_pair(178, 38));
      ++checked;
    } else if (e.rfind("props ", 0) == 0) {
      // The WindowsXP look with the caption OK, whether assigned or stored.
      EXPECT_EQ(Listed(r.out, "ButtonType"), "3") << r.out;
      EXPECT_EQ(Listed(r.out, "Caption"), "\"OK\"") << r.out;
      ++checked;
    } else if (e.find("gallery -o gallery.png") != std::string::npos) {
      const auto [w, h] = PngSize(dir_ / "gallery.png");
      EXPECT_GT(w, 8 * 89);
      EXPECT_GT(h, 5 * 19);
      ++checked;
    }
  }
  EXPECT_EQ(checked, 5);
}

TEST(EnumeratedValues, GoByNameInAnyCaseAndTheHelpListsTheNames) {
  const ToolRun named = Tool(
      "props --design --assign ButtonType=WindowsXP --assign ColorScheme=customgradient "
      "--assign CaptionOrientation=VERTICALUP");
  ASSERT_EQ(named.status, 0) << named.out;
  EXPECT_EQ(Listed(named.out, "ButtonType"), "3");
  EXPECT_EQ(Listed(named.out, "ColorScheme"), "5");
  EXPECT_EQ(Listed(named.out, "CaptionOrientation"), "1");

  const ToolRun stored = Tool("props --set btype=Macintosh --set coltype=FixedGrey --set mptr=99");
  ASSERT_EQ(stored.status, 0) << stored.out;
  EXPECT_EQ(Listed(stored.out, "ButtonType"), "8");
  EXPECT_EQ(Listed(stored.out, "ColorScheme"), "3");
  EXPECT_EQ(Listed(stored.out, "MousePointer"), "99");

  // A name that is none of them is refused, with the names.
  const ToolRun wrong = Tool("props --assign ButtonType=Windows");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.out.find("OutlinedBevel, Classic3D"), std::string::npos) << wrong.out;

  const ToolRun help = Tool("props --help");
  for (const char* name : {"WindowsXP", "CustomGradient", "VerticalDown", "Shadowed",
                           "RightSegment", "GradientVerticalReversed", "Icon32"}) {
    EXPECT_NE(help.out.find(name), std::string::npos) << name;
  }
}

TEST(EnumeratedValues, ARunTimeAssignmentTheRulesIgnoreIsNotedButNotAFailure) {
  const ToolRun r = Tool("props --assign Caption=OK --assign ButtonType=3");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Listed(r.out, "ButtonType"), "2");
  EXPECT_EQ(Listed(r.out, "Caption"), "\"OK\"");
  EXPECT_NE(r.out.find("ButtonType=3 was ignored"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Caption=OK was ignored"), std::string::npos) << r.out;
}

}  // namespace

// Hostile files and values given to torvelbutton: each ends at once with
// status 1 and a message naming the file (and the key), or, for texts that
// are not UTF-8, with complete and valid output.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/button/tool/tool_run.h"
#include "tests/support/picture_bomb.h"

namespace {

namespace fs = std::filesystem;

std::string Temp(const std::string& name) {
  return (fs::temp_directory_path() / ("vx_hostile_" + name)).string();
}

std::string WriteTemp(const std::string& name, const std::string& content) {
  const std::string path = Temp(name);
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

// 130 KB on disk, 32767 x 32767 pixels once decoded; made once.
const std::string& Bomb() {
  static const std::string path = [] {
    const std::string p = Temp("bomb.png");
    vx::test::WritePictureBomb(p, 32767, 32767);
    return p;
  }();
  return path;
}

bool Has(const ToolRun& r, const std::string& what) {
  return r.out.find(what) != std::string::npos;
}

TEST(TorvelbuttonHostile, DeeplyNestedPropertySetIsRefusedNamingTheFile) {
  for (int depth : {65, 60000}) {
    const std::string file = WriteTemp("deep.json", "{\"zz\":" + std::string(depth, '[') +
                                                        std::string(depth, ']') + ",\"btype\":4}");
    const ToolRun r = Tool("props --props " + file);
    EXPECT_EQ(r.status, 1) << depth << ": " << r.out;
    EXPECT_TRUE(Has(r, "nested too deep")) << r.out;
    EXPECT_TRUE(Has(r, file)) << r.out;
  }
  // Shallower nesting is read, and an unknown key is no error.
  const std::string file = WriteTemp("shallow.json", R"({"zz":[[[[]]]],"btype":4})");
  const ToolRun r = Tool("props --json --props " + file);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(nlohmann::json::parse(r.out)["properties"]["ButtonType"], 4);
}

TEST(TorvelbuttonHostile, NumbersBeyondDoubleRangeAreTheReadersOwnError) {
  const std::string file = WriteTemp("huge.json", R"({"btype": 1e400})");
  const ToolRun r = Tool("props --props " + file);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(Has(r, file) && Has(r, "not valid JSON")) << r.out;
}

TEST(TorvelbuttonHostile, PictureBombsAreRefusedFromTheHeader) {
  ToolRun r = Tool("render --icon " + Bomb() + " -o " + Temp("out.png"));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(Has(r, "picture too large") && Has(r, Bomb())) << r.out;

  // A stored icon names its key as well.
  r = Tool("props --set BTNICON=" + Bomb());
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(Has(r, "picture too large") && Has(r, "\"btnicon\"") && Has(r, Bomb())) << r.out;
  const std::string set = WriteTemp("icon.json", "{\"micon\": \"" + Bomb() + "\"}");
  r = Tool("render --props " + set + " -o " + Temp("out.png"));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(Has(r, "picture too large") && Has(r, "\"micon\"")) << r.out;

  // At the limit a picture is still taken.
  const std::string wide = Temp("wide.png");
  vx::test::WritePictureBomb(wide, 32767, 16);
  r = Tool("props --json --set BTNICON=" + wide);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(nlohmann::json::parse(r.out)["properties"]["Icon"]["width"], 32767);
}

TEST(TorvelbuttonHostile, CaptionsThatAreNotUtf8AreReadAsWindows1252) {
  const std::string read_as = "\xC3\xBF\xC3\xBE";  // what FF FE are in Windows-1252
  for (const char* option : {"--set 'TX=\xFF\xFE'", "--assign 'Caption=\xFF\xFE'"}) {
    ToolRun r = Tool(std::string("props --json ") + option);
    ASSERT_EQ(r.status, 0) << option << ": " << r.out;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["properties"]["Caption"], read_as) << option;
    EXPECT_EQ(j["stored"]["tx"], read_as) << option;

    // The plain listing runs to its end.
    r = Tool(std::string("props ") + option);
    ASSERT_EQ(r.status, 0) << option << ": " << r.out;
    EXPECT_TRUE(Has(r, "Stored:") && Has(r, "\"" + read_as + "\"")) << r.out;
    EXPECT_FALSE(Has(r, "\xFF\xFE"));

    r = Tool(std::string("render --print-state -o ") + Temp("caption.png") + " " + option);
    ASSERT_EQ(r.status, 0) << option << ": " << r.out;
    EXPECT_TRUE(nlohmann::json::accept(r.out)) << r.out;
  }
  // A JSON file must be UTF-8 throughout: one that is not is refused whole.
  const std::string file = WriteTemp("latin.json", "{\"tx\": \"Caf\xE9\"}");
  EXPECT_EQ(Tool("props --props " + file).status, 1);
  // A stray continuation byte after ASCII.
  const ToolRun r = Tool("props --json --set 'TX=cdromCollection\xA9'");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(nlohmann::json::parse(r.out)["properties"]["Caption"], "cdromCollection\xC2\xA9");
}

}  // namespace

// Usage errors quote what was typed; terminal controls in it must not act.
TEST(TorvelbuttonHostile, ArgumentsInMessagesAreShownEscaped) {
  const std::string evil = "'\x1b]0;title\a\x1b[2J\r'";
  for (const std::string& args : {evil, "props " + evil, "render " + evil, "gallery " + evil,
                                  "props --assign " + std::string("'Caption\x1b[31m'")}) {
    const ToolRun r = Tool(args);
    EXPECT_EQ(r.status, 64) << args << ": " << r.out;
    EXPECT_EQ(r.out.find_first_of("\x1b\a\r"), std::string::npos) << args << ": " << r.out;
    EXPECT_NE(r.out.find("\\e"), std::string::npos) << args << ": " << r.out;
  }
}

// The torvelbutton tool run as a process, as scripts use it.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "tests/button/tool/tool_run.h"

namespace {

TEST(TorvelbuttonTool, UsageErrorsExit64) {
  for (const char* args : {"", "frobnicate", "props --bogus", "props --set BTYPE", "props --assign",
                           "props --version 2.5", "props --props"}) {
    const ToolRun r = Tool(args);
    EXPECT_EQ(r.status, 64) << args << "\n" << r.out;
    EXPECT_NE(r.out.find("usage"), std::string::npos) << args;
  }
  EXPECT_EQ(Tool("--help").status, 0);
}

TEST(TorvelbuttonTool, BadStoredValueExits1NamingTheKey) {
  ToolRun r = Tool("props --set BTYPE=4 --set bCoL=blue");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("\"bcol\""), std::string::npos) << r.out;

  const auto file = std::filesystem::temp_directory_path() / "vx_tool_bad.json";
  std::ofstream(file) << R"({"tx": "x", "enab": "perhaps"})";
  r = Tool("props --props " + file.string());
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("\"enab\""), std::string::npos) << r.out;
  std::ofstream(file) << "{ not json";
  EXPECT_EQ(Tool("props --props " + file.string()).status, 1);
  std::filesystem::remove(file);
  EXPECT_EQ(Tool("props --props /nonexistent/set.json").status, 1);
}

TEST(TorvelbuttonTool, FailingAssignmentExits1NamingTheProperty) {
  for (const char* a : {"MousePointer=200", "ButtonType=abc", "hwnd=3", "NoSuch=1", "Font=Arial"}) {
    const ToolRun r = Tool(std::string("props --assign ") + a);
    EXPECT_EQ(r.status, 1) << a << "\n" << r.out;
    const std::string name = std::string(a).substr(0, std::string(a).find('='));
    EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
  }
}

TEST(TorvelbuttonTool, JsonShapeAtDesignTime) {
  const ToolRun r = Tool(
      "props --design --name Cmd --version 2.5.1 --assign ColorScheme=3 "
      "--assign BackColor=0x8000000F --assign Caption=E\\&xit --assign GraphicsMode=0 --json");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto j = nlohmann::json::parse(r.out);
  ASSERT_TRUE(j.is_object());
  for (const char* k : {"properties", "working", "changed", "messages", "stored"}) {
    EXPECT_TRUE(j.contains(k)) << k;
  }
  const auto& p = j["properties"];
  EXPECT_EQ(p.size(), 29u);  // every readable member
  EXPECT_EQ(p["Caption"], "E&xit");
  EXPECT_EQ(p["ColorScheme"], 2);  // BackColor switched it to CustomColors
  EXPECT_EQ(p["BackColor"], 0xC8D0D4);
  EXPECT_EQ(p["Font"]["name"], "Times New Roman");
  EXPECT_EQ(p["Font"]["bold"], false);
  EXPECT_TRUE(p["Icon"].is_null());
  EXPECT_EQ(p["Container"], "Form1");
  EXPECT_EQ(j["working"].size(), 7u);
  EXPECT_EQ(j["working"]["FaceColor"], 0xC8D0D4);
  EXPECT_EQ(j["changed"], nlohmann::json({"COLTYPE", "BCOL", "FCOL", "FCOLO", "EMBOSSM", "EMBOSSS",
                                          "COLTYPE", "FCOL", "FCOLO", "BCOL", "TX", "GMODE"}));
  ASSERT_EQ(j["messages"].size(), 1u);
  EXPECT_EQ(j["messages"][0]["icon"], "warning");
  EXPECT_EQ(j["stored"]["tx"], "E&xit");
  EXPECT_EQ(j["stored"]["gmode"], 0);
  EXPECT_FALSE(j["stored"].contains("btnicon"));
}

TEST(TorvelbuttonTool, RestoresTheCheckButtonAndListsReadably) {
  const std::string set = VETTRIX_SOURCE_DIR "/button/model/data/cmdcheck.json";
  ASSERT_TRUE(std::filesystem::exists(set)) << set;
  ToolRun r = Tool("props --props " + set + " --json");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["properties"]["ButtonType"], 4);
  EXPECT_EQ(j["properties"]["Caption"], "Check Source");
  EXPECT_TRUE(j["changed"].empty());

  r = Tool("props --props " + set + " --set tx=Go --set FONT=Arial,10,bold");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Caption"), std::string::npos);
  EXPECT_NE(r.out.find("\"Go\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Arial, 10 pt, weight 700"), std::string::npos) << r.out;

  // The caption's smoothing by name, stored and listed as the others.
  r = Tool("props --props " + set + " --set captionsmoothing=full --json");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(nlohmann::json::parse(r.out)["stored"]["captionsmoothing"], 2);
  r = Tool("props --props " + set + " --assign CaptionSmoothing=Off");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\n +CaptionSmoothing +1\n"))) << r.out;
}

TEST(TorvelbuttonTool, OldPlatformRefusesSchemesWithTheFourLineMessage) {
  const ToolRun r = Tool("props --design --version 1.4.0 --assign ColorScheme=2 --json");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["properties"]["ColorScheme"], 1);
  ASSERT_EQ(j["messages"].size(), 1u);
  EXPECT_EQ(j["messages"][0]["icon"], "information");
  EXPECT_EQ(j["messages"][0]["text"],
            "This option is not available on the following operating systems.\r\n\r\n"
            " - Win NT 4 and lower\r\n - Windows 95 and earlier");
}

}  // namespace

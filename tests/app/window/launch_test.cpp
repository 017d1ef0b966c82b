// `vettrix` as a user starts it: the window program behind it, its errors
// and its refusal without a display.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "tests/support/picture_bomb.h"
#include "tests/support/run.h"

namespace {

using vx::support::Outcome;  // out: standard output and error together

// Runs a shell command line with a clean display environment plus `env`.
Outcome RunProgram(const std::string& env, const std::string& args) {
  return vx::support::RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env +
                                 " " + std::string(VETTRIX_BIN_DIR) + "/" + args + " 2>&1");
}

std::string TempFile(const std::string& name, const std::string& content) {
  const auto path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path) << content;
  return path.string();
}

TEST(Launch, NoDisplayMeansAClearMessageAndStatus2) {
  for (const char* program : {"vettrix", "vettrix-window"}) {
    const Outcome o = RunProgram("", program);
    EXPECT_EQ(o.status, 2) << program << ": " << o.out;
    EXPECT_NE(o.out.find("no display to open the window on"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("vettrix check"), std::string::npos) << o.out;
  }
  // A display that is named but cannot be reached (a stale DISPLAY).
  const Outcome stale = RunProgram("DISPLAY=:9973 QT_QPA_PLATFORM=xcb", "vettrix");
  EXPECT_EQ(stale.status, 2) << stale.out;
  EXPECT_NE(stale.out.find("vettrix: cannot open the window"), std::string::npos) << stale.out;
}

// An address where a command goes opens the window on it (as the desktop
// entry's %U does); without a display the way to check it is named.
TEST(Launch, AnAddressAloneIsCheckedInTheWindow) {
  const std::string sample = std::string(VETTRIX_SOURCE_DIR) + "/samples/sample.html";
  Outcome o = RunProgram("", "vettrix " + sample);
  EXPECT_EQ(o.status, 2) << o.out;
  EXPECT_NE(o.out.find("Check it without the window: vettrix check " + sample), std::string::npos)
      << o.out;

  // In the window the page is checked as if typed: its findings fill the
  // list, which stays empty for a page without any.
  const auto dir = std::filesystem::temp_directory_path();
  const std::string clean = TempFile("vettrix_clean_page.html", "<p>nothing risky</p>");
  auto list_of = [&](const std::string& page, const std::string& png) {
    const Outcome shot =
        RunProgram("QT_QPA_PLATFORM=offscreen", "vettrix " + page + " --screenshot " + png);
    EXPECT_EQ(shot.status, 0) << shot.out;
    // The findings list: 8 by 120 pixels, 585 by 225, in the form.
    return QImage(QString::fromStdString(png)).copy(10, 145, 570, 190);
  };
  const QImage found = list_of(sample, (dir / "vettrix_found.png").string());
  const QImage none = list_of(clean, (dir / "vettrix_none.png").string());
  ASSERT_FALSE(found.isNull());
  ASSERT_FALSE(none.isNull());
  EXPECT_NE(found, none);
  const QImage typed = [&] {
    const std::string png = (dir / "vettrix_typed.png").string();
    const Outcome shot = RunProgram("QT_QPA_PLATFORM=offscreen",
                                    "vettrix-window --address " + clean + " --screenshot " + png);
    EXPECT_EQ(shot.status, 0) << shot.out;
    return QImage(QString::fromStdString(png)).copy(10, 145, 570, 190);
  }();
  EXPECT_EQ(none, typed);
}

TEST(Launch, TheWindowProgramTellsItsUsage) {
  const Outcome help = RunProgram("", "vettrix-window --help");
  EXPECT_EQ(help.status, 0) << help.out;
  for (const char* word : {"usage: vettrix [--form FILE] [ADDRESS]", "Ctrl+L", "Ctrl+Q"}) {
    EXPECT_NE(help.out.find(word), std::string::npos) << word << " in " << help.out;
  }
  const Outcome version = RunProgram("", "vettrix-window --version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("vettrix ", 0), 0u) << version.out;
  const Outcome bad = RunProgram("", "vettrix-window --adress x");
  EXPECT_EQ(bad.status, 64);
  EXPECT_NE(bad.out.find("usage:"), std::string::npos);
}

TEST(Launch, CheckCommandStillWorksWithoutADisplay) {
  const Outcome o =
      RunProgram("", "vettrix check " + std::string(VETTRIX_SOURCE_DIR) + "/samples/sample.html");
  EXPECT_EQ(o.status, 1) << o.out;  // findings
  EXPECT_NE(o.out.find("Scripting"), std::string::npos) << o.out;
}

TEST(Launch, BadFormFilesAreReportedNotCrashedOn) {
  Outcome o = RunProgram("QT_QPA_PLATFORM=offscreen", "vettrix --form /nonexistent/form.json");
  EXPECT_EQ(o.status, 2) << o.out;
  EXPECT_NE(o.out.find("/nonexistent/form.json: cannot be read"), std::string::npos) << o.out;

  const std::string broken = TempFile("vettrix_broken_form.json", "{\"controls\": [");
  o = RunProgram("QT_QPA_PLATFORM=offscreen", "vettrix --form " + broken);
  EXPECT_EQ(o.status, 2) << o.out;
  EXPECT_NE(o.out.find("not valid JSON"), std::string::npos) << o.out;

  const std::string empty = TempFile("vettrix_empty_form.json",
                                     R"({"client_width": 900, "client_height": 600,
                                         "font": {"name": "Tahoma", "size": 8},
                                         "controls": []})");
  o = RunProgram("QT_QPA_PLATFORM=offscreen", "vettrix --form=" + empty);
  EXPECT_EQ(o.status, 2) << o.out;
  EXPECT_NE(o.out.find("needs a TextBox named Text1"), std::string::npos) << o.out;

  o = RunProgram("QT_QPA_PLATFORM=offscreen", "vettrix-window --bogus");
  EXPECT_EQ(o.status, 64) << o.out;
}

// The bundled form with one control's JSON changed by `edit`, as a file.
std::string EditedForm(const std::string& name, const std::string& control,
                       const std::function<void(nlohmann::ordered_json&)>& edit) {
  std::ifstream in(std::string(VETTRIX_SOURCE_DIR) + "/app/data/form1.json");
  if (!in) throw std::runtime_error("test data missing: app/data/form1.json");
  auto root = nlohmann::ordered_json::parse(in);
  bool found = false;
  for (auto& c : root["controls"]) {
    if (c["name"] == control) edit(c), found = true;
  }
  if (!found) throw std::runtime_error("no control " + control + " in the bundled form");
  // Pictures the form names by resource stay where they are.
  return TempFile(name, root.dump());
}

TEST(Launch, HostileFormsEndAtOnceWithStatus2) {
  const std::string deep =
      TempFile("vettrix_deep_form.json",
               "{\"zz\":" + std::string(60000, '[') + std::string(60000, ']') + ",\"btype\":4}");
  Outcome o = RunProgram("QT_QPA_PLATFORM=offscreen", "vettrix --form " + deep);
  EXPECT_EQ(o.status, 2) << o.out;
  EXPECT_NE(o.out.find(deep + ": nested too deep"), std::string::npos) << o.out;

  const std::string huge_number =
      TempFile("vettrix_number_form.json", R"({"client_width": 1e400})");
  o = RunProgram("QT_QPA_PLATFORM=offscreen", "vettrix --form " + huge_number);
  EXPECT_EQ(o.status, 2) << o.out;
  EXPECT_NE(o.out.find("not valid JSON"), std::string::npos) << o.out;

  const std::string wide = EditedForm("vettrix_wide_form.json", "CmdCheck", [](auto& c) {
    c["width"] = 1'000'000;
    c["height"] = 1'000'000;
  });
  o = RunProgram("QT_QPA_PLATFORM=offscreen", "vettrix --form " + wide);
  EXPECT_EQ(o.status, 2) << o.out;
  EXPECT_NE(o.out.find("(CmdCheck): 'width' is out of range"), std::string::npos) << o.out;
}

TEST(Launch, PictureBombsInAFormAreRefusedFromTheHeader) {
  const auto bomb = (std::filesystem::temp_directory_path() / "vettrix_bomb.png").string();
  vx::test::WritePictureBomb(bomb, 32767, 32767);
  const std::string image =
      EditedForm("vettrix_bomb_image_form.json", "Image1", [&](auto& c) { c["picture"] = bomb; });
  Outcome o = RunProgram("QT_QPA_PLATFORM=offscreen", "vettrix --form " + image);
  EXPECT_EQ(o.status, 2) << o.out;
  EXPECT_NE(o.out.find("Image1"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find(bomb + "': picture too large"), std::string::npos) << o.out;

  const std::string icon = EditedForm("vettrix_bomb_icon_form.json", "CmdCheck",
                                      [&](auto& c) { c["properties"]["btnicon"] = bomb; });
  o = RunProgram("QT_QPA_PLATFORM=offscreen", "vettrix --form " + icon);
  EXPECT_EQ(o.status, 2) << o.out;
  EXPECT_NE(o.out.find("\"btnicon\""), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("picture too large"), std::string::npos) << o.out;
  std::filesystem::remove(bomb);
}

TEST(Launch, WindowChecksAPageAndTakesItsPicture) {
  const auto png = std::filesystem::temp_directory_path() / "vettrix_window_test.png";
  std::filesystem::remove(png);
  const Outcome o = RunProgram("QT_QPA_PLATFORM=offscreen",
                               "vettrix-window --address " + std::string(VETTRIX_SOURCE_DIR) +
                                   "/samples/sample.html --screenshot " + png.string());
  ASSERT_EQ(o.status, 0) << o.out;
  const QImage picture(QString::fromStdString(png.string()));
  // The form's 598 by 510 pixels and the status line of 22 under them.
  EXPECT_EQ(picture.size(), QSize(598, 510 + 22));
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/rules.h"
#include "app/window/form_definition.h"

namespace vx::window {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("test data missing: " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

const std::string kFormFile = std::string(VETTRIX_SOURCE_DIR) + "/app/data/form1.json";

FormDefinition BuiltIn() {
  return ParseForm(ReadFile(kFormFile), "form1.json", "");
}

// The error message for a form whose JSON is `json`.
std::string ErrorOf(const std::string& json) {
  try {
    const FormDefinition form = ParseForm(json, "f.json", "");
    RequireWindowControls(form, "f.json");
  } catch (const FormError& e) {
    return e.what();
  }
  return "(no error)";
}

// The bundled form with one control's JSON replaced by `edit`.
std::string Edited(const std::string& control,
                   const std::function<void(nlohmann::ordered_json&)>& edit) {
  auto root = nlohmann::ordered_json::parse(ReadFile(kFormFile));
  for (auto& c : root["controls"]) {
    if (c["name"] == control) edit(c);
  }
  return root.dump();
}

TEST(FormDefinition, BundledFormHoldsTheWindowAsStored) {
  const FormDefinition form = BuiltIn();
  EXPECT_EQ(form.name, "Form1");
  EXPECT_EQ(form.caption, "Vettrix");
  EXPECT_EQ(TwipsToPixels(form.client_width), 598);
  EXPECT_EQ(TwipsToPixels(form.client_height), 510);
  EXPECT_NO_THROW(RequireWindowControls(form, "form1.json"));

  // Drawing order, the first at the back.
  std::vector<std::string> order;
  for (const auto& c : form.controls) order.push_back(c.name);
  const std::vector<std::string> expected{"Text4",    "Text3",     "ImageList1", "Frame1", "Text1",
                                          "CmdCheck", "Image1",    "Label4",     "Label2", "Inet1",
                                          "Text2",    "ListView1", "Label3",     "Label1"};
  EXPECT_EQ(order, expected);

  const ControlDef& list = *form.Find("ListView1");
  ASSERT_EQ(list.columns.size(), 2u);
  EXPECT_EQ(list.columns[0].text, "Detected");
  EXPECT_EQ(list.columns[0].width, 1600);
  EXPECT_EQ(list.columns[1].text, "Description");
  EXPECT_EQ(list.columns[1].width, 7041);
  EXPECT_EQ(list.small_icons, "ImageList1");
  EXPECT_EQ(form.Find("Text1")->container, "Frame1");
  EXPECT_TRUE(form.Find("Text2")->multi_line);
  EXPECT_TRUE(form.Find("Text2")->vertical_scroll);
  EXPECT_TRUE(form.Find("Text4")->font.is_default);
  EXPECT_EQ(form.Find("Label2")->font.weight, 700);
  EXPECT_EQ(form.Find("Text1")->font.weight, 400);
}

TEST(FormDefinition, ButtonStoredSetIsTheButtonsOwn) {
  const FormDefinition form = BuiltIn();
  const auto own = nlohmann::ordered_json::parse(
      ReadFile(std::string(VETTRIX_SOURCE_DIR) + "/button/model/data/cmdcheck.json"));
  EXPECT_EQ(form.Find("CmdCheck")->properties, own);
}

TEST(FormDefinition, BadFormsAreNamedPrecisely) {
  EXPECT_NE(ErrorOf("{").find("not valid JSON"), std::string::npos);
  EXPECT_NE(ErrorOf("[]").find("must hold a JSON object"), std::string::npos);
  EXPECT_NE(ErrorOf(R"({"client_width": 10, "client_height": 10})").find("'controls'"),
            std::string::npos);
  EXPECT_NE(ErrorOf(R"({"client_width": "wide", "client_height": 10, "controls": []})")
                .find("'client_width' must be a whole number"),
            std::string::npos);

  auto error = ErrorOf(Edited("Text1", [](auto& c) { c["lft"] = 1; }));
  EXPECT_NE(error.find("(Text1)"), std::string::npos) << error;
  EXPECT_NE(error.find("unknown key 'lft'"), std::string::npos) << error;

  error = ErrorOf(Edited("Text1", [](auto& c) { c["width"] = "wide"; }));
  EXPECT_NE(error.find("(Text1): 'width' must be a whole number"), std::string::npos) << error;

  error = ErrorOf(Edited("Text1", [](auto& c) { c.erase("top"); }));
  EXPECT_NE(error.find("(Text1): 'top' is missing"), std::string::npos) << error;

  error = ErrorOf(Edited("Text1", [](auto& c) { c["type"] = "Textbox"; }));
  EXPECT_NE(error.find("unknown control type 'Textbox'"), std::string::npos) << error;

  error = ErrorOf(Edited("Text3", [](auto& c) { c["name"] = "Text4"; }));
  EXPECT_NE(error.find("'Text4' is used twice"), std::string::npos) << error;

  error = ErrorOf(Edited("Text1", [](auto& c) { c["container"] = "Label2"; }));
  EXPECT_NE(error.find("'Label2' is not a frame defined before it"), std::string::npos) << error;

  error = ErrorOf(Edited("ListView1", [](auto& c) { c["small_icons"] = "Icons"; }));
  EXPECT_NE(error.find("'small_icons' names no image list"), std::string::npos) << error;

  error = ErrorOf(Edited("Label1", [](auto& c) { c["font"] = {{"name", "Tahoma"}}; }));
  EXPECT_NE(error.find("(Label1): font: 'size'"), std::string::npos) << error;

  error = ErrorOf(Edited("Label1", [](auto& c) { c["tab_index"] = 0; }));
  EXPECT_NE(error.find("tab index 0 is used twice"), std::string::npos) << error;

  error = ErrorOf(Edited("CmdCheck", [](auto& c) { c["properties"] = 4; }));
  EXPECT_NE(error.find("(CmdCheck): 'properties'"), std::string::npos) << error;

  // What the window binds to must be there, as the right kind of control.
  error = ErrorOf(Edited("Label4", [](auto& c) { c["name"] = "Label5"; }));
  EXPECT_NE(error.find("needs a Label named Label4"), std::string::npos) << error;
  error = ErrorOf(Edited("Text2", [](auto& c) { c["multi_line"] = false; }));
  EXPECT_NE(error.find("Text2"), std::string::npos) << error;
}

TEST(FormDefinition, HostileJsonIsAFormErrorNamingTheFile) {
  // Nested far beyond any real form, before a second key: refused while
  // parsing, not by a stack overflow afterwards.
  for (int depth : {65, 60000}) {
    const std::string error =
        ErrorOf("{\"zz\":" + std::string(depth, '[') + std::string(depth, ']') + ",\"btype\":4}");
    EXPECT_EQ(error.rfind("f.json: nested too deep", 0), 0u) << error;
  }
  // A button's stored set sits deeper than the form itself and is bounded too.
  std::string error = ErrorOf(Edited("CmdCheck", [](auto& c) {
    nlohmann::ordered_json deep = nlohmann::ordered_json::array();
    for (int i = 0; i < 100; ++i) deep = nlohmann::ordered_json::array({deep});
    c["properties"]["zz"] = deep;
  }));
  EXPECT_NE(error.find("nested too deep"), std::string::npos) << error;

  error = ErrorOf(R"({"client_width": 1e400})");
  EXPECT_EQ(error.rfind("f.json: not valid JSON", 0), 0u) << error;
}

TEST(FormDefinition, GeometryIsBoundedNamingTheControlAndField) {
  struct Case {
    const char* control;
    const char* field;
    nlohmann::ordered_json value;
  };
  // Sizes up to 8192 pixels (122880 twips), places within 16-bit pixels.
  const Case refused[] = {
      {"CmdCheck", "width", 1'000'000},   {"CmdCheck", "height", 200'000},
      {"Text2", "width", 122'881},        {"Frame1", "height", -1},
      {"Text1", "left", 491'506},         {"Label4", "top", -491'521},
      {"Text1", "left", 9'000'000'000LL}, {"Text1", "width", 18'446'744'073'709'551'615ULL},
  };
  for (const Case& c : refused) {
    const std::string error = ErrorOf(Edited(c.control, [&](auto& o) { o[c.field] = c.value; }));
    const std::string expected =
        "(" + std::string(c.control) + "): '" + c.field + "' is out of range";
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
  EXPECT_NE(ErrorOf(Edited("ListView1", [](auto& o) { o["columns"][0]["width"] = 200'000; }))
                .find("(ListView1): columns[0]: 'width' is out of range"),
            std::string::npos);
  EXPECT_NE(ErrorOf(Edited("ImageList1", [](auto& o) { o["image_width"] = 100'000; }))
                .find("(ImageList1): 'image_width' is out of range"),
            std::string::npos);
  auto root = nlohmann::ordered_json::parse(ReadFile(kFormFile));
  root["client_height"] = 122'881;
  EXPECT_NE(ErrorOf(root.dump()).find("form: 'client_height' is out of range"), std::string::npos);

  // The limits themselves are still taken.
  const Case taken[] = {
      {"CmdCheck", "width", 122'880}, {"Text1", "left", 491'505}, {"Text1", "top", -491'520}};
  for (const Case& c : taken) {
    EXPECT_EQ(ErrorOf(Edited(c.control, [&](auto& o) { o[c.field] = c.value; })), "(no error)")
        << c.control << " " << c.field;
  }
}

TEST(FormDefinition, PicturesAreFoundBesideAFormNamedWithoutAFolder) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / "vettrix_relative_form";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "rel.json") << R"({"client_width": 900, "client_height": 600,
                                        "font": {"name": "Tahoma", "size": 8},
                                        "controls": []})";
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  const FormDefinition form = LoadFormFile("rel.json");
  std::filesystem::current_path(before);
  EXPECT_EQ(form.base_dir + "row.png", "./row.png");
  std::filesystem::remove_all(dir);
}

TEST(FormDefinition, MissingFileIsAFormError) {
  try {
    LoadFormFile("/nonexistent/form.json");
    FAIL() << "no error";
  } catch (const FormError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/form.json: cannot be read"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace vx::window

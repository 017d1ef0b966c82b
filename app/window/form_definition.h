#pragma once

// The stored definition of the main window: its caption, client size, font
// and controls, read from a JSON form file. Positions are in twips, as the
// definition stores them; the window turns them into pixels.

#include <array>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vx::window {

// A form file that cannot be used; the message names the file, the control
// and what is wrong with it.
class FormError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kTwipsPerPixel = 15;

// Twips to pixels, to the nearest pixel.
int TwipsToPixels(int twips);

struct FontDef {
  bool is_default = true;  // the form's own font
  std::string name;
  double size = 8.25;  // points
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;
  int charset = 0;
};

enum class ControlType { TextBox, Label, Frame, Image, ImageList, ListView, Inet, TorvelButton };

// The type's name as the form file writes it ("TextBox", ...).
std::string_view TypeName(ControlType type);

struct ColumnDef {
  std::string text;
  int width = 0;  // twips
};

struct ControlDef {
  std::string name;
  ControlType type = ControlType::Label;
  std::string container;  // "" for the form itself, else a Frame's name
  // Left, Top, Width, Height in twips, in the container's client area; absent
  // for the controls without a window (ImageList, Inet).
  std::optional<std::array<int, 4>> geometry;
  std::string text;             // a text box's text, a label's or frame's caption
  std::string accessible_name;  // what assistive tools call it; "" for the default
  FontDef font;
  std::optional<int> tab_index;
  bool multi_line = false;       // TextBox
  bool vertical_scroll = false;  // TextBox
  std::string picture;           // Image: a resource (":/...") or a file
  int image_width = 16;          // ImageList
  int image_height = 16;
  std::vector<std::string> images;  // ImageList: resources or files
  std::vector<ColumnDef> columns;   // ListView, report view
  std::string small_icons;          // ListView: an ImageList's name
  nlohmann::ordered_json properties = nlohmann::ordered_json::object();  // TorvelButton
};

struct FormDefinition {
  std::string name = "Form1";
  std::string caption;
  int client_width = 0;  // twips
  int client_height = 0;
  FontDef font;                      // the form's font, which "default" controls use
  std::vector<ControlDef> controls;  // in drawing order, the first at the back
  // Pictures named by a relative path are looked for here.
  std::string base_dir;

  const ControlDef* Find(std::string_view control) const;
};

// Reads a form from JSON text. `origin` names the source in messages (a file
// name). Throws FormError naming what is wrong.
FormDefinition ParseForm(std::string_view json_text, const std::string& origin,
                         const std::string& base_dir);

// Reads a form file; relative pictures are found beside it.
FormDefinition LoadFormFile(const std::string& path);

// Checks that the controls the window binds to are there with the right
// types: Text1 to Text4, Label4, ListView1 and CmdCheck.
void RequireWindowControls(const FormDefinition& form, const std::string& origin);

}  // namespace vx::window

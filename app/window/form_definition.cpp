#include "app/window/form_definition.h"

#include <chrono>
#include <cmath>
#include <set>

#include "platform/files/file_reader.h"
#include "platform/json/json_reader.h"

namespace vx::window {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kMinPlacePixels = -32768;
constexpr int kMaxPlacePixels = 32767;
constexpr int kMaxSizePixels = 8192;
// An image list scales each of its pictures to its image size.
constexpr int kMaxImagePixels = 4096;

constexpr std::pair<ControlType, std::string_view> kTypes[] = {
    {ControlType::TextBox, "TextBox"},     {ControlType::Label, "Label"},
    {ControlType::Frame, "Frame"},         {ControlType::Image, "Image"},
    {ControlType::ImageList, "ImageList"}, {ControlType::ListView, "ListView"},
    {ControlType::Inet, "Inet"},           {ControlType::TorvelButton, "TorvelButton"},
};

bool Windowed(ControlType t) {
  return t != ControlType::ImageList && t != ControlType::Inet;
}

// Builds messages of the form "FILE: WHERE: WHAT".
class Reader {
 public:
  Reader(std::string origin, std::string where)
      : origin_(std::move(origin)), where_(std::move(where)) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw FormError(origin_ + ": " + where_ + ": " + what);
  }

  int Int(const Json& o, const char* key, std::optional<int> fallback, int min,
          int max = 1'000'000) const {
    const auto it = o.find(key);
    if (it == o.end()) {
      if (!fallback) Fail(std::string("'") + key + "' is missing");
      return *fallback;
    }
    if (!it->is_number_integer()) Fail(std::string("'") + key + "' must be a whole number");
    // A huge unsigned value would wrap as a signed one.
    const bool in_range = it->is_number_unsigned()
                              ? it->get<std::uint64_t>() <= static_cast<std::uint64_t>(max)
                              : it->get<std::int64_t>() >= min && it->get<std::int64_t>() <= max;
    if (!in_range) {
      Fail(std::string("'") + key + "' is out of range (" + it->dump() + "; " +
           std::to_string(min) + " to " + std::to_string(max) + ")");
    }
    return static_cast<int>(it->get<std::int64_t>());
  }

  // A place or a size in twips. Places stay within the 16-bit pixel
  // coordinates of the window system; sizes within what a window or the
  // button can be drawn at. Beyond them a window would need gigabytes.
  int Place(const Json& o, const char* key) const {
    return Int(o, key, std::nullopt, kMinPlacePixels * kTwipsPerPixel,
               kMaxPlacePixels * kTwipsPerPixel);
  }
  int Size(const Json& o, const char* key, int min) const {
    return Int(o, key, std::nullopt, min, kMaxSizePixels * kTwipsPerPixel);
  }

  std::string String(const Json& o, const char* key, std::optional<std::string> fallback) const {
    const auto it = o.find(key);
    if (it == o.end()) {
      if (!fallback) Fail(std::string("'") + key + "' is missing");
      return *fallback;
    }
    if (!it->is_string()) Fail(std::string("'") + key + "' must be a string");
    return it->get<std::string>();
  }

  bool Bool(const Json& o, const char* key, bool fallback) const {
    const auto it = o.find(key);
    if (it == o.end()) return fallback;
    if (!it->is_boolean()) Fail(std::string("'") + key + "' must be true or false");
    return it->get<bool>();
  }

  void OnlyKeys(const Json& o, std::initializer_list<std::string_view> allowed) const {
    for (const auto& [key, value] : o.items()) {
      bool known = false;
      for (auto a : allowed) known = known || a == key;
      if (!known) Fail("unknown key '" + key + "'");
    }
  }

  FontDef Font(const Json& o, const char* key, bool allow_default) const {
    FontDef f;
    const auto it = o.find(key);
    if (it == o.end() || (it->is_string() && it->get<std::string>() == "default")) {
      if (!allow_default && it == o.end()) Fail(std::string("'") + key + "' is missing");
      if (!allow_default) Fail(std::string("'") + key + "' cannot be \"default\" here");
      return f;
    }
    if (!it->is_object()) Fail(std::string("'") + key + "' must be \"default\" or a font object");
    Reader sub(origin_, where_ + ": " + key);
    sub.OnlyKeys(
        *it, {"name", "size", "bold", "weight", "italic", "underline", "strikethrough", "charset"});
    f.is_default = false;
    f.name = sub.String(*it, "name", std::nullopt);
    if (f.name.empty()) sub.Fail("'name' is empty");
    const auto size = it->find("size");
    if (size == it->end() || !size->is_number() || !(size->get<double>() > 0) ||
        size->get<double>() > 500) {
      sub.Fail("'size' must be a number of points above 0");
    }
    f.size = size->get<double>();
    f.weight = sub.Int(*it, "weight", sub.Bool(*it, "bold", false) ? 700 : 400, 0);
    f.italic = sub.Bool(*it, "italic", false);
    f.underline = sub.Bool(*it, "underline", false);
    f.strikethrough = sub.Bool(*it, "strikethrough", false);
    f.charset = sub.Int(*it, "charset", 0, 0);
    return f;
  }

 private:
  std::string origin_;
  std::string where_;
};

}  // namespace

int TwipsToPixels(int twips) {
  return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

std::string_view TypeName(ControlType type) {
  for (const auto& [t, name] : kTypes) {
    if (t == type) return name;
  }
  return "?";
}

const ControlDef* FormDefinition::Find(std::string_view control) const {
  for (const ControlDef& c : controls) {
    if (c.name == control) return &c;
  }
  return nullptr;
}

namespace {

// The form's own keys: name, caption, client size and font.
void ReadFormKeys(const Json& root, const Reader& r, FormDefinition& form) {
  r.OnlyKeys(root, {"name", "caption", "client_width", "client_height", "font", "controls"});
  form.name = r.String(root, "name", std::string("Form1"));
  if (form.name.empty()) r.Fail("'name' is empty");
  form.caption = r.String(root, "caption", std::string());
  form.client_width = r.Size(root, "client_width", 1);
  form.client_height = r.Size(root, "client_height", 1);
  if (root.contains("font")) {
    form.font = r.Font(root, "font", false);
  } else {
    // A form's own default.
    form.font.is_default = false;
    form.font.name = "MS Sans Serif";
  }
}

// Which controls a form has already seen, to refuse a second of the same.
struct Seen {
  std::set<std::string> names;
  std::set<int> tab_indices;
};

// What names a control: its name, its type and the frame it is in.
void ReadIdentity(const Json& o, const Reader& r, const FormDefinition& form, Seen& seen,
                  ControlDef& c) {
  c.name = r.String(o, "name", std::nullopt);
  if (c.name.empty()) r.Fail("'name' is empty");
  if (!seen.names.insert(c.name).second) r.Fail("the name '" + c.name + "' is used twice");

  const std::string type = r.String(o, "type", std::nullopt);
  bool known = false;
  for (const auto& [t, n] : kTypes) {
    if (n == type) {
      c.type = t;
      known = true;
    }
  }
  if (!known) r.Fail("unknown control type '" + type + "'");

  c.container = r.String(o, "container", std::string());
  if (c.container == form.name) c.container.clear();
  if (!c.container.empty()) {
    const ControlDef* parent = form.Find(c.container);
    if (parent == nullptr || parent->type != ControlType::Frame) {
      r.Fail("the container '" + c.container + "' is not a frame defined before it");
    }
  }
}

// Where and how a control shows: its place, text, font and tab index.
void ReadPlaceAndText(const Json& o, const Reader& r, Seen& seen, ControlDef& c) {
  if (Windowed(c.type)) {
    c.geometry = std::array<int, 4>{r.Place(o, "left"), r.Place(o, "top"), r.Size(o, "width", 0),
                                    r.Size(o, "height", 0)};
  } else {
    for (const char* k : {"left", "top", "width", "height", "font", "tab_index"}) {
      if (o.contains(k)) {
        r.Fail(std::string("'") + k + "' makes no sense for a " + std::string(TypeName(c.type)));
      }
    }
  }
  if (o.contains("text") && o.contains("caption")) r.Fail("give 'text' or 'caption', not both");
  c.text = r.String(o, o.contains("caption") ? "caption" : "text", std::string());
  c.accessible_name = r.String(o, "accessible_name", std::string());
  if (c.type != ControlType::Image && c.type != ControlType::ImageList &&
      c.type != ControlType::Inet) {
    c.font = r.Font(o, "font", true);
  }
  if (o.contains("tab_index")) {
    // Labels and frames keep their numbers too; they never take the focus.
    c.tab_index = r.Int(o, "tab_index", std::nullopt, 0);
    if (!seen.tab_indices.insert(*c.tab_index).second) {
      r.Fail("tab index " + std::to_string(*c.tab_index) + " is used twice");
    }
  }
}

void ReadTextBoxKeys(const Json& o, const Reader& r, ControlDef& c) {
  c.multi_line = r.Bool(o, "multi_line", false);
  const std::string bars = r.String(o, "scroll_bars", std::string("none"));
  if (bars != "none" && bars != "vertical") {
    r.Fail("'scroll_bars' must be \"none\" or \"vertical\"");
  }
  c.vertical_scroll = bars == "vertical";
}

void ReadImageListKeys(const Json& o, const Reader& r, ControlDef& c) {
  c.image_width = r.Int(o, "image_width", 16, 1, kMaxImagePixels);
  c.image_height = r.Int(o, "image_height", 16, 1, kMaxImagePixels);
  const auto images = o.find("images");
  if (images == o.end() || !images->is_array() || images->empty()) {
    r.Fail("'images' must be a list of at least one picture");
  }
  for (const Json& im : *images) {
    if (!im.is_string() || im.get<std::string>().empty()) {
      r.Fail("each of 'images' must name a picture");
    }
    c.images.push_back(im.get<std::string>());
  }
}

void ReadListViewKeys(const Json& o, const Reader& r, const std::string& origin,
                      const std::string& where, const FormDefinition& form, ControlDef& c) {
  if (r.String(o, "view", std::string("report")) != "report") {
    r.Fail("only \"report\" view is supported");
  }
  const auto columns = o.find("columns");
  if (columns == o.end() || !columns->is_array() || columns->empty()) {
    r.Fail("'columns' must be a list of at least one column");
  }
  for (std::size_t k = 0; k < columns->size(); ++k) {
    const Reader cr(origin, where + ": columns[" + std::to_string(k) + "]");
    const Json& col = (*columns)[k];
    if (!col.is_object()) cr.Fail("a column must be an object with 'text' and 'width'");
    cr.OnlyKeys(col, {"text", "width"});
    c.columns.push_back({cr.String(col, "text", std::nullopt), cr.Size(col, "width", 0)});
  }
  c.small_icons = r.String(o, "small_icons", std::string());
  if (!c.small_icons.empty()) {
    const ControlDef* list = form.Find(c.small_icons);
    if (list == nullptr || list->type != ControlType::ImageList) {
      r.Fail("'small_icons' names no image list defined before it: '" + c.small_icons + "'");
    }
  }
}

void ReadButtonKeys(const Json& o, const Reader& r, ControlDef& c) {
  const auto props = o.find("properties");
  if (props == o.end() || !props->is_object()) {
    r.Fail("'properties' must be the button's stored property set (an object)");
  }
  c.properties = *props;
}

// Control i of the form's list.
ControlDef ReadControl(const Json& o, std::size_t i, const std::string& origin,
                       const FormDefinition& form, Seen& seen) {
  std::string where = "controls[" + std::to_string(i) + "]";
  if (o.is_object() && o.contains("name") && o["name"].is_string()) {
    where += " (" + o["name"].get<std::string>() + ")";
  }
  const Reader r(origin, where);
  if (!o.is_object()) r.Fail("a control must be a JSON object");
  r.OnlyKeys(
      o, {"name",        "type",        "container",   "left",           "top",       "width",
          "height",      "text",        "caption",     "font",           "tab_index", "multi_line",
          "scroll_bars", "picture",     "image_width", "image_height",   "images",    "view",
          "columns",     "small_icons", "properties",  "accessible_name"});
  ControlDef c;
  ReadIdentity(o, r, form, seen, c);
  ReadPlaceAndText(o, r, seen, c);
  switch (c.type) {
    case ControlType::TextBox:
      ReadTextBoxKeys(o, r, c);
      break;
    case ControlType::Image:
      c.picture = r.String(o, "picture", std::nullopt);
      break;
    case ControlType::ImageList:
      ReadImageListKeys(o, r, c);
      break;
    case ControlType::ListView:
      ReadListViewKeys(o, r, origin, where, form, c);
      break;
    case ControlType::TorvelButton:
      ReadButtonKeys(o, r, c);
      break;
    default:
      break;
  }
  for (const char* k : {"multi_line", "scroll_bars"}) {
    if (o.contains(k) && c.type != ControlType::TextBox) {
      r.Fail(std::string("'") + k + "' is only for a TextBox");
    }
  }
  return c;
}

FormDefinition ReadForm(const Json& root, const std::string& origin, const std::string& base_dir) {
  const Reader form_reader(origin, "form");
  if (!root.is_object()) form_reader.Fail("the file must hold a JSON object");

  FormDefinition form;
  form.base_dir = base_dir;
  ReadFormKeys(root, form_reader, form);

  const auto controls = root.find("controls");
  if (controls == root.end() || !controls->is_array()) {
    form_reader.Fail("'controls' must be a list of controls");
  }
  Seen seen{{form.name}, {}};
  for (std::size_t i = 0; i < controls->size(); ++i) {
    form.controls.push_back(ReadControl((*controls)[i], i, origin, form, seen));
  }
  return form;
}

}  // namespace

FormDefinition ParseForm(std::string_view json_text, const std::string& origin,
                         const std::string& base_dir) {
  Json root;
  try {
    root = json::Parse(json_text, origin);
  } catch (const json::JsonReadError& e) {
    throw FormError(e.what());
  }
  try {
    return ReadForm(root, origin, base_dir);
  } catch (const Json::exception& e) {
    // The readers check each value's type first; this is the net under them.
    throw FormError(origin + ": " + e.what());
  }
}

FormDefinition LoadFormFile(const std::string& path) {
  // A FIFO nobody writes must not keep the window from starting.
  files::ReadLimits limits;
  limits.timeout = std::chrono::seconds(30);
  std::string text, why;
  files::ReadFailure failure = files::ReadFailure::None;
  if (!files::ReadLocalFile(path, text, limits, /*regular_only=*/false, &why, &failure)) {
    throw FormError(path + ": cannot be read" +
                    (failure == files::ReadFailure::Open ? std::string() : " (" + why + ")"));
  }
  const auto slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
  return ParseForm(text, path, dir);
}

void RequireWindowControls(const FormDefinition& form, const std::string& origin) {
  const std::pair<const char*, ControlType> needed[] = {
      {"Text1", ControlType::TextBox},         {"Text2", ControlType::TextBox},
      {"Text3", ControlType::TextBox},         {"Text4", ControlType::TextBox},
      {"Label4", ControlType::Label},          {"ListView1", ControlType::ListView},
      {"CmdCheck", ControlType::TorvelButton},
  };
  for (const auto& [name, type] : needed) {
    const ControlDef* c = form.Find(name);
    if (c == nullptr) {
      throw FormError(origin + ": the window needs a " + std::string(TypeName(type)) + " named " +
                      name);
    }
    if (c->type != type) {
      throw FormError(origin + ": " + name + " must be a " + std::string(TypeName(type)) +
                      ", not a " + std::string(TypeName(c->type)));
    }
  }
  if (!form.Find("Text2")->multi_line) {
    throw FormError(origin + ": Text2 (the source box) must be a multi-line TextBox");
  }
  if (form.Find("ListView1")->columns.size() < 2) {
    throw FormError(origin + ": ListView1 needs two columns (label and description)");
  }
}

}  // namespace vx::window

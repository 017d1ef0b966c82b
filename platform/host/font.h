#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vx::host {

// Attributes of a font.
struct FontAttributes {
  std::string name = "Tahoma";
  double size = 8.25;  // points
  std::int16_t weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;
  std::int16_t charset = 0;

  bool operator==(const FontAttributes&) const = default;
};

// A host font object: face name, size in points and the usual attributes. It is
// shared by reference (the control's caption font is the object the container
// handed over), and every attribute change is announced to its subscribers with
// the attribute's name ("Name", "Size", "Bold", ...), as the toolkit's font
// objects do.
class Font {
 public:
  using Attributes = FontAttributes;

  using Listener = std::function<void(const std::string& attribute)>;

  Font() = default;
  explicit Font(Attributes a) : attrs_(std::move(a)) {}
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  static std::shared_ptr<Font> Create(Attributes a = {}) {
    return std::make_shared<Font>(std::move(a));
  }

  const Attributes& attributes() const { return attrs_; }
  const std::string& name() const { return attrs_.name; }
  double size() const { return attrs_.size; }
  std::int16_t weight() const { return attrs_.weight; }
  // Bold and weight are one attribute seen two ways: bold is a weight above 550.
  bool bold() const { return attrs_.weight > 550; }
  bool italic() const { return attrs_.italic; }
  bool underline() const { return attrs_.underline; }
  bool strikethrough() const { return attrs_.strikethrough; }
  std::int16_t charset() const { return attrs_.charset; }

  void set_name(std::string v);
  void set_size(double v);
  void set_weight(std::int16_t v);
  void set_bold(bool v) { set_weight(v ? 700 : 400); }
  void set_italic(bool v);
  void set_underline(bool v);
  void set_strikethrough(bool v);
  void set_charset(std::int16_t v);

  // Takes every attribute of `a`, announcing each one that changes.
  void Assign(const Attributes& a);

  // Returns a token for Unsubscribe. Listeners run in subscription order.
  int Subscribe(Listener l);
  void Unsubscribe(int token);

 private:
  void Notify(const char* attribute);

  Attributes attrs_;
  std::vector<std::pair<int, Listener>> listeners_;
  int next_token_ = 1;
};

using FontPtr = std::shared_ptr<Font>;

}  // namespace vx::host

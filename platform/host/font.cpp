#include "platform/host/font.h"

#include <algorithm>

namespace vx::host {

void Font::set_name(std::string v) {
  if (v == attrs_.name) return;
  attrs_.name = std::move(v);
  Notify("Name");
}

void Font::set_size(double v) {
  if (v == attrs_.size) return;
  attrs_.size = v;
  Notify("Size");
}

void Font::set_weight(std::int16_t v) {
  if (v == attrs_.weight) return;
  const bool was_bold = bold();
  attrs_.weight = v;
  Notify(was_bold != bold() ? "Bold" : "Weight");
}

void Font::set_italic(bool v) {
  if (v == attrs_.italic) return;
  attrs_.italic = v;
  Notify("Italic");
}

void Font::set_underline(bool v) {
  if (v == attrs_.underline) return;
  attrs_.underline = v;
  Notify("Underline");
}

void Font::set_strikethrough(bool v) {
  if (v == attrs_.strikethrough) return;
  attrs_.strikethrough = v;
  Notify("Strikethrough");
}

void Font::set_charset(std::int16_t v) {
  if (v == attrs_.charset) return;
  attrs_.charset = v;
  Notify("Charset");
}

void Font::Assign(const Attributes& a) {
  set_name(a.name);
  set_size(a.size);
  set_weight(a.weight);
  set_italic(a.italic);
  set_underline(a.underline);
  set_strikethrough(a.strikethrough);
  set_charset(a.charset);
}

int Font::Subscribe(Listener l) {
  listeners_.emplace_back(next_token_, std::move(l));
  return next_token_++;
}

void Font::Unsubscribe(int token) {
  std::erase_if(listeners_, [token](const auto& e) { return e.first == token; });
}

void Font::Notify(const char* attribute) {
  // A listener may subscribe or unsubscribe while it runs: work on a copy.
  const auto listeners = listeners_;
  const std::string name = attribute;
  for (const auto& [token, listener] : listeners) {
    const bool still_there = std::any_of(listeners_.begin(), listeners_.end(),
                                         [t = token](const auto& e) { return e.first == t; });
    if (still_there) listener(name);
  }
}

}  // namespace vx::host

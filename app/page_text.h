#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace vx::app {

// A page's text as the transfer control hands it over: a string of its own,
// or bytes kept alive by someone else (a large local file read through a
// mapping of it, which a string would first have to copy).
class PageText {
 public:
  PageText() = default;
  PageText(std::string text) : owned_(std::move(text)) {}  // NOLINT: a page is text
  // `bytes` stay valid while `keeper` lives.
  PageText(std::string_view bytes, std::shared_ptr<const void> keeper)
      : keeper_(std::move(keeper)), borrowed_(bytes) {}

  std::string_view View() const { return keeper_ ? borrowed_ : std::string_view(owned_); }
  bool Borrowed() const { return keeper_ != nullptr; }
  // The string of a text that is not borrowed.
  const std::string& OwnedText() const { return owned_; }
  // The text as a string of its own (a copy only for borrowed bytes).
  std::string TakeString() && { return keeper_ ? std::string(borrowed_) : std::move(owned_); }

  // Whoever made the text from a decoder, whose output is always valid UTF-8,
  // says so: the check run then need not walk the page to find that out.
  void MarkValidUtf8() { valid_utf8_ = true; }
  bool KnownValidUtf8() const { return valid_utf8_; }

 private:
  bool valid_utf8_ = false;
  std::string owned_;
  std::shared_ptr<const void> keeper_;
  std::string_view borrowed_;
};

}  // namespace vx::app

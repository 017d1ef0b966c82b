#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/window/check_ports.h"

namespace vx::app {

// A text box without a window: the source and display boxes of the command
// line, and a plain stand-in wherever a real control is not needed.
class TextBuffer : public SourceView {
 public:
  TextBuffer() = default;
  explicit TextBuffer(std::string text) : page_(std::move(text)) {}

  // A borrowed page becomes a string of its own here, the first time.
  const std::string& Text() const override;
  std::string_view View() const override { return page_.View(); }
  // Like a text box, new text leaves the caret at the start with nothing selected.
  void SetText(std::string text) override { SetPage(std::move(text)); }
  // Keeps a borrowed page where it is.
  void SetPage(PageText page) override;
  std::uint64_t TextRevision() const override { return revision_; }
  // Past the end puts the caret at the end; the selection is emptied.
  void SetSelStart(std::size_t chars) override;
  // Limited to the characters after SelStart.
  void SetSelLength(std::size_t chars) override;
  std::string SelText() const override;

  std::size_t SelStart() const { return sel_start_; }
  std::size_t SelLength() const { return sel_length_; }

 private:
  mutable PageText page_;
  std::uint64_t revision_ = 0;
  std::size_t sel_start_ = 0;   // characters
  std::size_t sel_length_ = 0;  // characters
  std::size_t sel_begin_ = 0;   // the selection in bytes
  std::size_t sel_end_ = 0;
};

}  // namespace vx::app

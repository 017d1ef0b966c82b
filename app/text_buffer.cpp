#include "app/text_buffer.h"

#include "app/text_position.h"

namespace vx::app {

void TextBuffer::SetText(std::string text) {
  text_ = std::move(text);
  ++revision_;
  sel_start_ = sel_length_ = 0;
  sel_begin_ = sel_end_ = 0;
}

void TextBuffer::SetSelStart(std::size_t chars) {
  sel_begin_ = ByteOffsetOfChar(text_, chars);
  // Counted in full only when the caret lands at the end.
  sel_start_ = sel_begin_ < text_.size() ? chars : CountChars(text_);
  sel_end_ = sel_begin_;
  sel_length_ = 0;
}

void TextBuffer::SetSelLength(std::size_t chars) {
  const std::string_view rest = std::string_view(text_).substr(sel_begin_);
  const std::size_t length = ByteOffsetOfChar(rest, chars);
  sel_end_ = sel_begin_ + length;
  sel_length_ = length < rest.size() ? chars : CountChars(rest);
}

std::string TextBuffer::SelText() const {
  return text_.substr(sel_begin_, sel_end_ - sel_begin_);
}

}  // namespace vx::app

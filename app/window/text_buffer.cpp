#include "app/window/text_buffer.h"

#include "app/text_position.h"

namespace vx::app {

const std::string& TextBuffer::Text() const {
  // Same text, so the revision stays.
  if (page_.Borrowed()) page_ = PageText(std::string(page_.View()));
  return page_.OwnedText();
}

void TextBuffer::SetPage(PageText page) {
  page_ = std::move(page);
  ++revision_;
  sel_start_ = sel_length_ = 0;
  sel_begin_ = sel_end_ = 0;
}

void TextBuffer::SetSelStart(std::size_t chars) {
  const std::string_view text = View();
  sel_begin_ = ByteOffsetOfChar(text, chars);
  // Counted in full only when the caret lands at the end.
  sel_start_ = sel_begin_ < text.size() ? chars : CountChars(text);
  sel_end_ = sel_begin_;
  sel_length_ = 0;
}

void TextBuffer::SetSelLength(std::size_t chars) {
  const std::string_view rest = View().substr(sel_begin_);
  const std::size_t length = ByteOffsetOfChar(rest, chars);
  sel_end_ = sel_begin_ + length;
  sel_length_ = length < rest.size() ? chars : CountChars(rest);
}

std::string TextBuffer::SelText() const {
  return std::string(View().substr(sel_begin_, sel_end_ - sel_begin_));
}

}  // namespace vx::app

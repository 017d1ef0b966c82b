#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace vx::app {

// Text positions are byte offsets into UTF-8 text; what users see (a text
// box's SelStart, a column) is counted in characters.

// Number of characters (code points) in UTF-8 text: every byte that is not a
// continuation byte starts one, so malformed bytes count one each.
std::size_t CountChars(std::string_view text);

// Byte offset at which character number `chars` (0-based) starts; text.size()
// when the text has no more characters.
std::size_t ByteOffsetOfChar(std::string_view text, std::size_t chars);

struct LineColumn {
  std::size_t line = 1;    // 1-based; "\n", "\r\n" and a lone "\r" end a line
  std::size_t column = 1;  // 1-based, in characters
};

// 1-based column, in characters, of a byte offset (at most text.size()): a
// walk back to the start of its line.
std::size_t ColumnAt(std::string_view text, std::size_t offset);

// Line and column of each byte offset (each at most text.size()), in one pass
// over the text up to the largest offset.
std::vector<LineColumn> LocateOffsets(std::string_view text,
                                      const std::vector<std::size_t>& offsets);

// Places offsets asked in increasing order, counting each byte of the text
// once however long its lines are.
class PositionCounter {
 public:
  explicit PositionCounter(std::string_view text) : text_(text) {}

  struct Place {
    std::size_t line = 1;
    std::size_t column = 1;
    std::size_t chars = 0;  // characters before the offset
  };
  // `offset` (at most text.size()) must not be before the last one asked.
  Place At(std::size_t offset);
  // The offset counted to so far.
  std::size_t counted_to() const { return pos_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t breaks_ = 0;
  std::size_t continuations_ = 0;     // in [0, pos_)
  std::size_t line_start_chars_ = 0;  // characters before the line holding pos_
};

}  // namespace vx::app

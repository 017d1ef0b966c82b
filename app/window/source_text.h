#pragma once

// The text of the source box, kept once as UTF-8 bytes: a gap buffer (edits
// near one another move no more than the bytes between them), a line index
// kept up to date edit by edit, and a sparse index of character and UTF-16
// counts that makes positions in characters quick on a line of many
// megabytes.
//
// A character is what the command line counts: every byte that is not a
// UTF-8 continuation byte starts one (so a malformed byte counts one, and
// continuation bytes belong to the character before them). It is shown as
// its code point when its bytes are well-formed UTF-8, else as U+FFFD; the
// text keeps the bytes. Continuation bytes at the very start of the text
// belong to no character; they are shown as one U+FFFD.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx::window {

class SourceText {
 public:
  SourceText();

  // The longest text kept (positions are kept in four bytes).
  static constexpr std::size_t kMaxSize = 0xFFFFFFFEu;

  // Replaces the whole text; takes the string's buffer as it is. Throws
  // std::length_error for a text longer than kMaxSize.
  void Assign(std::string text);
  // Replaces `removed` bytes at `at` by `inserted`. `at` and the removed
  // range are clamped to the text. Throws std::length_error (changing
  // nothing) when the text would grow beyond kMaxSize.
  void Replace(std::size_t at, std::size_t removed, std::string_view inserted);

  std::size_t size() const { return buf_.size() - gap_len_; }
  bool empty() const { return size() == 0; }
  unsigned char At(std::size_t i) const {
    return static_cast<unsigned char>(i < gap_ ? buf_[i] : buf_[i + gap_len_]);
  }
  // The whole text in one piece; stays valid until the next edit.
  const std::string& Flat();
  // Bytes [from, to) (clamped).
  std::string Copy(std::size_t from, std::size_t to) const;
  // Bytes [from, to) as at most two pieces, in order (clamped).
  struct Pieces {
    std::string_view first, second;
  };
  Pieces View(std::size_t from, std::size_t to) const;

  // Lines, 0-based. "\r\n", a lone "\r" and "\n" end a line.
  std::size_t LineCount() const { return starts_.size(); }
  std::size_t LineStart(std::size_t line) const {
    return static_cast<Offset>(starts_[line] + (line >= shift_from_ ? shift_by_ : 0));
  }
  // Where the line's own characters end (before its line break).
  std::size_t LineEnd(std::size_t line) const;
  // The line holding a byte; a byte of a line break belongs to the line it ends.
  std::size_t LineOf(std::size_t byte) const;
  // The longest line in bytes, its break not counted.
  std::size_t LongestLine() const;

  // Characters before a byte offset (at most size()).
  std::size_t CharsBefore(std::size_t byte) const;
  // Where character number `chars` (0-based) starts; size() past the last.
  std::size_t ByteOfChar(std::size_t chars) const;
  std::size_t CharCount() const { return CharsBefore(size()); }
  // UTF-16 units of the text as shown, before a byte offset, and back (a
  // unit inside a character gives the character's start).
  std::size_t UnitsBefore(std::size_t byte) const;
  std::size_t ByteOfUnit(std::size_t units) const;
  std::size_t UnitCount() const { return UnitsBefore(size()); }

  // Character boundaries: the start of the character holding `byte` (0 for
  // bytes of a leading run of continuation bytes), and the start of the next.
  std::size_t CharStart(std::size_t byte) const;
  std::size_t NextChar(std::size_t byte) const;
  // The code point of the character starting at `byte` as shown (U+FFFD when
  // malformed) and its length in bytes.
  struct Decoded {
    char32_t code = 0;
    std::size_t length = 0;
  };
  Decoded Decode(std::size_t byte) const;

  // Chunk size of the character index, in bytes.
  static constexpr std::size_t kChunk = 16 * 1024;

 private:
  void MoveGap(std::size_t to);
  void OpenGap(std::size_t need);
  void UpdateLines(std::size_t at, std::size_t removed, std::size_t inserted);
  void ApplyShiftUpTo(std::size_t end_index);
  bool IsBreakAt(std::size_t i) const;
  // Counts of [from, to) within one chunk's reach.
  struct Counts {
    std::size_t chars = 0;
    std::size_t units = 0;
  };
  Counts CountRange(std::size_t from, std::size_t to) const;
  void ExtendIndex(std::size_t chunks) const;

  std::string buf_;
  std::size_t gap_ = 0;
  std::size_t gap_len_ = 0;

  // Line starts, four bytes each (a flood of line ends costs four times the
  // page, not eight); those from index shift_from_ on are stored shift_by_
  // too low (added lazily, so that typing moves no later lines).
  using Offset = std::uint32_t;
  std::vector<Offset> starts_;
  std::size_t shift_from_ = 0;
  Offset shift_by_ = 0;  // modulo 2^32

  // index_[k]: counts of bytes [0, k * kChunk); the first valid_ are right.
  mutable std::vector<Counts> index_;
  mutable std::size_t valid_ = 1;
};

}  // namespace vx::window

#pragma once

// The rows the source box shows, laid out only where they are looked at.
//
// A line is laid out in segments of about kSegmentBytes: a segment is what
// one QTextLayout holds, and with wrapping on it wraps at the view's width
// into rows. A line longer than a segment is cut into several at points that
// depend only on the line's own bytes (after a space or a '>' near every
// kSegmentBytes, else at a grapheme boundary), so every segment can be laid
// out on its own and always gives the same rows: a wrapped row may end a
// little early there, as rows do at a space, and no character is added.
// With wrapping off each line is one row; of a long line only a window of
// bytes from the first column in view is laid out.

#include <QFont>
#include <QString>
#include <QTextLayout>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/window/source_text.h"

namespace vx::window {

class SourceRows {
 public:
  static constexpr std::size_t kSegmentBytes = 8 * 1024;
  // With wrapping off, the bytes of a long line laid out from the first
  // column in view.
  static constexpr std::size_t kWindowBytes = 4 * 1024;

  struct Segment {
    std::size_t line = 0;        // at the time it was laid out
    std::size_t line_begin = 0;  // the line's first byte
    std::size_t begin = 0;       // bytes [begin, end) of the text
    std::size_t end = 0;
    QString shown;                     // the bytes as shown
    std::vector<std::uint32_t> bytes;  // byte offset (from begin) of each unit, and of the end
    std::unique_ptr<QTextLayout> layout;

    int Rows() const { return layout->lineCount(); }
    // The unit at which a byte's character is shown (a byte inside a
    // character gives the character's unit).
    int UnitOf(std::size_t byte) const;
    std::size_t ByteOf(int unit) const { return begin + bytes[static_cast<std::size_t>(unit)]; }
    std::size_t RowStart(int row) const { return ByteOf(layout->lineAt(row).textStart()); }
    std::size_t RowEnd(int row) const;
    // The row a position is shown in: the row it starts, else the last row
    // that reaches it.
    int RowOf(std::size_t byte) const;
  };

  // A row: its segment's first byte and its number in that segment.
  struct Row {
    std::size_t segment = 0;
    int index = 0;
    bool operator==(const Row&) const = default;
  };

  explicit SourceRows(const SourceText& text) : text_(text) {}

  void SetFont(const QFont& font);
  void SetWidth(int pixels);
  void SetWrap(bool wrap);
  // With wrapping off: the first column (in characters) in view.
  void SetFirstColumn(std::size_t column);
  std::size_t FirstColumn() const { return first_column_; }
  // Colouring of the markup (tags, attributes, values, comments).
  void SetColours(bool colours);
  bool Wraps() const { return wrap_; }
  int RowHeight() const { return row_height_; }
  int Width() const { return width_; }

  // Forgets every layout.
  void Clear() { cache_.clear(); }
  // After the text replaced `removed` bytes at `at` by `inserted`: keeps the
  // layouts the edit cannot have changed.
  void Edited(std::size_t at, std::size_t removed, std::size_t inserted);

  // The segment holding a position (the end of a segment belongs to the next
  // one of its line; a byte of a line break to its line's last segment).
  Segment& SegmentAt(std::size_t byte);
  // Bounds of that segment without laying it out.
  std::pair<std::size_t, std::size_t> SegmentBounds(std::size_t byte) const;

  // The row a position is shown in; `upstream` prefers the end of the row
  // before when the position is where a wrapped row ends.
  Row RowOf(std::size_t byte, bool upstream = false);
  std::optional<Row> Next(const Row& row);
  std::optional<Row> Previous(const Row& row);
  std::size_t Start(const Row& row) { return Seg(row).RowStart(row.index); }
  std::size_t End(const Row& row) { return Seg(row).RowEnd(row.index); }
  Segment& Seg(const Row& row) { return SegmentAt(row.segment); }
  // Whether the row is the last of its line.
  bool EndsLine(const Row& row);

  // Laid-out segments kept (for tests).
  std::size_t CachedSegments() const { return cache_.size(); }

 private:
  std::size_t SyncPoint(std::size_t line_begin, std::size_t line_end, std::size_t k) const;
  std::size_t WindowStart(std::size_t line) const;
  std::unique_ptr<Segment> Lay(std::size_t line, std::size_t begin, std::size_t end) const;

  const SourceText& text_;
  QFont font_;
  int width_ = 100;
  int row_height_ = 13;
  bool wrap_ = true;
  bool colours_ = false;
  std::size_t first_column_ = 0;
  // Most recently used last.
  std::vector<std::unique_ptr<Segment>> cache_;
};

// The bytes [begin, end) of a text as shown: U+FFFD for malformed
// characters, control characters as their pictures (a tab stays a tab), line
// and paragraph separators as a newline picture, so that the layout never
// breaks a row on its own; `bytes` gets each unit's byte offset from begin,
// and the end's.
QString ShownText(const SourceText& text, std::size_t begin, std::size_t end,
                  std::vector<std::uint32_t>* bytes);

// The characters [begin, end) exactly (U+FFFD only for malformed bytes): what
// copying and assistive technology get.
QString ExactText(const SourceText& text, std::size_t begin, std::size_t end);

// Grapheme cluster boundaries around a position, found on a small window of
// the text around it.
std::size_t NextGrapheme(const SourceText& text, std::size_t byte);
std::size_t PreviousGrapheme(const SourceText& text, std::size_t byte);

}  // namespace vx::window

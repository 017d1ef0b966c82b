#include "app/window/source_rows.h"

#include <QColor>
#include <QFontMetricsF>
#include <QTextBoundaryFinder>
#include <QTextCharFormat>
#include <QTextOption>
#include <algorithm>

#include "app/window/markup_colours.h"

namespace vx::window {
namespace {

// Layouts kept: enough for the rows in view, those at the end (for the scroll
// bar's range) and some to come back to, within a bound of text (a layout
// costs some fifty bytes a character).
constexpr std::size_t kMaxCached = 64;
constexpr std::size_t kMaxCachedBytes = 256 * 1024;
// How far past a segment's nominal start a natural break is looked for.
constexpr std::size_t kSyncReach = 256;
// Characters looked at on each side when finding a grapheme boundary.
constexpr int kGraphemeWindow = 32;

void Append(QString& out, char32_t code) {
  if (code >= 0x10000) {
    out.append(QChar(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10))));
    out.append(QChar(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF))));
  } else {
    out.append(QChar(static_cast<char16_t>(code)));
  }
}

char32_t Shown(char32_t code) {
  if (code == '\t') return code;
  if (code < 0x20) return 0x2400 + code;  // the control pictures
  if (code == 0x7F) return 0x2421;
  if (code == 0x2028 || code == 0x2029) return 0x2424;  // the newline picture
  return code;
}

// Characters [begin, end) as a QString with each unit's byte offset.
QString Decoded(const SourceText& text, std::size_t begin, std::size_t end, bool shown,
                std::vector<std::uint32_t>* bytes) {
  QString out;
  out.reserve(static_cast<qsizetype>(end - begin));
  if (bytes) {
    bytes->clear();
    bytes->reserve(end - begin + 1);
  }
  for (std::size_t i = begin; i < end;) {
    const SourceText::Decoded d = text.Decode(i);
    const char32_t code = shown ? Shown(d.code) : d.code;
    Append(out, code);
    if (bytes) {
      bytes->push_back(static_cast<std::uint32_t>(i - begin));
      if (code >= 0x10000) bytes->push_back(static_cast<std::uint32_t>(i - begin));
    }
    i += std::max<std::size_t>(d.length, 1);
  }
  if (bytes) bytes->push_back(static_cast<std::uint32_t>(end - begin));
  return out;
}

// The first grapheme boundary at or after `byte` (a character start), no
// further than `limit`.
std::size_t GraphemeAtOrAfter(const SourceText& text, std::size_t byte, std::size_t limit) {
  std::size_t from = byte;
  for (int i = 0; i < kGraphemeWindow && from > 0; ++i) from = text.CharStart(from - 1);
  std::size_t to = byte;
  for (int i = 0; i < kGraphemeWindow && to < limit; ++i) to = text.NextChar(to);
  to = std::min(to, limit);
  std::vector<std::uint32_t> bytes;
  const QString s = Decoded(text, from, to, false, &bytes);
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
  const auto at = std::lower_bound(bytes.begin(), bytes.end(), byte - from) - bytes.begin();
  finder.setPosition(static_cast<qsizetype>(at));
  if (finder.isAtBoundary()) return byte;
  const qsizetype next = finder.toNextBoundary();
  if (next < 0) return to;
  return from + bytes[static_cast<std::size_t>(next)];
}

}  // namespace

QString ShownText(const SourceText& text, std::size_t begin, std::size_t end,
                  std::vector<std::uint32_t>* bytes) {
  return Decoded(text, begin, end, true, bytes);
}

QString ExactText(const SourceText& text, std::size_t begin, std::size_t end) {
  return Decoded(text, begin, end, false, nullptr);
}

std::size_t NextGrapheme(const SourceText& text, std::size_t byte) {
  const std::size_t n = text.size();
  if (byte >= n) return n;
  if (text.At(byte) == '\r' && byte + 1 < n && text.At(byte + 1) == '\n') return byte + 2;
  std::size_t to = byte;
  for (int i = 0; i < kGraphemeWindow && to < n; ++i) to = text.NextChar(to);
  std::vector<std::uint32_t> bytes;
  const QString s = Decoded(text, byte, to, false, &bytes);
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
  finder.setPosition(0);
  const qsizetype next = finder.toNextBoundary();
  if (next <= 0) return text.NextChar(byte);
  return byte + bytes[static_cast<std::size_t>(next)];
}

std::size_t PreviousGrapheme(const SourceText& text, std::size_t byte) {
  byte = std::min(byte, text.size());
  if (byte == 0) return 0;
  if (byte >= 2 && text.At(byte - 1) == '\n' && text.At(byte - 2) == '\r') return byte - 2;
  std::size_t from = byte;
  for (int i = 0; i < kGraphemeWindow && from > 0; ++i) from = text.CharStart(from - 1);
  std::vector<std::uint32_t> bytes;
  const QString s = Decoded(text, from, byte, false, &bytes);
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
  finder.setPosition(s.size());
  const qsizetype previous = finder.toPreviousBoundary();
  if (previous < 0) return text.CharStart(byte - 1);
  return from + bytes[static_cast<std::size_t>(previous)];
}

int SourceRows::Segment::UnitOf(std::size_t byte) const {
  const std::size_t rel = std::min(byte, end) - std::min(byte, begin);
  auto it = std::upper_bound(bytes.begin(), bytes.end(), static_cast<std::uint32_t>(rel));
  auto unit = static_cast<int>(it - bytes.begin()) - 1;
  // The first unit of a pair.
  while (unit > 0 &&
         bytes[static_cast<std::size_t>(unit - 1)] == bytes[static_cast<std::size_t>(unit)]) {
    --unit;
  }
  return std::max(unit, 0);
}

std::size_t SourceRows::Segment::RowEnd(int row) const {
  return row + 1 < Rows() ? RowStart(row + 1) : end;
}

int SourceRows::Segment::RowOf(std::size_t byte) const {
  const int unit = UnitOf(byte);
  int lo = 0, hi = Rows();
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    if (layout->lineAt(mid).textStart() <= unit) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return lo;
}

void SourceRows::SetFont(const QFont& font) {
  if (font == font_) return;
  font_ = font;
  const QFontMetrics metrics(font);
  row_height_ = std::max({1, metrics.height(), metrics.lineSpacing()});
  Clear();
}

void SourceRows::SetWidth(int pixels) {
  pixels = std::max(pixels, 1);
  if (pixels == width_) return;
  width_ = pixels;
  if (wrap_) Clear();
}

void SourceRows::SetWrap(bool wrap) {
  if (wrap == wrap_) return;
  wrap_ = wrap;
  Clear();
}

void SourceRows::SetFirstColumn(std::size_t column) {
  if (column == first_column_) return;
  first_column_ = column;
  if (!wrap_) Clear();
}

void SourceRows::SetColours(bool colours) {
  if (colours == colours_) return;
  colours_ = colours;
  Clear();
}

void SourceRows::Edited(std::size_t at, std::size_t removed, std::size_t inserted) {
  const std::size_t delta = inserted - removed;  // modulo 2^64
  // A segment's bounds depend on its bytes and on a few hundred after its
  // nominal end; its colours on some thousands before it.
  const std::size_t reach = 2 * kSyncReach;
  const std::size_t behind = colours_ ? kMarkupLookBack : 0;
  std::erase_if(cache_, [&](std::unique_ptr<Segment>& s) {
    if (s->end + reach <= at) return false;  // before the edit: unchanged
    if (s->line_begin > at + removed && s->begin > at + removed + behind) {
      // A later line: the same, further on.
      s->line_begin += delta;
      s->begin += delta;
      s->end += delta;
      s->line = text_.LineOf(s->begin);
      return false;
    }
    return true;
  });
}

std::size_t SourceRows::SyncPoint(std::size_t line_begin, std::size_t line_end,
                                  std::size_t k) const {
  const std::size_t nominal = line_begin + k * kSegmentBytes;
  if (nominal >= line_end) return line_end;
  // Just after a space or a tag's end: a place where a row may end anyway.
  const std::size_t reach = std::min(line_end, nominal + kSyncReach);
  for (std::size_t p = std::max(nominal, line_begin + 1); p < reach; ++p) {
    const unsigned char before = text_.At(p - 1);
    if ((before == ' ' || before == '>' || before == '\t') && (text_.At(p) & 0xC0) != 0x80) {
      return p;
    }
  }
  std::size_t p = nominal;
  while (p < line_end && (text_.At(p) & 0xC0) == 0x80) ++p;
  return GraphemeAtOrAfter(text_, p, line_end);
}

std::size_t SourceRows::WindowStart(std::size_t line) const {
  const std::size_t begin = text_.LineStart(line);
  const std::size_t end = text_.LineEnd(line);
  if (first_column_ == 0) return begin;
  const std::size_t at = std::min(text_.ByteOfChar(text_.CharsBefore(begin) + first_column_), end);
  if (at == end || at == begin) return at;
  return GraphemeAtOrAfter(text_, at, end);
}

std::pair<std::size_t, std::size_t> SourceRows::SegmentBounds(std::size_t byte) const {
  byte = std::min(byte, text_.size());
  const std::size_t line = text_.LineOf(byte);
  const std::size_t lb = text_.LineStart(line);
  const std::size_t le = text_.LineEnd(line);
  if (!wrap_) {
    const std::size_t begin = WindowStart(line);
    std::size_t end = std::min(le, begin + kWindowBytes);
    if (end < le) end = text_.CharStart(end);
    return {begin, end};
  }
  if (le - lb <= kSegmentBytes) return {lb, le};
  const std::size_t b = std::min(byte, le);
  std::size_t k = (b - lb) / kSegmentBytes;
  if (k >= 1) {
    const std::size_t s = SyncPoint(lb, le, k);
    if (s >= le || b < s) --k;
  }
  const std::size_t begin = k == 0 ? lb : SyncPoint(lb, le, k);
  return {begin, SyncPoint(lb, le, k + 1)};
}

std::unique_ptr<SourceRows::Segment> SourceRows::Lay(std::size_t line, std::size_t begin,
                                                     std::size_t end) const {
  auto s = std::make_unique<Segment>();
  s->line = line;
  s->line_begin = text_.LineStart(line);
  s->begin = begin;
  s->end = end;
  s->shown = ShownText(text_, begin, end, &s->bytes);
  s->layout = std::make_unique<QTextLayout>(s->shown, font_);
  QTextOption option;
  option.setWrapMode(wrap_ ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
  // Tab stops every eight average characters, as in a classic text box.
  option.setTabStopDistance(QFontMetricsF(font_).averageCharWidth() * 8);
  s->layout->setTextOption(option);
  s->layout->setCacheEnabled(true);
  if (colours_) {
    QList<QTextLayout::FormatRange> formats;
    for (const MarkupSpan& span : MarkupSpans(text_, begin, end)) {
      QTextLayout::FormatRange range;
      range.start = s->UnitOf(span.begin);
      range.length = s->UnitOf(span.end) - range.start;
      switch (span.kind) {
        case MarkupKind::Tag:
          range.format.setForeground(QColor(0x88, 0x12, 0x80));
          break;
        case MarkupKind::AttributeName:
          range.format.setForeground(QColor(0x99, 0x45, 0x00));
          break;
        case MarkupKind::AttributeValue:
          range.format.setForeground(QColor(0x1A, 0x1A, 0xA6));
          break;
        case MarkupKind::Comment:
          range.format.setForeground(QColor(0x23, 0x6E, 0x25));
          break;
      }
      if (range.length > 0) formats.push_back(range);
    }
    s->layout->setFormats(formats);
  }
  s->layout->beginLayout();
  int y = 0;
  for (;;) {
    QTextLine row = s->layout->createLine();
    if (!row.isValid()) break;
    if (wrap_) row.setLineWidth(width_);
    row.setPosition(QPointF(0, y));
    y += row_height_;
  }
  s->layout->endLayout();
  return s;
}

SourceRows::Segment& SourceRows::SegmentAt(std::size_t byte) {
  const auto [begin, end] = SegmentBounds(byte);
  for (auto it = cache_.begin(); it != cache_.end(); ++it) {
    if ((*it)->begin == begin && (*it)->end == end) {
      if (it + 1 != cache_.end()) std::rotate(it, it + 1, cache_.end());
      return *cache_.back();
    }
  }
  cache_.push_back(Lay(text_.LineOf(begin), begin, end));
  std::size_t bytes = 0;
  for (const auto& s : cache_) bytes += s->end - s->begin;
  std::size_t drop = 0;
  while (cache_.size() - drop > 1 &&
         (cache_.size() - drop > kMaxCached || bytes > kMaxCachedBytes)) {
    bytes -= cache_[drop]->end - cache_[drop]->begin;
    ++drop;
  }
  cache_.erase(cache_.begin(), cache_.begin() + static_cast<std::ptrdiff_t>(drop));
  return *cache_.back();
}

SourceRows::Row SourceRows::RowOf(std::size_t byte, bool upstream) {
  byte = std::min(byte, text_.size());
  Segment& s = SegmentAt(byte);
  if (upstream && byte == s.begin && s.begin != s.line_begin && s.begin > 0) {
    // The end of the row before, in the segment before.
    Segment& before = SegmentAt(byte - 1);
    return {before.begin, before.Rows() - 1};
  }
  int index = s.RowOf(byte);
  if (upstream && index > 0 && s.RowStart(index) == byte) --index;
  return {s.begin, index};
}

std::optional<SourceRows::Row> SourceRows::Next(const Row& row) {
  Segment& s = Seg(row);
  if (row.index + 1 < s.Rows()) return Row{s.begin, row.index + 1};
  const std::size_t line = text_.LineOf(s.begin);
  if (wrap_ && s.end < text_.LineEnd(line)) return Row{SegmentAt(s.end).begin, 0};
  if (line + 1 >= text_.LineCount()) return std::nullopt;
  return Row{SegmentAt(text_.LineStart(line + 1)).begin, 0};
}

std::optional<SourceRows::Row> SourceRows::Previous(const Row& row) {
  if (row.index > 0) return Row{row.segment, row.index - 1};
  Segment& s = Seg(row);
  if (wrap_ && s.begin > s.line_begin) {
    Segment& before = SegmentAt(s.begin - 1);
    return Row{before.begin, before.Rows() - 1};
  }
  const std::size_t line = text_.LineOf(s.begin);
  if (line == 0) return std::nullopt;
  Segment& before = SegmentAt(text_.LineEnd(line - 1));
  return Row{before.begin, before.Rows() - 1};
}

bool SourceRows::EndsLine(const Row& row) {
  Segment& s = Seg(row);
  return row.index + 1 == s.Rows() && s.end == text_.LineEnd(text_.LineOf(s.begin));
}

}  // namespace vx::window

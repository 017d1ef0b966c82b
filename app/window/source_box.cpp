#include "app/window/source_box.h"

#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>

#include "app/text_position.h"
#include "platform/fetch/fetch.h"

namespace vx::window {
namespace {

// Block state of a block that continues the line of the one before it.
constexpr int kSoftBreak = 1;
// On large pages a line end starts a new block once the block is this long.
constexpr int kBatchTarget = SourceBox::kMaxBlock / 2;

// Steps over one character of valid UTF-8 text, counting the UTF-16 units it
// takes in the document ("\r\n" is one line end there).
inline void Step(const unsigned char* t, std::size_t n, std::size_t& i, int& units) {
  const unsigned char c = t[i];
  if (c == '\r' && i + 1 < n && t[i + 1] == '\n') {
    i += 2;
    units += 1;
  } else if (c < 0x80) {
    i += 1;
    units += 1;
  } else if (c < 0xE0) {
    i += 2;
    units += 1;
  } else if (c < 0xF0) {
    i += 3;
    units += 1;
  } else {
    i += 4;
    units += 2;
  }
  i = std::min(i, n);
}

}  // namespace

SourceBox::SourceBox(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // As in any text box of the form, Tab moves on to the next control.
  setTabChangesFocus(true);
  connect(document(), &QTextDocument::contentsChange, this, [this] { OnContentsChange(); });
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this] { UpdateVisibleHighlights(); });
}

const std::string& SourceBox::Text() const {
  if (dirty_) Rebuild();
  return text_;
}

void SourceBox::SetText(std::string text) {
  // A text box holds characters: bytes that are no UTF-8 become U+FFFD.
  if (!net::is_valid_utf8(text))
    text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString();
  text_ = std::move(text);
  batched_ = text_.size() > kBatchAbove;

  const auto* t = reinterpret_cast<const unsigned char*>(text_.data());
  const std::size_t n = text_.size();
  block_bytes_.assign(1, 0);
  std::vector<int> soft;
  QString shown;
  shown.resize(static_cast<qsizetype>(n + n / kMaxBlock + 1));
  auto* out = reinterpret_cast<char16_t*>(shown.data());
  std::size_t o = 0;
  int block_len = 0;
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = t[i];
    const bool para = c == 0xE2 && i + 2 < n && t[i + 1] == 0x80 && t[i + 2] == 0xA9;
    if (c == '\r' || c == '\n' || para) {
      i += (c == '\r' && i + 1 < n && t[i + 1] == '\n') ? 2 : (para ? 3 : 1);
      if (batched_ && block_len < kBatchTarget) {
        out[o++] = u'\u2028';
        ++block_len;
      } else {
        out[o++] = u'\n';
        block_bytes_.push_back(i);
        block_len = 0;
      }
      continue;
    }
    if (block_len >= kMaxBlock) {
      out[o++] = u'\n';
      block_bytes_.push_back(i);
      soft.push_back(static_cast<int>(block_bytes_.size() - 1));
      block_len = 0;
    }
    if (c < 0x80) {
      out[o++] = c;
      i += 1;
      block_len += 1;
    } else if (c < 0xE0) {
      out[o++] = static_cast<char16_t>(((c & 0x1F) << 6) | (t[i + 1] & 0x3F));
      i += 2;
      block_len += 1;
    } else if (c < 0xF0) {
      auto u =
          static_cast<char16_t>(((c & 0x0F) << 12) | ((t[i + 1] & 0x3F) << 6) | (t[i + 2] & 0x3F));
      // The editor takes these two for frame marks: it would drop them and
      // start a block at each, and the map to the text would slip. They are
      // shown as U+FFFD; the text keeps them.
      if (u == 0xFDD0 || u == 0xFDD1) u = 0xFFFD;
      out[o++] = u;
      i += 3;
      block_len += 1;
    } else {
      const char32_t cp = (static_cast<char32_t>(c & 0x07) << 18) |
                          (static_cast<char32_t>(t[i + 1] & 0x3F) << 12) |
                          (static_cast<char32_t>(t[i + 2] & 0x3F) << 6) | (t[i + 3] & 0x3F);
      out[o++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out[o++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      i += 4;
      block_len += 2;
    }
  }
  shown.truncate(static_cast<qsizetype>(o));

  setting_ = true;
  highlights_.clear();
  shown_range_ = {-1, -1};
  setExtraSelections({});
  setPlainText(shown);
  for (int b : soft) document()->findBlockByNumber(b).setUserState(kSoftBreak);
  setting_ = false;
  dirty_ = false;
  ++revision_;
}

void SourceBox::OnContentsChange() {
  if (setting_) return;
  dirty_ = true;
  ++revision_;
  // The highlighted places belonged to the text as it was.
  if (!highlights_.empty()) ClearHighlight();
}

void SourceBox::Rebuild() const {
  std::string out;
  out.reserve(text_.size() + 64);
  block_bytes_.clear();
  const QTextDocument* doc = document();
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    if (b != doc->begin() && b.userState() != kSoftBreak) out += '\n';
    block_bytes_.push_back(out.size());
    QString s = b.text();
    if (batched_) s.replace(QChar::LineSeparator, u'\n');
    out += s.toStdString();
  }
  text_ = std::move(out);
  dirty_ = false;
}

std::vector<int> SourceBox::DocPositions(const std::vector<std::size_t>& sorted_bytes) const {
  if (dirty_) Rebuild();
  std::vector<int> out;
  out.reserve(sorted_bytes.size());
  const auto* t = reinterpret_cast<const unsigned char*>(text_.data());
  const std::size_t n = text_.size();
  std::size_t block = static_cast<std::size_t>(-1);
  int block_pos = 0;
  std::size_t at = 0;
  int units = 0;
  for (std::size_t target : sorted_bytes) {
    target = std::min(target, n);
    std::size_t b = block == static_cast<std::size_t>(-1) ? 0 : block;
    while (b + 1 < block_bytes_.size() && block_bytes_[b + 1] <= target) ++b;
    if (b != block) {
      block = b;
      block_pos = document()->findBlockByNumber(static_cast<int>(b)).position();
      at = block_bytes_[b];
      units = 0;
    }
    while (at < target) Step(t, n, at, units);
    out.push_back(block_pos + units);
  }
  return out;
}

int SourceBox::DocPosition(std::size_t byte) const {
  return DocPositions({byte}).front();
}

std::size_t SourceBox::ByteAt(int doc_position) const {
  if (dirty_) Rebuild();
  const QTextBlock block = document()->findBlock(std::max(0, doc_position));
  if (!block.isValid()) return text_.size();
  const auto number = static_cast<std::size_t>(block.blockNumber());
  if (number >= block_bytes_.size()) return text_.size();
  const auto* t = reinterpret_cast<const unsigned char*>(text_.data());
  const std::size_t n = text_.size();
  std::size_t at = block_bytes_[number];
  int units = 0;
  const int want = doc_position - block.position();
  while (units < want && at < n) Step(t, n, at, units);
  return at;
}

void SourceBox::SetSelStart(std::size_t chars) {
  const std::size_t byte = app::ByteOffsetOfChar(Text(), chars);
  QTextCursor c(document());
  c.setPosition(DocPosition(byte));
  setTextCursor(c);
}

void SourceBox::SetSelLength(std::size_t chars) {
  const std::string& text = Text();
  const int start = textCursor().selectionStart();
  const std::size_t start_byte = ByteAt(start);
  const std::size_t end_byte =
      start_byte + app::ByteOffsetOfChar(std::string_view(text).substr(start_byte), chars);
  QTextCursor c(document());
  c.setPosition(start);
  c.setPosition(DocPosition(end_byte), QTextCursor::KeepAnchor);
  setTextCursor(c);
}

std::pair<std::size_t, std::size_t> SourceBox::SelectedBytes() const {
  const QTextCursor c = textCursor();
  return {ByteAt(c.selectionStart()), ByteAt(c.selectionEnd())};
}

std::string SourceBox::SelText() const {
  const auto [from, to] = SelectedBytes();
  return Text().substr(from, to - from);
}

QMimeData* SourceBox::createMimeDataFromSelection() const {
  const std::string text = SelText();
  auto* data = new QMimeData;
  data->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  return data;
}

void SourceBox::Highlight(const std::vector<std::pair<std::size_t, std::size_t>>& byte_ranges) {
  ClearHighlight();
  if (byte_ranges.empty()) return;
  std::vector<std::size_t> ends;
  ends.reserve(byte_ranges.size() * 2);
  for (const auto& [offset, length] : byte_ranges) {
    ends.push_back(offset);
    ends.push_back(offset + length);
  }
  std::sort(ends.begin(), ends.end());
  ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
  const std::vector<int> positions = DocPositions(ends);
  auto position_of = [&](std::size_t byte) {
    return positions[static_cast<std::size_t>(std::lower_bound(ends.begin(), ends.end(), byte) -
                                              ends.begin())];
  };
  highlights_.reserve(byte_ranges.size());
  for (const auto& [offset, length] : byte_ranges) {
    highlights_.emplace_back(position_of(offset), position_of(offset + length));
  }
  std::sort(highlights_.begin(), highlights_.end());

  // Scroll the first into view, then put the caret and selection back where
  // they were, keeping the new scroll position.
  const QTextCursor keep = textCursor();
  QTextCursor first(document());
  first.setPosition(highlights_.front().first);
  setTextCursor(first);
  centerCursor();
  const int v = verticalScrollBar()->value();
  const int h = horizontalScrollBar()->value();
  setTextCursor(keep);
  verticalScrollBar()->setValue(v);
  horizontalScrollBar()->setValue(h);
  UpdateVisibleHighlights();
}

void SourceBox::ClearHighlight() {
  highlights_.clear();
  if (shown_range_.first >= 0 || !extraSelections().isEmpty()) setExtraSelections({});
  shown_range_ = {-1, -1};
}

void SourceBox::UpdateVisibleHighlights() {
  if (highlights_.empty()) return;
  QTextBlock first = firstVisibleBlock();
  if (!first.isValid()) return;
  QTextBlock last = first;
  const QPointF offset = contentOffset();
  const int bottom = viewport()->height();
  for (QTextBlock b = first; b.isValid(); b = b.next()) {
    if (blockBoundingGeometry(b).translated(offset).top() > bottom) break;
    last = b;
  }
  const std::pair<int, int> range{first.position(), last.position() + last.length()};
  if (range == shown_range_) return;
  shown_range_ = range;

  QTextCharFormat mark;
  mark.setBackground(QColor(255, 214, 92));
  mark.setForeground(QColor(0, 0, 0));
  QList<QTextEdit::ExtraSelection> selections;
  auto it =
      std::lower_bound(highlights_.begin(), highlights_.end(), std::pair<int, int>{range.first, -1},
                       [](const auto& a, const auto& b) { return a.second < b.first; });
  for (; it != highlights_.end() && it->first < range.second; ++it) {
    QTextEdit::ExtraSelection s;
    s.cursor = QTextCursor(document());
    s.cursor.setPosition(it->first);
    s.cursor.setPosition(it->second, QTextCursor::KeepAnchor);
    s.format = mark;
    selections.push_back(s);
  }
  setExtraSelections(selections);
}

void SourceBox::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  shown_range_ = {-1, -1};
  UpdateVisibleHighlights();
}

}  // namespace vx::window

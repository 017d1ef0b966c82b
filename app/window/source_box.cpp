#include "app/window/source_box.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>
#include <QStyleHints>
#include <QTextLine>
#include <algorithm>
#include <limits>

#include "app/window/source_accessible.h"
#include "app/window/source_bars.h"
#include "app/window/source_search.h"

namespace vx::window {
namespace {

// The background of the places a finding's rule matched.
const QColor kHighlight(255, 214, 92);
// Offsets of the stored matches of the find bar, at most.
constexpr std::size_t kKeptMatches = 100000;

enum class CharClass { Space, Break, Word, Other };

CharClass ClassOf(char32_t code) {
  if (code == '\n' || code == '\r') return CharClass::Break;
  if (code == ' ' || code == '\t' || code == 0xA0 || code == 0x3000) return CharClass::Space;
  if (IsWordCharacter(code)) return CharClass::Word;
  return CharClass::Other;
}

QString ToQ(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

bool Printable(const QString& text) {
  if (text.isEmpty()) return false;
  for (const QChar c : text) {
    if (c.category() == QChar::Other_Control) return false;
  }
  return true;
}

}  // namespace

// The application's settings; a program that named no organisation keeps
// them under Vettrix's name.
std::unique_ptr<QSettings> AppSettings() {
  const QString organisation = QCoreApplication::organizationName().isEmpty()
                                   ? QStringLiteral("Vettrix")
                                   : QCoreApplication::organizationName();
  const QString application = QCoreApplication::applicationName().isEmpty()
                                  ? QStringLiteral("Vettrix")
                                  : QCoreApplication::applicationName();
  return std::make_unique<QSettings>(organisation, application);
}

// What the find bar last counted.
struct SourceBoxFindState {
  SearchQuery query;
  std::uint64_t revision = ~std::uint64_t{0};
  std::size_t total = 0;
  std::vector<std::size_t> offsets;
};

SourceBox::SourceBox(QWidget* parent) : QAbstractScrollArea(parent), rows_(text_) {
  InstallSourceBoxAccessibility();
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setAttribute(Qt::WA_KeyCompression, false);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  const auto settings = AppSettings();
  const bool wrap = settings->value(QString::fromLatin1(kWrapKey), true).toBool();
  colours_ = settings->value(QString::fromLatin1(kColourKey), false).toBool();
  rows_.SetWrap(wrap);
  rows_.SetColours(colours_);
  rows_.SetFont(font());
  setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);

  find_bar_ = new FindBar(this);
  go_to_bar_ = new GoToLineBar(this);
  position_label_ = new QLabel(this);
  position_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  position_label_->setContentsMargins(0, 0, 4, 0);
  position_label_->setAccessibleName(QStringLiteral("Line and column"));
  position_label_->setFocusPolicy(Qt::NoFocus);

  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &SourceBox::OnScrollAction);
  connect(find_bar_, &FindBar::queryChanged, this, [this] {
    // Typing in the field finds as it goes, from where the selection starts.
    const auto [from, to] = SelectedBytes();
    (void)to;
    const std::string& text = Text();
    const TextSearch search(find_bar_->query());
    SearchMatch m = search.Next(text, from);
    if (!m.found()) m = search.Next(text, 0);
    if (m.found()) Select(m.offset, m.offset + m.length);
    UpdateFindCount();
  });
  connect(find_bar_, &FindBar::nextRequested, this, [this](bool backward) { findNext(backward); });
  connect(find_bar_, &FindBar::closeRequested, this, [this] {
    find_bar_->hide();
    LayoutChrome();
    setFocus();
  });
  connect(go_to_bar_, &GoToLineBar::goRequested, this,
          [this](std::size_t line, std::size_t column) {
            go_to_bar_->hide();
            LayoutChrome();
            GoToLine(line, column);
            setFocus();
          });
  connect(go_to_bar_, &GoToLineBar::closeRequested, this, [this] {
    go_to_bar_->hide();
    LayoutChrome();
    setFocus();
  });
  LayoutChrome();
  UpdatePositionLabel();
}

SourceBox::~SourceBox() = default;

// ---- The text -------------------------------------------------------------

const std::string& SourceBox::Text() const {
  return text_.Flat();
}

void SourceBox::SetText(std::string text) {
  const bool tell = QAccessible::isActive();
  const QString old = tell ? ExactText(text_, 0, text_.size()) : QString();
  text_.Assign(std::move(text));
  rows_.Clear();
  bottom_top_.reset();
  ++revision_;
  anchor_ = caret_ = 0;
  upstream_ = false;
  desired_x_ = -1;
  top_ = 0;
  merge_ok_ = false;
  highlights_.clear();
  reading_.reset();
  undo_.clear();
  redo_.clear();
  longest_line_ = wrapsLines() ? 0 : text_.LongestLine();
  if (tell) {
    QAccessibleTextUpdateEvent update(this, 0, old, ExactText(text_, 0, text_.size()));
    QAccessible::updateAccessibility(&update);
  }
  UpdateScrollBars();
  SetTop(0);
  UpdatePositionLabel();
  if (find_bar_->isVisible()) UpdateFindCount();
  viewport()->update();
}

void SourceBox::SetSelStart(std::size_t chars) {
  const std::size_t at = text_.ByteOfChar(chars);
  SetSelectionBytes(at, at);
  upstream_ = false;
  AfterCaretMove();
}

void SourceBox::SetSelLength(std::size_t chars) {
  const std::size_t begin = std::min(anchor_, caret_);
  const std::size_t first = text_.CharsBefore(begin);
  const std::size_t last =
      chars > std::numeric_limits<std::size_t>::max() - first ? text_.CharCount() : first + chars;
  SetSelectionBytes(begin, text_.ByteOfChar(last));
  upstream_ = false;
  AfterCaretMove();
}

std::string SourceBox::SelText() const {
  const auto [from, to] = SelectedBytes();
  return text_.Copy(from, to);
}

std::pair<std::size_t, std::size_t> SourceBox::SelectedBytes() const {
  return {std::min(anchor_, caret_), std::max(anchor_, caret_)};
}

void SourceBox::Select(std::size_t anchor, std::size_t caret) {
  SetSelectionBytes(text_.CharStart(anchor), text_.CharStart(caret));
  upstream_ = false;
  desired_x_ = -1;
  AfterCaretMove();
}

void SourceBox::SetSelectionBytes(std::size_t anchor, std::size_t caret) {
  anchor = std::min(anchor, text_.size());
  caret = std::min(caret, text_.size());
  const bool changed = anchor != anchor_ || caret != caret_;
  anchor_ = anchor;
  caret_ = caret;
  merge_ok_ = false;
  if (changed) {
    emit selectionChanged();
    if (QAccessible::isActive()) {
      const auto [from, to] = SelectedBytes();
      QAccessibleTextSelectionEvent event(this, static_cast<int>(text_.UnitsBefore(from)),
                                          static_cast<int>(text_.UnitsBefore(to)));
      event.setCursorPosition(static_cast<int>(text_.UnitsBefore(caret_)));
      QAccessible::updateAccessibility(&event);
    }
  }
}

void SourceBox::Replace(std::size_t at, std::size_t removed, std::string_view inserted,
                        Edit::Kind kind, bool record) {
  at = std::min(at, text_.size());
  removed = std::min(removed, text_.size() - at);
  if (removed == 0 && inserted.empty()) return;
  // Beyond what the box can hold the edit is not made, as a full text box
  // takes no more characters.
  if (inserted.size() > SourceText::kMaxSize - (text_.size() - removed)) return;
  std::string removed_text = text_.Copy(at, at + removed);
  const bool tell = QAccessible::isActive();
  const int unit_at = tell ? static_cast<int>(text_.UnitsBefore(at)) : 0;
  if (record) {
    redo_.clear();
    Edit* last = undo_.empty() || !merge_ok_ ? nullptr : &undo_.back();
    if (last != nullptr && kind == Edit::Typing && last->kind == Edit::Typing && removed == 0 &&
        last->at + last->inserted.size() == at) {
      last->inserted.append(inserted);
    } else if (last != nullptr && kind == Edit::Deleting && last->kind == Edit::Deleting &&
               inserted.empty() && last->inserted.empty() && at + removed == last->at) {
      last->removed.insert(0, removed_text);  // Backspace, again
      last->at = at;
    } else if (last != nullptr && kind == Edit::Deleting && last->kind == Edit::Deleting &&
               inserted.empty() && last->inserted.empty() && at == last->at) {
      last->removed.append(removed_text);  // Delete, again
    } else {
      undo_.push_back(Edit{at, removed_text, std::string(inserted), anchor_, caret_, kind});
    }
  }
  if (tell && removed != 0) {
    QAccessibleTextRemoveEvent event(this, unit_at, ToQ(removed_text));
    QAccessible::updateAccessibility(&event);
  }
  text_.Replace(at, removed, inserted);
  rows_.Edited(at, removed, inserted.size());
  ++revision_;
  bottom_top_.reset();
  if (!highlights_.empty()) highlights_.clear();
  reading_.reset();
  auto moved = [&](std::size_t p) {
    if (p <= at) return p;
    if (p >= at + removed) return p - removed + inserted.size();
    return at;
  };
  anchor_ = moved(anchor_);
  caret_ = moved(caret_);
  top_ = moved(top_);
  if (!wrapsLines()) {
    const std::size_t line = text_.LineOf(at);
    const std::size_t last = text_.LineOf(at + inserted.size());
    for (std::size_t l = line; l <= last; ++l) {
      longest_line_ = std::max(longest_line_, text_.LineEnd(l) - text_.LineStart(l));
    }
  }
  if (tell && !inserted.empty()) {
    QAccessibleTextInsertEvent event(this, unit_at, ToQ(inserted));
    QAccessible::updateAccessibility(&event);
  }
  merge_ok_ = record && (kind == Edit::Typing || kind == Edit::Deleting);
  emit textEdited();
}

void SourceBox::ReplaceSelection(const std::string& text, Edit::Kind kind) {
  const auto [from, to] = SelectedBytes();
  Replace(from, to - from, text, kind);
  anchor_ = caret_ = from + text.size();
  upstream_ = false;
  desired_x_ = -1;
  AfterEdit();
}

void SourceBox::AfterEdit() {
  SetTop(top_);
  UpdateScrollBars();
  AfterCaretMove();
  // Counting the matches reads the whole text: done once typing pauses, so
  // that keys on a page of megabytes stay quick with the find bar open.
  if (find_bar_->isVisible()) count_timer_.start(kRecountDelayMs, this);
}

void SourceBox::insert(const std::string& text) {
  ReplaceSelection(text, Edit::Other);
}

void SourceBox::Apply(const Edit& edit, bool forward) {
  if (forward) {
    Replace(edit.at, edit.removed.size(), edit.inserted, Edit::Other, false);
    anchor_ = caret_ = edit.at + edit.inserted.size();
  } else {
    Replace(edit.at, edit.inserted.size(), edit.removed, Edit::Other, false);
    anchor_ = std::min(edit.anchor_before, text_.size());
    caret_ = std::min(edit.caret_before, text_.size());
  }
  upstream_ = false;
  desired_x_ = -1;
  merge_ok_ = false;
  AfterEdit();
}

void SourceBox::undo() {
  if (undo_.empty()) return;
  Edit edit = std::move(undo_.back());
  undo_.pop_back();
  Apply(edit, false);
  redo_.push_back(std::move(edit));
}

void SourceBox::redo() {
  if (redo_.empty()) return;
  Edit edit = std::move(redo_.back());
  redo_.pop_back();
  Apply(edit, true);
  undo_.push_back(std::move(edit));
}

void SourceBox::copy() const {
  const auto [from, to] = SelectedBytes();
  if (from == to) return;
  auto* data = new QMimeData;
  data->setText(ExactText(text_, from, to));
  QApplication::clipboard()->setMimeData(data);
}

void SourceBox::cut() {
  const auto [from, to] = SelectedBytes();
  if (from == to) return;
  copy();
  ReplaceSelection(std::string(), Edit::Other);
}

void SourceBox::paste() {
  const QString text = QApplication::clipboard()->text();
  if (text.isEmpty()) return;
  ReplaceSelection(text.toStdString(), Edit::Other);
}

void SourceBox::selectAll() {
  SetSelectionBytes(0, text_.size());
  upstream_ = false;
  AfterCaretMove(false);
}

std::string SourceBox::LineEnding() const {
  // New lines end as the text's first line does.
  if (text_.LineCount() < 2) return "\n";
  const std::size_t next = text_.LineStart(1);
  const std::size_t end = text_.LineEnd(0);
  return text_.Copy(end, next);
}

// ---- Caret and moves --------------------------------------------------------

std::pair<std::size_t, std::size_t> SourceBox::CaretLineColumn() const {
  const std::size_t line = text_.LineOf(caret_);
  const std::size_t start = text_.LineStart(line);
  return {line + 1, text_.CharsBefore(caret_) - text_.CharsBefore(start) + 1};
}

void SourceBox::GoToLine(std::size_t line, std::size_t column) {
  const std::size_t l = std::clamp<std::size_t>(line, 1, text_.LineCount()) - 1;
  const std::size_t start = text_.LineStart(l);
  const std::size_t end = text_.LineEnd(l);
  const std::size_t first = text_.CharsBefore(start);
  const std::size_t at =
      std::min(text_.ByteOfChar(first + std::max<std::size_t>(column, 1) - 1), end);
  SetSelectionBytes(at, at);
  upstream_ = false;
  desired_x_ = -1;
  AfterCaretMove();
}

void SourceBox::MoveCaret(std::size_t to, bool select, bool upstream) {
  SetSelectionBytes(select ? anchor_ : to, to);
  upstream_ = upstream;
  AfterCaretMove();
}

void SourceBox::AfterCaretMove(bool ensure_visible) {
  reading_.reset();
  if (ensure_visible) EnsureVisible(caret_, upstream_);
  UpdatePositionLabel();
  RestartBlink();
  if (QAccessible::isActive()) {
    QAccessibleTextCursorEvent event(this, static_cast<int>(text_.UnitsBefore(caret_)));
    QAccessible::updateAccessibility(&event);
  }
  viewport()->update();
}

void SourceBox::UpdatePositionLabel() {
  const auto [line, column] = CaretLineColumn();
  position_label_->setText(QStringLiteral("Ln %1, Col %2").arg(line).arg(column));
  emit caretMoved(static_cast<qint64>(line), static_cast<qint64>(column));
}

std::size_t SourceBox::WordRight(std::size_t from) const {
  const std::size_t n = text_.size();
  if (from >= n) return n;
  std::size_t i = from;
  const CharClass first = ClassOf(text_.Decode(i).code);
  if (first == CharClass::Break) return NextGrapheme(text_, i);
  if (first != CharClass::Space) {
    while (i < n && ClassOf(text_.Decode(i).code) == first) i = text_.NextChar(i);
  }
  while (i < n && ClassOf(text_.Decode(i).code) == CharClass::Space) i = text_.NextChar(i);
  return i;
}

std::size_t SourceBox::WordLeft(std::size_t from) const {
  if (from == 0) return 0;
  std::size_t i = from;
  auto before = [&](std::size_t at) { return ClassOf(text_.Decode(text_.CharStart(at - 1)).code); };
  while (i > 0 && before(i) == CharClass::Space) i = text_.CharStart(i - 1);
  if (i == 0) return 0;
  const CharClass kind = before(i);
  if (kind == CharClass::Break) return i == from ? PreviousGrapheme(text_, i) : i;
  while (i > 0 && before(i) == kind) i = text_.CharStart(i - 1);
  return i;
}

std::pair<std::size_t, std::size_t> SourceBox::WordAt(std::size_t at) const {
  const std::size_t n = text_.size();
  if (n == 0) return {0, 0};
  at = text_.CharStart(std::min(at, n - 1));
  const CharClass kind = ClassOf(text_.Decode(at).code);
  if (kind == CharClass::Break) return {at, NextGrapheme(text_, at)};
  std::size_t b = at, e = text_.NextChar(at);
  while (b > 0 && ClassOf(text_.Decode(text_.CharStart(b - 1)).code) == kind) {
    b = text_.CharStart(b - 1);
  }
  while (e < n && ClassOf(text_.Decode(e).code) == kind) e = text_.NextChar(e);
  return {b, e};
}

int SourceBox::CaretX() {
  const SourceRows::Row row = rows_.RowOf(caret_, upstream_);
  SourceRows::Segment& s = rows_.Seg(row);
  const QTextLine line = s.layout->lineAt(row.index);
  return static_cast<int>(line.cursorToX(
      std::clamp(s.UnitOf(caret_), line.textStart(), line.textStart() + line.textLength())));
}

std::size_t SourceBox::VerticalMove(int rows) {
  if (desired_x_ < 0) desired_x_ = CaretX();
  SourceRows::Row row = rows_.RowOf(caret_, upstream_);
  int moved = 0;
  while (moved != rows) {
    const auto next = rows > 0 ? rows_.Next(row) : rows_.Previous(row);
    if (!next) break;
    row = *next;
    moved += rows > 0 ? 1 : -1;
  }
  if (moved == 0) {
    // Nothing further that way: a page move goes to the very end.
    if (std::abs(rows) > 1) {
      upstream_ = false;
      return rows > 0 ? text_.size() : 0;
    }
    return caret_;
  }
  SourceRows::Segment& s = rows_.Seg(row);
  const QTextLine line = s.layout->lineAt(row.index);
  const int unit = line.xToCursor(desired_x_, QTextLine::CursorBetweenCharacters);
  const std::size_t at = s.ByteOf(unit);
  // The end of a wrapped row is shown there, not at the next row's start.
  upstream_ = unit == line.textStart() + line.textLength() && row.index + 1 < s.Rows();
  return at;
}

void SourceBox::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  const bool shift = mods & Qt::ShiftModifier;
  const auto [from, to] = SelectedBytes();
  auto move = [&](std::size_t at, bool select, bool upstream = false) {
    desired_x_ = -1;
    MoveCaret(at, select, upstream);
  };
  const int key = event->key();

  if (key == Qt::Key_F && mods == Qt::ControlModifier) return openFind();
  if (key == Qt::Key_G && mods == Qt::ControlModifier) return openGoToLine();
  if (key == Qt::Key_F3 && (mods & ~Qt::ShiftModifier) == 0) {
    findNext(shift);
    return;
  }
  if (key == Qt::Key_Escape && (find_bar_->isVisible() || go_to_bar_->isVisible())) {
    find_bar_->hide();
    go_to_bar_->hide();
    LayoutChrome();
    return;
  }
  if (event == QKeySequence::SelectAll) return selectAll();
  if (event == QKeySequence::Copy) return copy();
  if (event == QKeySequence::Cut) return cut();
  if (event == QKeySequence::Paste) return paste();
  if (event == QKeySequence::Undo) return undo();
  if (event == QKeySequence::Redo) return redo();

  if (event == QKeySequence::MoveToNextChar || event == QKeySequence::SelectNextChar) {
    const bool select = event == QKeySequence::SelectNextChar;
    return move(!select && from != to ? to : NextGrapheme(text_, caret_), select);
  }
  if (event == QKeySequence::MoveToPreviousChar || event == QKeySequence::SelectPreviousChar) {
    const bool select = event == QKeySequence::SelectPreviousChar;
    return move(!select && from != to ? from : PreviousGrapheme(text_, caret_), select);
  }
  if (event == QKeySequence::MoveToNextWord || event == QKeySequence::SelectNextWord) {
    return move(WordRight(caret_), event == QKeySequence::SelectNextWord);
  }
  if (event == QKeySequence::MoveToPreviousWord || event == QKeySequence::SelectPreviousWord) {
    return move(WordLeft(caret_), event == QKeySequence::SelectPreviousWord);
  }
  if (event == QKeySequence::MoveToStartOfLine || event == QKeySequence::SelectStartOfLine ||
      event == QKeySequence::MoveToStartOfBlock || event == QKeySequence::SelectStartOfBlock) {
    const bool select =
        event == QKeySequence::SelectStartOfLine || event == QKeySequence::SelectStartOfBlock;
    // The start of the row; without wrapping, of the line.
    if (!wrapsLines()) return move(text_.LineStart(text_.LineOf(caret_)), select);
    return move(rows_.Start(rows_.RowOf(caret_, upstream_)), select);
  }
  if (event == QKeySequence::MoveToEndOfLine || event == QKeySequence::SelectEndOfLine ||
      event == QKeySequence::MoveToEndOfBlock || event == QKeySequence::SelectEndOfBlock) {
    const bool select =
        event == QKeySequence::SelectEndOfLine || event == QKeySequence::SelectEndOfBlock;
    const SourceRows::Row row = rows_.RowOf(caret_, upstream_);
    if (!wrapsLines() || rows_.EndsLine(row)) {
      return move(text_.LineEnd(text_.LineOf(caret_)), select);
    }
    return move(rows_.End(row), select, true);
  }
  if (event == QKeySequence::MoveToStartOfDocument ||
      event == QKeySequence::SelectStartOfDocument) {
    return move(0, event == QKeySequence::SelectStartOfDocument);
  }
  if (event == QKeySequence::MoveToEndOfDocument || event == QKeySequence::SelectEndOfDocument) {
    return move(text_.size(), event == QKeySequence::SelectEndOfDocument);
  }
  const bool line_down =
      event == QKeySequence::MoveToNextLine || event == QKeySequence::SelectNextLine;
  const bool line_up =
      event == QKeySequence::MoveToPreviousLine || event == QKeySequence::SelectPreviousLine;
  const bool page_down =
      event == QKeySequence::MoveToNextPage || event == QKeySequence::SelectNextPage;
  const bool page_up =
      event == QKeySequence::MoveToPreviousPage || event == QKeySequence::SelectPreviousPage;
  if (line_down || line_up || page_down || page_up) {
    const bool select =
        event == QKeySequence::SelectNextLine || event == QKeySequence::SelectPreviousLine ||
        event == QKeySequence::SelectNextPage || event == QKeySequence::SelectPreviousPage;
    const int page = std::max(1, VisibleRows() - 1);
    const int rows = line_down ? 1 : line_up ? -1 : page_down ? page : -page;
    if (page_down || page_up) ScrollRows(rows);
    const bool up_before = upstream_;
    const std::size_t at = VerticalMove(rows);
    const bool up = upstream_;
    upstream_ = up_before;
    SetSelectionBytes(select ? anchor_ : at, at);
    upstream_ = up;
    return AfterCaretMove();
  }

  if (event == QKeySequence::Delete || (key == Qt::Key_Delete && mods == Qt::NoModifier)) {
    if (from != to) return ReplaceSelection(std::string(), Edit::Other);
    const std::size_t end = NextGrapheme(text_, caret_);
    if (end == caret_) return;
    Replace(caret_, end - caret_, {}, Edit::Deleting);
    return AfterEdit();
  }
  if (key == Qt::Key_Backspace && (mods & ~Qt::ShiftModifier) == 0) {
    if (from != to) return ReplaceSelection(std::string(), Edit::Other);
    if (caret_ == 0) return;
    // One character back (so that a mark can be taken off its letter); a
    // line end as a whole.
    std::size_t begin = text_.CharStart(caret_ - 1);
    if (caret_ >= 2 && text_.At(caret_ - 1) == '\n' && text_.At(caret_ - 2) == '\r') {
      begin = caret_ - 2;
    }
    Replace(begin, caret_ - begin, {}, Edit::Deleting);
    caret_ = anchor_ = begin;
    return AfterEdit();
  }
  if (event == QKeySequence::DeleteStartOfWord) {
    if (from != to) return ReplaceSelection(std::string(), Edit::Other);
    const std::size_t begin = WordLeft(caret_);
    Replace(begin, caret_ - begin, {}, Edit::Other);
    return AfterEdit();
  }
  if (event == QKeySequence::DeleteEndOfWord) {
    if (from != to) return ReplaceSelection(std::string(), Edit::Other);
    Replace(caret_, WordRight(caret_) - caret_, {}, Edit::Other);
    return AfterEdit();
  }
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    if ((mods & ~Qt::ShiftModifier) != 0) return event->ignore();
    return ReplaceSelection(LineEnding(), Edit::Other);
  }
  // As in a classic multi-line text box, Tab moves on and Ctrl+Tab types one.
  if (key == Qt::Key_Tab && mods == Qt::ControlModifier)
    return ReplaceSelection("\t", Edit::Typing);

  const QString typed = event->text();
  if (Printable(typed) && !(mods & Qt::ControlModifier && !(mods & Qt::AltModifier))) {
    return ReplaceSelection(typed.toStdString(), Edit::Typing);
  }
  event->ignore();
}

bool SourceBox::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    // Keys the box uses are not taken by the window's shortcuts.
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers();
    const bool ours =
        (key->key() == Qt::Key_F3) ||
        (mods == Qt::ControlModifier && (key->key() == Qt::Key_F || key->key() == Qt::Key_G)) ||
        (key->key() == Qt::Key_Escape && (find_bar_->isVisible() || go_to_bar_->isVisible())) ||
        key == QKeySequence::Copy || key == QKeySequence::Paste || key == QKeySequence::Cut ||
        key == QKeySequence::Undo || key == QKeySequence::Redo || key == QKeySequence::SelectAll ||
        key == QKeySequence::DeleteStartOfWord || key == QKeySequence::DeleteEndOfWord ||
        key == QKeySequence::MoveToStartOfDocument || key == QKeySequence::MoveToEndOfDocument ||
        key == QKeySequence::SelectStartOfDocument || key == QKeySequence::SelectEndOfDocument ||
        key == QKeySequence::MoveToNextWord || key == QKeySequence::MoveToPreviousWord ||
        key == QKeySequence::SelectNextWord || key == QKeySequence::SelectPreviousWord ||
        (Printable(key->text()) && !(mods & Qt::ControlModifier));
    if (ours) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void SourceBox::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) {
    ReplaceSelection(event->commitString().toStdString(), Edit::Typing);
  }
  event->accept();
}

QVariant SourceBox::inputMethodQuery(Qt::InputMethodQuery query) const {
  auto* self = const_cast<SourceBox*>(this);
  switch (query) {
    case Qt::ImEnabled:
      return true;
    case Qt::ImHints:
      return static_cast<int>(Qt::ImhMultiLine);
    case Qt::ImFont:
      return font();
    case Qt::ImCursorRectangle:
      return self->caretRect(caret_).translated(viewport()->pos());
    case Qt::ImSurroundingText:
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition: {
      // The caret's line, at most a few hundred characters either side.
      const std::size_t line = text_.LineOf(caret_);
      std::size_t begin = text_.LineStart(line), end = text_.LineEnd(line);
      begin =
          std::max(begin, text_.ByteOfChar(text_.CharsBefore(caret_) -
                                           std::min<std::size_t>(256, text_.CharsBefore(caret_))));
      end = std::min(end, text_.ByteOfChar(text_.CharsBefore(caret_) + 256));
      if (query == Qt::ImSurroundingText) return ExactText(text_, begin, end);
      const std::size_t at =
          query == Qt::ImCursorPosition ? caret_ : std::clamp(anchor_, begin, end);
      return static_cast<int>(text_.UnitsBefore(std::clamp(at, begin, end)) -
                              text_.UnitsBefore(begin));
    }
    default:
      return QAbstractScrollArea::inputMethodQuery(query);
  }
}

// ---- Find and go to line ----------------------------------------------------

void SourceBox::openFind() {
  go_to_bar_->hide();
  const auto [from, to] = SelectedBytes();
  // A short selection on one line is what the user wants to find.
  if (from != to && to - from <= 256 && text_.LineOf(from) == text_.LineOf(to)) {
    const QSignalBlocker block(find_bar_);
    find_bar_->setNeedle(ToQ(SelText()));
  }
  find_bar_->show();
  LayoutChrome();
  find_bar_->field().setFocus();
  find_bar_->field().selectAll();
  UpdateFindCount();
}

void SourceBox::openGoToLine() {
  find_bar_->hide();
  go_to_bar_->setLineCount(text_.LineCount());
  go_to_bar_->field().setText(QString::number(CaretLineColumn().first));
  go_to_bar_->show();
  LayoutChrome();
  go_to_bar_->field().setFocus();
  go_to_bar_->field().selectAll();
}

bool SourceBox::findNext(bool backward) {
  const SearchQuery query = find_bar_->query();
  if (query.needle.empty()) {
    openFind();
    return false;
  }
  const std::string& text = Text();
  const TextSearch search(query);
  const auto [from, to] = SelectedBytes();
  SearchMatch m = backward ? search.Previous(text, from) : search.Next(text, to);
  // Round again from the other end.
  if (!m.found()) m = backward ? search.Previous(text, text.size()) : search.Next(text, 0);
  if (m.found()) Select(m.offset, m.offset + m.length);
  UpdateFindCount();
  return m.found();
}

void SourceBox::UpdateFindCount() {
  const SearchQuery query = find_bar_->query();
  if (query.needle.empty()) {
    find_bar_->setCountText(QString());
    return;
  }
  if (!find_state_) find_state_ = std::make_unique<SourceBoxFindState>();
  SourceBoxFindState& s = *find_state_;
  if (!(s.query == query) || s.revision != revision_) {
    s.query = query;
    s.revision = revision_;
    s.offsets.clear();
    s.total = TextSearch(query).Count(Text(), kKeptMatches, &s.offsets);
  }
  if (s.total == 0) {
    find_bar_->setCountText(QStringLiteral("No matches"));
    return;
  }
  const auto [from, to] = SelectedBytes();
  const auto it = std::lower_bound(s.offsets.begin(), s.offsets.end(), from);
  const bool current = it != s.offsets.end() && *it == from && to > from;
  if (current) {
    find_bar_->setCountText(QStringLiteral("%1 of %2")
                                .arg(static_cast<qulonglong>(it - s.offsets.begin() + 1))
                                .arg(static_cast<qulonglong>(s.total)));
  } else {
    find_bar_->setCountText(s.total == 1 ? QStringLiteral("1 match")
                                         : QStringLiteral("%1 matches").arg(s.total));
  }
}

// ---- Highlights ---------------------------------------------------------------

void SourceBox::Highlight(const std::vector<std::pair<std::size_t, std::size_t>>& byte_ranges) {
  highlights_.clear();
  highlights_.reserve(byte_ranges.size());
  for (const auto& [offset, length] : byte_ranges) {
    const std::size_t b = std::min(offset, text_.size());
    highlights_.emplace_back(b, std::min(text_.size(), b + length));
  }
  std::sort(highlights_.begin(), highlights_.end());
  if (!highlights_.empty()) {
    // The first in view, near the middle when it was out of view.
    const std::size_t first = highlights_.front().first;
    if (!RowInView(first, false)) {
      SourceRows::Row row = rows_.RowOf(first);
      for (int i = 0; i < VisibleRows() / 2; ++i) {
        const auto before = rows_.Previous(row);
        if (!before) break;
        row = *before;
      }
      SetTop(rows_.Start(row));
    }
    if (!wrapsLines()) EnsureColumnVisible(first);
    // A screen reader reads where the risk sits, as if the caret were there.
    reading_ = first;
    if (QAccessible::isActive()) {
      QAccessibleTextCursorEvent event(this, static_cast<int>(text_.UnitsBefore(first)));
      QAccessible::updateAccessibility(&event);
    }
  } else {
    reading_.reset();
  }
  viewport()->update();
}

void SourceBox::ClearHighlight() {
  reading_.reset();
  if (highlights_.empty()) return;
  highlights_.clear();
  viewport()->update();
}

// ---- The view ----------------------------------------------------------------

int SourceBox::VisibleRows() const {
  return std::max(1, (viewport()->height() - Top()) / rows_.RowHeight());
}

bool SourceBox::RowInView(std::size_t byte, bool upstream) {
  const SourceRows::Row target = rows_.RowOf(byte, upstream);
  std::optional<SourceRows::Row> row = rows_.RowOf(top_);
  for (int i = 0; i < VisibleRows() && row; ++i) {
    if (*row == target) return true;
    row = rows_.Next(*row);
  }
  return false;
}

void SourceBox::EnsureVisible(std::size_t byte, bool upstream) {
  if (!RowInView(byte, upstream)) {
    SourceRows::Row row = rows_.RowOf(byte, upstream);
    if (byte < top_) {
      SetTop(rows_.Start(row));
    } else {
      for (int i = 1; i < VisibleRows(); ++i) {
        const auto before = rows_.Previous(row);
        if (!before) break;
        row = *before;
      }
      SetTop(rows_.Start(row));
    }
  }
  if (!wrapsLines()) EnsureColumnVisible(byte);
}

void SourceBox::EnsureColumnVisible(std::size_t byte) {
  const std::size_t line = text_.LineOf(byte);
  const std::size_t column = text_.CharsBefore(std::min(byte, text_.LineEnd(line))) -
                             text_.CharsBefore(text_.LineStart(line));
  const std::size_t first = rows_.FirstColumn();
  const auto average = std::max(1, fontMetrics().averageCharWidth());
  const auto fit =
      static_cast<std::size_t>(std::max(4, (viewport()->width() - 2 * Margin()) / average));
  std::size_t want = first;
  if (column < first) {
    want = column > fit / 4 ? column - fit / 4 : 0;
  } else {
    const QRect r = caretRect(byte);
    if (r.isEmpty() || r.right() > viewport()->width() - Margin()) {
      want = column > fit * 3 / 4 ? column - fit * 3 / 4 : 0;
    }
  }
  if (want != first) {
    rows_.SetFirstColumn(want);
    const QSignalBlocker block(horizontalScrollBar());
    UpdateScrollBars();
    viewport()->update();
  }
}

std::size_t SourceBox::BottomTop() {
  if (bottom_top_) return *bottom_top_;
  SourceRows::Row row = rows_.RowOf(text_.size());
  for (int i = 1; i < VisibleRows(); ++i) {
    const auto before = rows_.Previous(row);
    if (!before) break;
    row = *before;
  }
  bottom_top_ = rows_.Start(row);
  return *bottom_top_;
}

void SourceBox::SetTop(std::size_t byte) {
  byte = std::min(byte, BottomTop());
  top_ = rows_.Start(rows_.RowOf(byte));
  syncing_ = true;
  if (wrapsLines()) {
    verticalScrollBar()->setValue(static_cast<int>(top_ >> scroll_shift_));
  } else {
    verticalScrollBar()->setValue(static_cast<int>(std::min<std::size_t>(
        text_.LineOf(top_), static_cast<std::size_t>(std::numeric_limits<int>::max()))));
  }
  syncing_ = false;
  viewport()->update();
}

void SourceBox::ScrollRows(int rows) {
  std::optional<SourceRows::Row> row = rows_.RowOf(top_);
  for (int i = 0; i != rows;) {
    const auto next = rows > 0 ? rows_.Next(*row) : rows_.Previous(*row);
    if (!next) break;
    row = next;
    i += rows > 0 ? 1 : -1;
  }
  SetTop(rows_.Start(*row));
}

void SourceBox::UpdateScrollBars() {
  QScrollBar* v = verticalScrollBar();
  syncing_ = true;
  if (wrapsLines()) {
    scroll_shift_ = 0;
    while ((text_.size() >> scroll_shift_) >
           static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)) {
      ++scroll_shift_;
    }
    const std::size_t bottom = BottomTop();
    // A page is what is in view now: the bytes of the rows shown.
    std::optional<SourceRows::Row> row = rows_.RowOf(top_);
    std::size_t end = top_;
    for (int i = 0; i < VisibleRows() && row; ++i) {
      end = rows_.End(*row);
      row = rows_.Next(*row);
    }
    v->setRange(0, static_cast<int>(bottom >> scroll_shift_));
    v->setPageStep(std::max(1, static_cast<int>((end - top_) >> scroll_shift_)));
    v->setSingleStep(
        std::max(1, static_cast<int>(((end - top_) / static_cast<std::size_t>(VisibleRows())) >>
                                     scroll_shift_)));
    v->setValue(static_cast<int>(top_ >> scroll_shift_));
  } else {
    const auto lines = static_cast<int>(std::min<std::size_t>(
        text_.LineCount(), static_cast<std::size_t>(std::numeric_limits<int>::max())));
    v->setRange(0, std::max(0, lines - VisibleRows()));
    v->setPageStep(VisibleRows());
    v->setSingleStep(1);
    v->setValue(static_cast<int>(text_.LineOf(top_)));
    QScrollBar* h = horizontalScrollBar();
    const auto average = std::max(1, fontMetrics().averageCharWidth());
    const int fit = std::max(1, (viewport()->width() - 2 * Margin()) / average);
    const auto longest = static_cast<int>(std::min<std::size_t>(
        longest_line_, static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)));
    h->setRange(0, std::max(0, longest - fit + 2));
    h->setPageStep(fit);
    h->setSingleStep(1);
    h->setValue(static_cast<int>(rows_.FirstColumn()));
  }
  syncing_ = false;
}

void SourceBox::scrollContentsBy(int /*dx*/, int /*dy*/) {
  if (syncing_) return;
  if (pending_top_) {
    const std::size_t top = *pending_top_;
    pending_top_.reset();
    SetTop(top);
    return;
  }
  if (!wrapsLines()) rows_.SetFirstColumn(static_cast<std::size_t>(horizontalScrollBar()->value()));
  const auto value = static_cast<std::size_t>(verticalScrollBar()->value());
  if (wrapsLines()) {
    SetTop(value << scroll_shift_);
  } else {
    SetTop(text_.LineStart(std::min(value, text_.LineCount() - 1)));
  }
}

void SourceBox::OnScrollAction(int action) {
  std::optional<SourceRows::Row> row = rows_.RowOf(top_);
  int rows = 0;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      rows = 1;
      break;
    case QAbstractSlider::SliderSingleStepSub:
      rows = -1;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      rows = std::max(1, VisibleRows() - 1);
      break;
    case QAbstractSlider::SliderPageStepSub:
      rows = -std::max(1, VisibleRows() - 1);
      break;
    case QAbstractSlider::SliderToMinimum:
      pending_top_ = 0;
      break;
    case QAbstractSlider::SliderToMaximum:
      pending_top_ = BottomTop();
      break;
    default:
      return;  // a drag: the value says where
  }
  for (int i = 0; i != rows;) {
    const auto next = rows > 0 ? rows_.Next(*row) : rows_.Previous(*row);
    if (!next) break;
    row = next;
    i += rows > 0 ? 1 : -1;
  }
  if (rows != 0) pending_top_ = std::min(rows_.Start(*row), BottomTop());
  const int position = wrapsLines() ? static_cast<int>(*pending_top_ >> scroll_shift_)
                                    : static_cast<int>(text_.LineOf(*pending_top_));
  if (position == verticalScrollBar()->value()) {
    // The value does not change, so nothing else will move the view.
    const std::size_t top = *pending_top_;
    pending_top_.reset();
    SetTop(top);
  }
  verticalScrollBar()->setSliderPosition(position);
}

void SourceBox::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  LayoutChrome();
}

void SourceBox::LayoutChrome() {
  const int top = OpenBar() != nullptr ? OpenBar()->sizeHint().height() : 0;
  const int bottom = position_shown_ ? fontMetrics().height() + 2 : 0;
  setViewportMargins(0, top, 0, bottom);
  PlaceChrome();
  OnViewportResized();
}

QFrame* SourceBox::OpenBar() const {
  if (find_bar_->isVisible()) return find_bar_;
  if (go_to_bar_->isVisible()) return go_to_bar_;
  return nullptr;
}

void SourceBox::PlaceChrome() {
  const QRect vp = viewport()->geometry();
  if (QFrame* bar = OpenBar()) {
    const int height = bar->sizeHint().height();
    bar->setGeometry(vp.left(), vp.top() - height, vp.width(), height);
  }
  position_label_->setVisible(position_shown_);
  if (position_shown_) {
    position_label_->setGeometry(vp.left(), vp.bottom() + 1, vp.width(),
                                 fontMetrics().height() + 2);
  }
}

void SourceBox::OnViewportResized() {
  rows_.SetWidth(viewport()->width() - 2 * Margin());
  bottom_top_.reset();
  SetTop(top_);
  UpdateScrollBars();
  viewport()->update();
}

bool SourceBox::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Resize) {
    PlaceChrome();
    OnViewportResized();
  }
  return QAbstractScrollArea::viewportEvent(event);
}

void SourceBox::setPositionShown(bool shown) {
  position_shown_ = shown;
  LayoutChrome();
}

void SourceBox::setWrapsLines(bool wrap) {
  if (wrap != wrapsLines()) {
    rows_.SetWrap(wrap);
    rows_.SetFirstColumn(0);
    if (!wrap) longest_line_ = text_.LongestLine();
    setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    bottom_top_.reset();
    LayoutChrome();
    EnsureVisible(caret_, upstream_);
  }
  AppSettings()->setValue(QString::fromLatin1(kWrapKey), wrap);
}

void SourceBox::setColoursMarkup(bool colours) {
  colours_ = colours;
  rows_.SetColours(colours);
  AppSettings()->setValue(QString::fromLatin1(kColourKey), colours);
  viewport()->update();
}

void SourceBox::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    rows_.SetFont(font());
    bottom_top_.reset();
    LayoutChrome();
  }
}

// ---- Painting ---------------------------------------------------------------

QRect SourceBox::caretRect(std::size_t byte) {
  const bool upstream = byte == caret_ && upstream_;
  const SourceRows::Row target = rows_.RowOf(byte, upstream);
  std::optional<SourceRows::Row> row = rows_.RowOf(top_);
  const int height = rows_.RowHeight();
  for (int i = 0; row && Top() + i * height < viewport()->height(); ++i) {
    if (*row == target) {
      SourceRows::Segment& s = rows_.Seg(target);
      if (byte < s.begin || byte > s.end + 2) return {};
      const QTextLine line = s.layout->lineAt(target.index);
      const int unit = std::clamp(s.UnitOf(std::min(byte, s.end)), line.textStart(),
                                  line.textStart() + line.textLength());
      const auto x = static_cast<int>(line.cursorToX(unit)) + Margin();
      return {x, Top() + i * height, 1, height};
    }
    row = rows_.Next(*row);
  }
  return {};
}

std::pair<std::size_t, bool> SourceBox::HitTest(const QPoint& point) {
  const int height = rows_.RowHeight();
  const int wanted = std::clamp((point.y() - Top()) / height, 0, VisibleRows());
  SourceRows::Row row = rows_.RowOf(top_);
  for (int i = 0; i < wanted; ++i) {
    const auto next = rows_.Next(row);
    if (!next) break;
    row = *next;
  }
  SourceRows::Segment& s = rows_.Seg(row);
  const QTextLine line = s.layout->lineAt(row.index);
  const int unit = line.xToCursor(point.x() - Margin(), QTextLine::CursorBetweenCharacters);
  const bool upstream = unit == line.textStart() + line.textLength() && row.index + 1 < s.Rows();
  return {s.ByteOf(unit), upstream};
}

std::size_t SourceBox::positionAt(const QPoint& point) {
  return HitTest(point).first;
}

void SourceBox::paintEvent(QPaintEvent* /*event*/) {
  QPainter p(viewport());
  const QRect area = viewport()->rect();
  const int height = rows_.RowHeight();
  const auto [sel_from, sel_to] = SelectedBytes();
  const QPalette& pal = palette();
  p.setPen(pal.color(QPalette::Text));

  QTextCharFormat selected;
  selected.setBackground(pal.brush(QPalette::Highlight));
  selected.setForeground(pal.brush(QPalette::HighlightedText));
  QTextCharFormat marked;
  marked.setBackground(kHighlight);
  marked.setForeground(QColor(0, 0, 0));

  std::optional<SourceRows::Row> row = rows_.RowOf(top_);
  int y = Top();
  while (row && y < area.height()) {
    SourceRows::Segment& s = rows_.Seg(*row);
    const int shown = std::min(s.Rows() - row->index, (area.height() - y + height - 1) / height);
    const int origin = y - row->index * height;
    QList<QTextLayout::FormatRange> formats;
    auto add = [&](std::size_t from, std::size_t to, const QTextCharFormat& format) {
      from = std::max(from, s.begin);
      to = std::min(to, s.end);
      if (from >= to) return;
      QTextLayout::FormatRange range;
      range.start = s.UnitOf(from);
      range.length = s.UnitOf(to) - range.start;
      range.format = format;
      formats.push_back(range);
    };
    auto it = std::lower_bound(highlights_.begin(), highlights_.end(),
                               std::pair<std::size_t, std::size_t>{s.begin, 0},
                               [](const auto& a, const auto& b) { return a.second <= b.first; });
    for (; it != highlights_.end() && it->first < s.end; ++it) add(it->first, it->second, marked);
    if (sel_from != sel_to) add(sel_from, sel_to, selected);
    s.layout->draw(&p, QPointF(Margin(), origin), formats,
                   QRectF(0, y, area.width(), shown * height));

    // A selected line end shows as a little selected room after the line.
    const std::size_t line_end = text_.LineEnd(text_.LineOf(s.begin));
    const int last = row->index + shown - 1;
    if (s.end == line_end && last == s.Rows() - 1 && sel_from <= line_end && sel_to > line_end) {
      const QTextLine l = s.layout->lineAt(last);
      const auto x = static_cast<int>(l.naturalTextWidth()) + Margin();
      p.fillRect(QRect(x, origin + last * height, fontMetrics().averageCharWidth(), height),
                 pal.brush(QPalette::Highlight));
    }
    y += shown * height;
    row = rows_.Next(SourceRows::Row{s.begin, last});
  }

  if (hasFocus() && caret_on_) {
    const QRect caret = caretRect(caret_);
    if (!caret.isEmpty()) p.fillRect(caret, pal.brush(QPalette::Text));
  }
}

void SourceBox::RestartBlink() {
  caret_on_ = true;
  const int flash = QApplication::cursorFlashTime();
  if (hasFocus() && flash > 0) {
    blink_timer_.start(flash / 2, this);
  } else {
    blink_timer_.stop();
  }
}

void SourceBox::timerEvent(QTimerEvent* event) {
  if (event->timerId() == blink_timer_.timerId()) {
    caret_on_ = !caret_on_;
    viewport()->update(caretRect(caret_).adjusted(-1, 0, 1, 0));
    return;
  }
  if (event->timerId() == count_timer_.timerId()) {
    count_timer_.stop();
    if (find_bar_->isVisible()) UpdateFindCount();
    return;
  }
  if (event->timerId() == drag_timer_.timerId()) {
    // Dragging beyond the view scrolls it.
    const int height = viewport()->height();
    if (drag_point_.y() < 0) ScrollRows(-1);
    if (drag_point_.y() >= height) ScrollRows(1);
    if (!wrapsLines() && drag_point_.x() < 0 && rows_.FirstColumn() > 0) {
      rows_.SetFirstColumn(rows_.FirstColumn() - 1);
      UpdateScrollBars();
    }
    if (!wrapsLines() && drag_point_.x() >= viewport()->width()) {
      rows_.SetFirstColumn(rows_.FirstColumn() + 2);
      UpdateScrollBars();
    }
    DragTo(drag_point_);
    return;
  }
  QAbstractScrollArea::timerEvent(event);
}

void SourceBox::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  RestartBlink();
  viewport()->update();
}

void SourceBox::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  blink_timer_.stop();
  viewport()->update();
}

// ---- Mouse ------------------------------------------------------------------

void SourceBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  desired_x_ = -1;
  if (last_double_click_.isValid() &&
      last_double_click_.elapsed() < QApplication::doubleClickInterval()) {
    // A third click selects the line.
    last_double_click_.invalidate();
    const std::size_t line = text_.LineOf(caret_);
    const std::size_t end = line + 1 < text_.LineCount() ? text_.LineStart(line + 1) : text_.size();
    drag_unit_ = {text_.LineStart(line), end};
    SetSelectionBytes(drag_unit_.first, drag_unit_.second);
    dragging_ = true;
    AfterCaretMove(false);
    return;
  }
  const auto [at, upstream] = HitTest(event->pos());
  drag_unit_ = {at, at};
  MoveCaret(at, event->modifiers() & Qt::ShiftModifier, upstream);
  dragging_ = true;
}

void SourceBox::DragTo(const QPoint& point) {
  const QRect area = viewport()->rect();
  const QPoint inside(std::clamp(point.x(), area.left(), area.right()),
                      std::clamp(point.y(), area.top(), area.bottom()));
  auto [at, upstream] = HitTest(inside);
  if (drag_unit_.first != drag_unit_.second) {
    // Words (or lines) picked by a double (triple) click grow word by word.
    std::size_t anchor = drag_unit_.first, caret = drag_unit_.second;
    if (at < drag_unit_.first) {
      anchor = drag_unit_.second;
      caret = WordAt(at).first;
    } else if (at > drag_unit_.second) {
      caret = WordAt(at).second;
    }
    SetSelectionBytes(anchor, caret);
    upstream_ = false;
  } else {
    SetSelectionBytes(anchor_, at);
    upstream_ = upstream;
  }
  UpdatePositionLabel();
  RestartBlink();
  viewport()->update();
}

void SourceBox::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return;
  drag_point_ = event->pos();
  const QRect area = viewport()->rect();
  if (area.contains(drag_point_)) {
    drag_timer_.stop();
  } else if (!drag_timer_.isActive()) {
    drag_timer_.start(50, this);
  }
  DragTo(drag_point_);
}

void SourceBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = false;
  drag_timer_.stop();
  if (QApplication::clipboard()->supportsSelection()) {
    const auto [from, to] = SelectedBytes();
    // The X11 selection, for selections of a sensible size.
    if (from != to && to - from <= (std::size_t{1} << 20)) {
      QApplication::clipboard()->setText(ExactText(text_, from, to), QClipboard::Selection);
    }
  }
}

void SourceBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const auto [at, upstream] = HitTest(event->pos());
  (void)upstream;
  drag_unit_ = WordAt(at);
  SetSelectionBytes(drag_unit_.first, drag_unit_.second);
  upstream_ = false;
  dragging_ = true;
  last_double_click_.start();
  AfterCaretMove(false);
}

void SourceBox::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  const bool sideways =
      (event->modifiers() & Qt::ShiftModifier) || std::abs(delta.x()) > std::abs(delta.y());
  const int steps = (sideways ? (delta.x() != 0 ? delta.x() : delta.y()) : delta.y());
  wheel_rest_ += steps;
  const int notches = wheel_rest_ / 120;
  wheel_rest_ -= notches * 120;
  if (notches == 0) return event->accept();
  if (sideways) {
    if (!wrapsLines()) {
      QScrollBar* h = horizontalScrollBar();
      h->setValue(h->value() - notches * 8);
    }
  } else {
    ScrollRows(-notches * QApplication::wheelScrollLines());
  }
  event->accept();
}

// ---- Context menu -----------------------------------------------------------

QMenu* SourceBox::createContextMenu() {
  auto* menu = new QMenu(this);
  const auto [from, to] = SelectedBytes();
  auto add = [&](const QString& text, QKeySequence keys, bool enabled, auto slot) {
    QAction* a = menu->addAction(text, this, slot);
    a->setShortcut(keys);
    a->setEnabled(enabled);
    return a;
  };
  add(QStringLiteral("&Undo"), QKeySequence::Undo, canUndo(), [this] { undo(); });
  add(QStringLiteral("&Redo"), QKeySequence::Redo, canRedo(), [this] { redo(); });
  menu->addSeparator();
  add(QStringLiteral("Cu&t"), QKeySequence::Cut, from != to, [this] { cut(); });
  add(QStringLiteral("&Copy"), QKeySequence::Copy, from != to, [this] { copy(); });
  add(QStringLiteral("&Paste"), QKeySequence::Paste, !QApplication::clipboard()->text().isEmpty(),
      [this] { paste(); });
  add(QStringLiteral("&Delete"), QKeySequence::Delete, from != to,
      [this] { ReplaceSelection(std::string(), Edit::Other); });
  menu->addSeparator();
  add(QStringLiteral("Select &All"), QKeySequence::SelectAll, !text_.empty(),
      [this] { selectAll(); });
  menu->addSeparator();
  add(QStringLiteral("&Find\u2026"), QKeySequence(Qt::CTRL | Qt::Key_F), true,
      [this] { openFind(); });
  add(QStringLiteral("&Go to Line\u2026"), QKeySequence(Qt::CTRL | Qt::Key_G), true,
      [this] { openGoToLine(); });
  menu->addSeparator();
  QAction* wrap = menu->addAction(QStringLiteral("&Wrap Long Lines"));
  wrap->setCheckable(true);
  wrap->setChecked(wrapsLines());
  wrap->setObjectName(QStringLiteral("wrapLines"));
  connect(wrap, &QAction::toggled, this, [this](bool on) { setWrapsLines(on); });
  QAction* colour = menu->addAction(QStringLiteral("C&olour Markup"));
  colour->setCheckable(true);
  colour->setChecked(colours_);
  colour->setObjectName(QStringLiteral("colourMarkup"));
  connect(colour, &QAction::toggled, this, [this](bool on) { setColoursMarkup(on); });
  return menu;
}

void SourceBox::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

}  // namespace vx::window

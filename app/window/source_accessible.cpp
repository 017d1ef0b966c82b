#include "app/window/source_accessible.h"

#include <QTextBoundaryFinder>
#include <algorithm>
#include <climits>

#include "app/window/source_box.h"

namespace vx::window {
namespace {

// Characters either side of an offset looked at for words and sentences.
constexpr int kReach = 512;

QAccessibleInterface* Factory(const QString& /*class_name*/, QObject* object) {
  if (auto* box = qobject_cast<SourceBox*>(object)) return new SourceBoxAccessible(box);
  return nullptr;
}

}  // namespace

void InstallSourceBoxAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

SourceBoxAccessible::SourceBoxAccessible(SourceBox* box)
    : QAccessibleWidget(box, QAccessible::EditableText) {}

SourceBox& SourceBoxAccessible::box() const {
  return *static_cast<SourceBox*>(widget());
}

void* SourceBoxAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
  if (type == QAccessible::EditableTextInterface) {
    return static_cast<QAccessibleEditableTextInterface*>(this);
  }
  return QAccessibleWidget::interface_cast(type);
}

QAccessible::State SourceBoxAccessible::state() const {
  QAccessible::State s = QAccessibleWidget::state();
  s.editable = true;
  s.multiLine = true;
  s.selectableText = true;
  s.focusable = true;
  return s;
}

std::size_t SourceBoxAccessible::ByteOf(int offset) const {
  return box().store().ByteOfUnit(static_cast<std::size_t>(std::max(offset, 0)));
}

int SourceBoxAccessible::OffsetOf(std::size_t byte) const {
  return static_cast<int>(std::min<std::size_t>(box().store().UnitsBefore(byte), INT_MAX));
}

int SourceBoxAccessible::characterCount() const {
  return static_cast<int>(std::min<std::size_t>(box().store().UnitCount(), INT_MAX));
}

QString SourceBoxAccessible::text(int start, int end) const {
  if (end < 0 || end > characterCount()) end = characterCount();
  start = std::clamp(start, 0, end);
  return ExactText(box().store(), ByteOf(start), ByteOf(end));
}

void SourceBoxAccessible::selection(int index, int* start, int* end) const {
  const auto [from, to] = box().SelectedBytes();
  if (index != 0 || from == to) {
    *start = *end = 0;
    return;
  }
  *start = OffsetOf(from);
  *end = OffsetOf(to);
}

int SourceBoxAccessible::selectionCount() const {
  const auto [from, to] = box().SelectedBytes();
  return from == to ? 0 : 1;
}

void SourceBoxAccessible::addSelection(int start, int end) {
  setSelection(0, start, end);
}

void SourceBoxAccessible::removeSelection(int index) {
  if (index != 0) return;
  box().Select(box().Caret(), box().Caret());
}

void SourceBoxAccessible::setSelection(int index, int start, int end) {
  if (index != 0) return;
  box().Select(ByteOf(start), ByteOf(end));
}

int SourceBoxAccessible::cursorPosition() const {
  return OffsetOf(box().ReadingPosition());
}

void SourceBoxAccessible::setCursorPosition(int position) {
  const std::size_t at = ByteOf(position);
  box().Select(at, at);
}

std::pair<int, int> SourceBoxAccessible::Around(int offset,
                                                QAccessible::TextBoundaryType type) const {
  const SourceText& t = box().store();
  const int count = characterCount();
  offset = std::clamp(offset, 0, count);
  switch (type) {
    case QAccessible::NoBoundary:
      return {0, count};
    case QAccessible::LineBoundary:
    case QAccessible::ParagraphBoundary: {
      // A line with its line end.
      const std::size_t line = t.LineOf(ByteOf(offset));
      const std::size_t end = line + 1 < t.LineCount() ? t.LineStart(line + 1) : t.size();
      return {OffsetOf(t.LineStart(line)), OffsetOf(end)};
    }
    case QAccessible::CharBoundary: {
      if (offset >= count) return {count, count};
      const std::size_t at = ByteOf(offset);
      return {OffsetOf(at), OffsetOf(t.NextChar(at))};
    }
    case QAccessible::WordBoundary:
    case QAccessible::SentenceBoundary: {
      const std::size_t line = t.LineOf(ByteOf(offset));
      const std::size_t begin = std::max(t.LineStart(line), ByteOf(std::max(offset - kReach, 0)));
      const std::size_t end = std::min(t.LineEnd(line), ByteOf(std::min(offset + kReach, count)));
      const int base = OffsetOf(begin);
      const QString s = ExactText(t, begin, end);
      QTextBoundaryFinder finder(type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                                   : QTextBoundaryFinder::Sentence,
                                 s);
      const auto at =
          static_cast<qsizetype>(std::clamp(offset - base, 0, static_cast<int>(s.size())));
      finder.setPosition(at);
      qsizetype from = finder.isAtBoundary() ? at : finder.toPreviousBoundary();
      finder.setPosition(at);
      qsizetype to = finder.toNextBoundary();
      if (from < 0) from = 0;
      if (to < 0) to = s.size();
      return {base + static_cast<int>(from), base + static_cast<int>(to)};
    }
  }
  return {offset, offset};
}

QString SourceBoxAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType type,
                                          int* start, int* end) const {
  const auto [b, e] = Around(offset, type);
  *start = b;
  *end = e;
  return text(b, e);
}

QString SourceBoxAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType type,
                                              int* start, int* end) const {
  const auto [b, e] = Around(offset, type);
  (void)e;
  if (b <= 0) {
    *start = *end = -1;
    return {};
  }
  return textAtOffset(b - 1, type, start, end);
}

QString SourceBoxAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType type,
                                             int* start, int* end) const {
  const auto [b, e] = Around(offset, type);
  (void)b;
  if (e >= characterCount()) {
    *start = *end = -1;
    return {};
  }
  return textAtOffset(e, type, start, end);
}

QRect SourceBoxAccessible::characterRect(int offset) const {
  const SourceText& t = box().store();
  const std::size_t at = ByteOf(offset);
  const QRect here = box().caretRect(at);
  if (here.isEmpty()) return {};
  const QRect next = box().caretRect(t.NextChar(at));
  const int width = next.top() == here.top() && next.x() > here.x() ? next.x() - here.x() : 1;
  const QPoint origin = box().viewport()->mapToGlobal(QPoint(0, 0));
  return QRect(here.x(), here.y(), width, here.height()).translated(origin);
}

int SourceBoxAccessible::offsetAtPoint(const QPoint& point) const {
  const QPoint local = box().viewport()->mapFromGlobal(point);
  if (!box().viewport()->rect().contains(local)) return -1;
  return OffsetOf(box().positionAt(local));
}

void SourceBoxAccessible::scrollToSubstring(int start, int end) {
  (void)end;
  box().ShowByte(ByteOf(start));
}

QString SourceBoxAccessible::attributes(int offset, int* start, int* end) const {
  // The highlighted occurrences of the selected finding read as marked text
  // (the platform bridge turns these into text attributes); the rest has none.
  const std::size_t at = ByteOf(offset);
  const auto& ranges = box().highlightedRanges();
  std::size_t from = 0, to = box().Text().size();
  for (const auto& [first, last] : ranges) {
    if (at >= first && at < last) {
      *start = OffsetOf(first);
      *end = OffsetOf(last);
      return QStringLiteral("background-color:rgb(255,214,92);text-highlight:true;");
    }
    if (last <= at) from = std::max(from, last);
    if (first > at) to = std::min(to, first);
  }
  *start = OffsetOf(from);
  *end = OffsetOf(to);
  return {};
}

void SourceBoxAccessible::deleteText(int start, int end) {
  replaceText(start, end, QString());
}

void SourceBoxAccessible::insertText(int offset, const QString& text) {
  replaceText(offset, offset, text);
}

void SourceBoxAccessible::replaceText(int start, int end, const QString& text) {
  box().Select(ByteOf(start), ByteOf(end));
  box().insert(text.toStdString());
}

}  // namespace vx::window

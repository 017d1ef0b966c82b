#pragma once

// What assistive technology reads of the source box: its text exactly (the
// page's characters, line ends as they are), the caret and the selection,
// and edits through the editable-text interface.
//
// Offsets count UTF-16 units, as for Qt's own text boxes (the platform
// bridge translates them): a character outside the Basic Multilingual Plane
// counts two. Malformed bytes read as U+FFFD.

#include <QAccessibleWidget>

namespace vx::window {

class SourceBox;

// Installs the interface's factory (once per process).
void InstallSourceBoxAccessibility();

class SourceBoxAccessible : public QAccessibleWidget,
                            public QAccessibleTextInterface,
                            public QAccessibleEditableTextInterface {
 public:
  explicit SourceBoxAccessible(SourceBox* box);

  void* interface_cast(QAccessible::InterfaceType type) override;
  QAccessible::State state() const override;

  // QAccessibleTextInterface.
  void selection(int index, int* start, int* end) const override;
  int selectionCount() const override;
  void addSelection(int start, int end) override;
  void removeSelection(int index) override;
  void setSelection(int index, int start, int end) override;
  int cursorPosition() const override;
  void setCursorPosition(int position) override;
  QString text(int start, int end) const override;
  using QAccessibleWidget::text;
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                           int* end) const override;
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                          int* end) const override;
  QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                       int* end) const override;
  int characterCount() const override;
  QRect characterRect(int offset) const override;
  int offsetAtPoint(const QPoint& point) const override;
  void scrollToSubstring(int start, int end) override;
  QString attributes(int offset, int* start, int* end) const override;

  // QAccessibleEditableTextInterface.
  void deleteText(int start, int end) override;
  void insertText(int offset, const QString& text) override;
  void replaceText(int start, int end, const QString& text) override;

 private:
  SourceBox& box() const;
  std::size_t ByteOf(int offset) const;
  int OffsetOf(std::size_t byte) const;
  // The unit of text of a kind around an offset, as [start, end).
  std::pair<int, int> Around(int offset, QAccessible::TextBoundaryType type) const;
};

}  // namespace vx::window

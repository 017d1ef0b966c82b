#pragma once

// The source box (Text2): a multi-line text box made for page sources.
//
// It keeps the page once, as UTF-8 (SourceText), and lays out only the rows
// in view (SourceRows), so a page of many megabytes, or one minified onto a
// single line, opens at once and stays quick to edit; nothing is added to or
// taken from the text to show it. It is its own QAbstractScrollArea because
// a QPlainTextEdit lays out each line as a whole and keeps the text a second
// time, as UTF-16.
//
// Positions inside are byte offsets of the text; the check run's SelStart and
// SelLength count characters (code points), assistive technology UTF-16
// units, as Qt's own text boxes do.

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/window/check_ports.h"
#include "app/window/source_rows.h"
#include "app/window/source_text.h"

class QFrame;
class QSettings;
class QLabel;
class QMenu;

namespace vx::window {

// The application's settings; a program that named no organisation keeps
// them under Vettrix's name.
std::unique_ptr<QSettings> AppSettings();

class FindBar;
class GoToLineBar;
struct SourceBoxFindState;

class SourceBox : public QAbstractScrollArea, public app::SourceView {
  Q_OBJECT

 public:
  // Settings keys (QSettings of the application).
  static constexpr const char* kWrapKey = "SourceBox/wrapLines";
  static constexpr const char* kColourKey = "SourceBox/colourMarkup";
  // How long after the last edit the find bar counts the matches again.
  static constexpr int kRecountDelayMs = 150;

  explicit SourceBox(QWidget* parent = nullptr);
  ~SourceBox() override;

  // SourceView.
  const std::string& Text() const override;
  void SetText(std::string text) override;
  std::uint64_t TextRevision() const override { return revision_; }
  void SetSelStart(std::size_t chars) override;
  void SetSelLength(std::size_t chars) override;
  std::string SelText() const override;

  // The selection as byte offsets into Text(), in order, and its ends as the
  // user made it (anchor, caret).
  std::pair<std::size_t, std::size_t> SelectedBytes() const;
  std::size_t Anchor() const { return anchor_; }
  std::size_t Caret() const { return caret_; }
  // Selects bytes from `anchor` to `caret` (each moved to a character start)
  // and scrolls the caret into view.
  void Select(std::size_t anchor, std::size_t caret);

  // Highlights byte ranges (offset, length) of Text() without touching the
  // selection, and scrolls the first into view. Editing the text drops them.
  void Highlight(const std::vector<std::pair<std::size_t, std::size_t>>& byte_ranges);
  void ClearHighlight();
  // The highlighted ranges as [begin, end) bytes, in order.
  // Where assistive technology reads: the first highlighted occurrence
  // after Highlight, until the caret moves or the highlight goes; the caret
  // otherwise. The caret and the selection themselves stay as they are.
  std::size_t ReadingPosition() const { return reading_ ? *reading_ : caret_; }
  const std::vector<std::pair<std::size_t, std::size_t>>& highlightedRanges() const {
    return highlights_;
  }

  // The caret's line and column, counted as `vettrix check` counts them
  // (1-based; lines end at "\r\n", "\r" or "\n"; columns in characters).
  std::pair<std::size_t, std::size_t> CaretLineColumn() const;
  // Puts the caret on a line (and column), clamped to the text.
  void GoToLine(std::size_t line, std::size_t column = 1);
  std::size_t LineCount() const { return text_.LineCount(); }

  // Soft wrapping of long lines at the view's width (on by default; the
  // choice is kept in the application's settings).
  bool wrapsLines() const { return rows_.Wraps(); }
  void setWrapsLines(bool wrap);
  bool coloursMarkup() const { return colours_; }
  void setColoursMarkup(bool colours);
  // Whether the box shows the caret's line and column in its own corner
  // (a status line that shows them can turn this off).
  void setPositionShown(bool shown);
  bool positionShown() const { return position_shown_; }
  QLabel* positionLabel() const { return position_label_; }

  // Editing as the keys do it.
  bool canUndo() const { return !undo_.empty(); }
  bool canRedo() const { return !redo_.empty(); }
  void undo();
  void redo();
  void cut();
  void copy() const;
  void paste();
  void selectAll();
  // Replaces the selection by `text` (UTF-8), as typing does.
  void insert(const std::string& text);

  // Find (Ctrl+F, F3, Shift+F3) and go to line (Ctrl+G).
  FindBar& findBar() const { return *find_bar_; }
  GoToLineBar& goToLineBar() const { return *go_to_bar_; }
  void openFind();
  void openGoToLine();
  // Selects the next (previous) match of the find bar's query from the
  // selection; false when there is none.
  bool findNext(bool backward = false);

  // The menu the context menu shows (for tests).
  QMenu* createContextMenu();

  // What the view shows: the first row's first byte, and the rows laid out.
  std::size_t topByte() const { return top_; }
  SourceRows& rows() { return rows_; }
  const SourceText& store() const { return text_; }
  // The rectangle of a position's caret in viewport coordinates (empty
  // when it is out of view).
  QRect caretRect(std::size_t byte);
  // The position under a viewport point.
  std::size_t positionAt(const QPoint& point);
  // Scrolls a position into view without moving the caret.
  void ShowByte(std::size_t byte) { EnsureVisible(byte); }

 signals:
  // Whenever the caret moves or the text changes under it.
  void caretMoved(qint64 line, qint64 column);
  void textEdited();
  void selectionChanged();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void changeEvent(QEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;

 private:
  struct Edit {
    std::size_t at = 0;
    std::string removed;
    std::string inserted;
    std::size_t anchor_before = 0;
    std::size_t caret_before = 0;
    enum Kind { Other, Typing, Deleting } kind = Other;
  };

  // Every change of the text goes through here.
  void Replace(std::size_t at, std::size_t removed, std::string_view inserted, Edit::Kind kind,
               bool record = true);
  void ReplaceSelection(const std::string& text, Edit::Kind kind);
  // After an edit: the view, the scroll bars and the caret brought up to date.
  void AfterEdit();
  void Apply(const Edit& edit, bool forward);
  void MoveCaret(std::size_t to, bool select, bool upstream = false);
  void SetSelectionBytes(std::size_t anchor, std::size_t caret);
  void AfterCaretMove(bool ensure_visible = true);

  // Keyboard moves.
  std::size_t WordRight(std::size_t from) const;
  std::size_t WordLeft(std::size_t from) const;
  std::pair<std::size_t, std::size_t> WordAt(std::size_t at) const;
  std::size_t VerticalMove(int rows);
  int CaretX();
  std::string LineEnding() const;

  // The view.
  int VisibleRows() const;
  // Room left of and above the text, as a plain-text editor leaves it.
  int Margin() const { return 4; }
  int Top() const { return 3; }
  bool RowInView(std::size_t byte, bool upstream);
  void EnsureVisible(std::size_t byte, bool upstream = false);
  void EnsureColumnVisible(std::size_t byte);
  std::pair<std::size_t, bool> HitTest(const QPoint& point);
  void DragTo(const QPoint& point);
  void UpdateFindCount();
  void ScrollRows(int rows);
  void UpdateScrollBars();
  std::size_t BottomTop();
  void SetTop(std::size_t byte);
  // The bars above the text and the position below it.
  void LayoutChrome();
  void PlaceChrome();
  void OnViewportResized();
  QFrame* OpenBar() const;
  void UpdatePositionLabel();
  void RestartBlink();

  void OnScrollAction(int action);

  mutable SourceText text_;
  SourceRows rows_;
  std::uint64_t revision_ = 0;
  std::size_t anchor_ = 0;
  std::size_t caret_ = 0;
  bool upstream_ = false;  // the caret shows at the end of the row before
  int desired_x_ = -1;     // kept through up and down moves
  std::size_t top_ = 0;    // first byte of the first row in view
  std::optional<std::size_t> pending_top_;
  std::optional<std::size_t> bottom_top_;  // the top that shows the last row last
  bool syncing_ = false;                   // the scroll bars are being set
  bool merge_ok_ = false;                  // the next typing may join the last undo step
  int wheel_rest_ = 0;
  int scroll_shift_ = 0;  // the vertical scroll bar counts bytes >> this
  bool colours_ = false;
  bool position_shown_ = true;
  std::vector<std::pair<std::size_t, std::size_t>> highlights_;
  std::optional<std::size_t> reading_;
  std::vector<Edit> undo_;
  std::vector<Edit> redo_;
  std::size_t longest_line_ = 0;  // bytes; for the horizontal scroll bar

  // Mouse selection.
  bool dragging_ = false;
  std::pair<std::size_t, std::size_t> drag_unit_{0, 0};  // word or line being extended
  QPoint drag_point_;
  QBasicTimer drag_timer_;
  QElapsedTimer last_double_click_;

  QBasicTimer blink_timer_;
  QBasicTimer count_timer_;  // the find bar's count, after an edit
  bool caret_on_ = true;

  std::unique_ptr<SourceBoxFindState> find_state_;
  FindBar* find_bar_ = nullptr;
  GoToLineBar* go_to_bar_ = nullptr;
  QLabel* position_label_ = nullptr;
};

}  // namespace vx::window

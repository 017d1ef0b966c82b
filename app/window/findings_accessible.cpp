#include "app/window/findings_accessible.h"

#include <QHeaderView>
#include <QPointer>

#include "app/window/controls.h"
#include "button/qt/container.h"

namespace vx::window {
namespace {

// Read from the selection model, not the item: the tree view tells of a new
// selection before the items have heard of it.
bool RowSelected(const FindingsView& view, int row) {
  return view.selectionModel()->isSelected(view.model()->index(row, 0));
}

QAccessibleInterface* Factory(const QString& /*class_name*/, QObject* object) {
  if (auto* view = qobject_cast<FindingsView*>(object)) return new FindingsAccessible(view);
  // A frame on a form groups controls; it is no window of its own.
  if (auto* frame = qobject_cast<qt::ContainerWidget*>(object); frame && !frame->isWindow()) {
    return new QAccessibleWidget(frame, QAccessible::Grouping);
  }
  return nullptr;
}

// What every part of the list shares: it belongs to the list's table and has
// no children of its own.
class ListPart : public QAccessibleInterface {
 public:
  explicit ListPart(FindingsView* view) : view_(view) {}

  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(view_.data());
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  void setText(QAccessible::Text, const QString&) override {}

 protected:
  QPointer<FindingsView> view_;
};

// One cell of the list: its text, where it is on screen, whether its row is
// selected.
class Cell : public ListPart, public QAccessibleTableCellInterface {
 public:
  Cell(FindingsView* view, int row, int column) : ListPart(view), row_(row), column_(column) {}

  bool isValid() const override {
    return view_ && row_ < view_->topLevelItemCount() && column_ < view_->columnCount();
  }
  QAccessible::Role role() const override { return QAccessible::Cell; }

  QString text(QAccessible::Text t) const override {
    if (!isValid()) return {};
    if (t == QAccessible::Name) return Item()->text(column_);
    // A rated finding's severity ("high"), then, for a selected finding, its
    // occurrences: how many, and where in the markup.
    if (t == QAccessible::Description) {
      const QString severity = FindingsView::SeverityOf(Item());
      const QString summary = view_->SummaryOf(Item());
      if (severity.isEmpty()) return summary;
      if (summary.isEmpty()) return severity;
      return severity + QStringLiteral("; ") + summary;
    }
    return {};
  }

  QRect rect() const override {
    if (!isValid()) return {};
    QRect r = view_->visualItemRect(Item());
    r.setLeft(view_->header()->sectionViewportPosition(column_));
    r.setWidth(view_->header()->sectionSize(column_));
    return QRect(view_->viewport()->mapToGlobal(r.topLeft()), r.size());
  }

  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) {
      s.invalid = true;
      return s;
    }
    s.selectable = true;
    s.focusable = true;
    s.selected = RowSelected(*view_, row_);
    // The current row shows a focus frame only while the list has the
    // keyboard: a reader must not hear of focus that is elsewhere.
    s.focused = view_->hasFocus() && view_->currentItem() == Item() && column_ == 0;
    const QRect visible = view_->viewport()->rect();
    if (!visible.intersects(view_->visualItemRect(Item())) || !view_->isVisible()) {
      s.invisible = true;
      s.offscreen = true;
    }
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TableCellInterface) {
      return static_cast<QAccessibleTableCellInterface*>(this);
    }
    return nullptr;
  }

  // QAccessibleTableCellInterface.
  bool isSelected() const override { return isValid() && RowSelected(*view_, row_); }
  QList<QAccessibleInterface*> columnHeaderCells() const override {
    auto* list = dynamic_cast<FindingsAccessible*>(parent());
    QAccessibleInterface* header = list != nullptr ? list->headerCell(column_) : nullptr;
    return header != nullptr ? QList<QAccessibleInterface*>{header}
                             : QList<QAccessibleInterface*>{};
  }
  QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
  int columnIndex() const override { return column_; }
  int rowIndex() const override { return row_; }
  int columnExtent() const override { return 1; }
  int rowExtent() const override { return 1; }
  QAccessibleInterface* table() const override { return parent(); }

 private:
  QTreeWidgetItem* Item() const { return view_->topLevelItem(row_); }

  int row_;
  int column_;
};

// A column's heading ("Detected", "Description").
class HeaderCell : public ListPart {
 public:
  HeaderCell(FindingsView* view, int column) : ListPart(view), column_(column) {}

  bool isValid() const override { return view_ && column_ < view_->columnCount(); }
  QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
  QString text(QAccessible::Text t) const override {
    if (!isValid() || t != QAccessible::Name) return {};
    return view_->headerItem()->text(column_);
  }
  QRect rect() const override {
    if (!isValid()) return {};
    const QHeaderView* header = view_->header();
    const QRect r(header->sectionViewportPosition(column_), 0, header->sectionSize(column_),
                  header->height());
    return QRect(header->viewport()->mapToGlobal(r.topLeft()), r.size());
  }
  QAccessible::State state() const override {
    QAccessible::State s;
    s.invalid = !isValid();
    s.invisible = !isValid() || view_->header()->isHidden();
    return s;
  }
  int column() const { return column_; }

 private:
  int column_;
};

}  // namespace

void InstallFindingsAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

FindingsAccessible::FindingsAccessible(FindingsView* view)
    : QAccessibleWidget(view, QAccessible::Table) {}

FindingsAccessible::~FindingsAccessible() {
  DropCells();
}

FindingsView& FindingsAccessible::view() const {
  return *static_cast<FindingsView*>(widget());
}

void* FindingsAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
  return QAccessibleWidget::interface_cast(type);
}

int FindingsAccessible::rowCount() const {
  return view().topLevelItemCount();
}

int FindingsAccessible::columnCount() const {
  return view().columnCount();
}

// Children are numbered as the tree view numbers them in the focus and
// selection events it sends: the headings first, then the rows, a row's
// cells from left to right.
int FindingsAccessible::childCount() const {
  return (rowCount() + 1) * columnCount();
}

QAccessibleInterface* FindingsAccessible::child(int index) const {
  if (index < 0 || columnCount() == 0 || index >= childCount()) return nullptr;
  const int row = index / columnCount() - 1;
  return row < 0 ? headerCell(index) : cellAt(row, index % columnCount());
}

int FindingsAccessible::indexOfChild(const QAccessibleInterface* child) const {
  if (child == nullptr || child->parent() != this) return -1;
  if (auto* header = dynamic_cast<const HeaderCell*>(child)) return header->column();
  auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface();
  if (cell == nullptr) return -1;
  return (cell->rowIndex() + 1) * columnCount() + cell->columnIndex();
}

QAccessibleInterface* FindingsAccessible::headerCell(int column) const {
  if (column < 0 || column >= columnCount()) return nullptr;
  const auto key = std::make_pair(-1, column);
  if (auto it = cells_.find(key); it != cells_.end()) {
    if (QAccessibleInterface* header = QAccessible::accessibleInterface(it->second)) return header;
  }
  auto* header = new HeaderCell(&view(), column);
  cells_[key] = QAccessible::registerAccessibleInterface(header);
  return header;
}

QAccessibleInterface* FindingsAccessible::cellAt(int row, int column) const {
  if (row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return nullptr;
  const auto key = std::make_pair(row, column);
  if (auto it = cells_.find(key); it != cells_.end()) {
    if (QAccessibleInterface* cell = QAccessible::accessibleInterface(it->second)) return cell;
  }
  auto* cell = new Cell(&view(), row, column);
  cells_[key] = QAccessible::registerAccessibleInterface(cell);
  return cell;
}

QAccessibleInterface* FindingsAccessible::childAt(int x, int y) const {
  const QHeaderView* header = view().header();
  const QPoint h = header->viewport()->mapFromGlobal(QPoint(x, y));
  if (header->isVisible() && header->viewport()->rect().contains(h)) {
    return headerCell(header->logicalIndexAt(h.x()));
  }
  const QPoint p = view().viewport()->mapFromGlobal(QPoint(x, y));
  const QTreeWidgetItem* item = view().itemAt(p);
  if (item == nullptr) return nullptr;
  return cellAt(view().indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)),
                view().header()->logicalIndexAt(p.x()));
}

QAccessibleInterface* FindingsAccessible::focusChild() const {
  if (!view().hasFocus() || view().currentItem() == nullptr) return nullptr;
  return cellAt(view().indexOfTopLevelItem(view().currentItem()), 0);
}

int FindingsAccessible::selectedRowCount() const {
  return static_cast<int>(selectedRows().size());
}

QList<int> FindingsAccessible::selectedRows() const {
  QList<int> rows;
  for (int i = 0; i < rowCount(); ++i) {
    if (RowSelected(view(), i)) rows << i;
  }
  return rows;
}

bool FindingsAccessible::isRowSelected(int row) const {
  return row >= 0 && row < rowCount() && RowSelected(view(), row);
}

bool FindingsAccessible::selectRow(int row) {
  if (row < 0 || row >= rowCount()) return false;
  // One finding at a time, as with the mouse and the keyboard.
  view().setCurrentItem(view().topLevelItem(row));
  return true;
}

bool FindingsAccessible::unselectRow(int row) {
  if (row < 0 || row >= rowCount()) return false;
  view().topLevelItem(row)->setSelected(false);
  return true;
}

int FindingsAccessible::selectedCellCount() const {
  return selectedRowCount() * columnCount();
}

QList<QAccessibleInterface*> FindingsAccessible::selectedCells() const {
  QList<QAccessibleInterface*> cells;
  for (int row : selectedRows()) {
    for (int c = 0; c < columnCount(); ++c) cells << cellAt(row, c);
  }
  return cells;
}

QString FindingsAccessible::columnDescription(int column) const {
  const QTreeWidgetItem* header = view().headerItem();
  return header != nullptr ? header->text(column) : QString();
}

void FindingsAccessible::modelChange(QAccessibleTableModelChangeEvent* /*event*/) {
  DropCells();
}

void FindingsAccessible::DropCells() {
  for (const auto& [key, id] : cells_) {
    if (QAccessible::accessibleInterface(id) != nullptr) QAccessible::deleteAccessibleInterface(id);
  }
  cells_.clear();
}

}  // namespace vx::window

#pragma once

// What assistive technology reads of the findings list: a table of findings
// (one row each, the "Detected" and "Description" columns), whose rows can be
// read, selected and unselected through the table interface. A cell is
// focused only while the list has the keyboard focus, and a check that fills
// or clears the list is told as rows inserted and removed.

#include <QAccessibleWidget>
#include <map>
#include <utility>

namespace vx::window {

class FindingsView;

// Installs the interface's factory (once per process).
void InstallFindingsAccessibility();

class FindingsAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
 public:
  explicit FindingsAccessible(FindingsView* view);
  ~FindingsAccessible() override;

  void* interface_cast(QAccessible::InterfaceType type) override;
  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;

  // QAccessibleTableInterface.
  QAccessibleInterface* caption() const override { return nullptr; }
  QAccessibleInterface* summary() const override { return nullptr; }
  QAccessibleInterface* cellAt(int row, int column) const override;
  int selectedCellCount() const override;
  QList<QAccessibleInterface*> selectedCells() const override;
  QString columnDescription(int column) const override;
  QString rowDescription(int) const override { return {}; }
  int selectedColumnCount() const override { return 0; }
  int selectedRowCount() const override;
  int columnCount() const override;
  int rowCount() const override;
  QList<int> selectedColumns() const override { return {}; }
  QList<int> selectedRows() const override;
  bool isColumnSelected(int) const override { return false; }
  bool isRowSelected(int row) const override;
  bool selectRow(int row) override;
  bool selectColumn(int) override { return false; }
  bool unselectRow(int row) override;
  bool unselectColumn(int) override { return false; }
  void modelChange(QAccessibleTableModelChangeEvent* event) override;

  FindingsView& view() const;
  // The heading of a column, a child of the table before the rows.
  QAccessibleInterface* headerCell(int column) const;

 private:
  // Cells and headings (row -1) are made when asked for and kept until the
  // rows change.
  void DropCells();
  mutable std::map<std::pair<int, int>, QAccessible::Id> cells_;
};

}  // namespace vx::window

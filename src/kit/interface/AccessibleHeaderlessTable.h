#pragma once

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>

class QAbstractItemModel;
class QTableView;

namespace zk {

// A table view without headers as a screen reader meets it: its cells are its only children, the
// cell at (row, column) being child row * columns + column, so that a child's index, the cell at a
// row and column, and the index the view's focus and selection events carry name the same cell.
class AccessibleHeaderlessTable : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit AccessibleHeaderlessTable(QTableView* view);
    ~AccessibleHeaderlessTable() override;

    void* interface_cast(QAccessible::InterfaceType type) override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    // Never nothing: a row or column the table does not have gives a cell that is not valid.
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    // Nothing describes a row or a column: the headers that would are hidden.
    QString columnDescription(int) const override { return {}; }
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override;
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override;
    QList<int> selectedRows() const override;
    bool isColumnSelected(int column) const override;
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int column) override;
    bool unselectRow(int row) override;
    bool unselectColumn(int column) override;
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

private:
    QTableView* view() const;
    QAbstractItemModel* model() const;
    bool select(int row, int column, bool on);
    // The cell at (row, column); nothing where the table has none.
    QAccessibleInterface* existingCell(int row, int column) const;
    // Lets go of the cells made so far: their rows may have moved or gone.
    void forgetCells();

    // The cells made so far by child index, kept so that a reader is given the same cell each time.
    mutable QHash<int, QAccessible::Id> m_cells;
    // The one cell answered for every place the table does not have, made on first use.
    mutable QAccessible::Id m_absentCell = 0;
};

} // namespace zk

#include "kit/interface/AccessibleHeaderlessTable.h"

#include "kit/interface/AccessibleAbsentCell.h"
#include "kit/interface/AccessibleTableCell.h"

#include <QTableView>

namespace zk {

AccessibleHeaderlessTable::AccessibleHeaderlessTable(QTableView* view)
    : QAccessibleWidget(view, QAccessible::Table)
{
}

AccessibleHeaderlessTable::~AccessibleHeaderlessTable()
{
    forgetCells();
    if (m_absentCell && QAccessible::accessibleInterface(m_absentCell)) {
        QAccessible::deleteAccessibleInterface(m_absentCell);
    }
}

void* AccessibleHeaderlessTable::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface) {
        return static_cast<QAccessibleTableInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

QTableView* AccessibleHeaderlessTable::view() const
{
    return static_cast<QTableView*>(object());
}

QAbstractItemModel* AccessibleHeaderlessTable::model() const
{
    return view() ? view()->model() : nullptr;
}

int AccessibleHeaderlessTable::rowCount() const
{
    return model() ? model()->rowCount(view()->rootIndex()) : 0;
}

int AccessibleHeaderlessTable::columnCount() const
{
    return model() ? model()->columnCount(view()->rootIndex()) : 0;
}

int AccessibleHeaderlessTable::childCount() const
{
    return rowCount() * columnCount();
}

QAccessibleInterface* AccessibleHeaderlessTable::child(int index) const
{
    if (index < 0 || index >= childCount()) {
        return nullptr;
    }
    const int columns = columnCount();
    const QModelIndex cell = model()->index(index / columns, index % columns, view()->rootIndex());
    if (const auto known = m_cells.constFind(index); known != m_cells.constEnd()) {
        auto* made = static_cast<AccessibleTableCell*>(QAccessible::accessibleInterface(*known));
        if (made && made->isValid() && made->index() == cell) {
            return made;
        }
        // The rows moved without a word to a reader (none was listening): it is made again.
        if (made) {
            QAccessible::deleteAccessibleInterface(*known);
        }
        m_cells.erase(known);
    }
    auto* made = new AccessibleTableCell(view(), cell);
    m_cells.insert(index, QAccessible::registerAccessibleInterface(made));
    return made;
}

int AccessibleHeaderlessTable::indexOfChild(const QAccessibleInterface* child) const
{
    auto* cell = child ? const_cast<QAccessibleInterface*>(child)->tableCellInterface() : nullptr;
    if (!cell || !child->isValid() || cell->table() != this) {
        return -1;
    }
    return cell->rowIndex() * columnCount() + cell->columnIndex();
}

QAccessibleInterface* AccessibleHeaderlessTable::childAt(int x, int y) const
{
    const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? existingCell(index.row(), index.column()) : nullptr;
}

QAccessibleInterface* AccessibleHeaderlessTable::focusChild() const
{
    const QModelIndex current = view()->currentIndex();
    return current.isValid() ? existingCell(current.row(), current.column()) : nullptr;
}

QAccessibleInterface* AccessibleHeaderlessTable::existingCell(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) {
        return nullptr;
    }
    return child(row * columnCount() + column);
}

QAccessibleInterface* AccessibleHeaderlessTable::cellAt(int row, int column) const
{
    if (QAccessibleInterface* cell = existingCell(row, column)) {
        return cell;
    }
    if (QAccessibleInterface* absent
        = m_absentCell ? QAccessible::accessibleInterface(m_absentCell) : nullptr) {
        return absent;
    }
    auto* absent = new AccessibleAbsentCell;
    m_absentCell = QAccessible::registerAccessibleInterface(absent);
    return absent;
}

int AccessibleHeaderlessTable::selectedCellCount() const
{
    return view()->selectionModel() ? static_cast<int>(view()->selectionModel()->selectedIndexes().size())
                                    : 0;
}

QList<QAccessibleInterface*> AccessibleHeaderlessTable::selectedCells() const
{
    QList<QAccessibleInterface*> cells;
    if (view()->selectionModel()) {
        for (const QModelIndex& index : view()->selectionModel()->selectedIndexes()) {
            if (QAccessibleInterface* cell = existingCell(index.row(), index.column())) {
                cells.append(cell);
            }
        }
    }
    return cells;
}

int AccessibleHeaderlessTable::selectedColumnCount() const
{
    return static_cast<int>(selectedColumns().size());
}

int AccessibleHeaderlessTable::selectedRowCount() const
{
    return static_cast<int>(selectedRows().size());
}

QList<int> AccessibleHeaderlessTable::selectedColumns() const
{
    QList<int> columns;
    if (view()->selectionModel()) {
        for (const QModelIndex& index : view()->selectionModel()->selectedColumns()) {
            columns.append(index.column());
        }
    }
    return columns;
}

QList<int> AccessibleHeaderlessTable::selectedRows() const
{
    QList<int> rows;
    if (view()->selectionModel()) {
        for (const QModelIndex& index : view()->selectionModel()->selectedRows()) {
            rows.append(index.row());
        }
    }
    return rows;
}

bool AccessibleHeaderlessTable::isColumnSelected(int column) const
{
    return view()->selectionModel()
        && view()->selectionModel()->isColumnSelected(column, view()->rootIndex());
}

bool AccessibleHeaderlessTable::isRowSelected(int row) const
{
    return view()->selectionModel() && view()->selectionModel()->isRowSelected(row, view()->rootIndex());
}

bool AccessibleHeaderlessTable::selectRow(int row)
{
    return select(row, -1, true);
}

bool AccessibleHeaderlessTable::selectColumn(int column)
{
    return select(-1, column, true);
}

bool AccessibleHeaderlessTable::unselectRow(int row)
{
    return select(row, -1, false);
}

bool AccessibleHeaderlessTable::unselectColumn(int column)
{
    return select(-1, column, false);
}

// A whole row (column -1) or a whole column (row -1), where the view lets one be chosen.
bool AccessibleHeaderlessTable::select(int row, int column, bool on)
{
    const bool wholeRow = column < 0;
    const QModelIndex index = model()
        ? model()->index(wholeRow ? row : 0, wholeRow ? 0 : column, view()->rootIndex())
        : QModelIndex();
    const auto refused = wholeRow ? QAbstractItemView::SelectColumns : QAbstractItemView::SelectRows;
    if (!index.isValid() || !view()->selectionModel()
        || view()->selectionMode() == QAbstractItemView::NoSelection
        || (on && view()->selectionBehavior() == refused)) {
        return false;
    }
    QItemSelectionModel::SelectionFlags flags = !on                     ? QItemSelectionModel::Deselect
        : view()->selectionMode() == QAbstractItemView::SingleSelection ? QItemSelectionModel::ClearAndSelect
                                                                        : QItemSelectionModel::Select;
    flags |= wholeRow ? QItemSelectionModel::Rows : QItemSelectionModel::Columns;
    view()->selectionModel()->select(index, flags);
    return true;
}

void AccessibleHeaderlessTable::modelChange(QAccessibleTableModelChangeEvent* event)
{
    if (event->modelChangeType() != QAccessibleTableModelChangeEvent::DataChanged) {
        forgetCells();
    }
}

void AccessibleHeaderlessTable::forgetCells()
{
    for (const QAccessible::Id id : std::as_const(m_cells)) {
        if (QAccessible::accessibleInterface(id)) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }
    m_cells.clear();
}

} // namespace zk

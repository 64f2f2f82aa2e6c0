#include "kit/interface/HoverableTableView.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>

#include <algorithm>

namespace zk {

HoverableTableView::HoverableTableView(QWidget* parent)
    : QTableView(parent)
{
    // The pointer is followed without a button held.
    setMouseTracking(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void HoverableTableView::setModel(QAbstractItemModel* newModel)
{
    if (model()) {
        disconnect(model(), nullptr, this, nullptr);
    }
    QTableView::setModel(newModel);
    if (!newModel) {
        return;
    }
    connect(newModel, &QAbstractItemModel::modelAboutToBeReset, this,
        [this] { m_rowBeforeReset = selectedRow(); });
    // Queued after the view's own handling of the reset, which clears the selection.
    connect(newModel, &QAbstractItemModel::modelReset, this, [this] {
        const int row = m_rowBeforeReset;
        m_rowBeforeReset = -1;
        reselect(row);
    });
}

void HoverableTableView::reloadData()
{
    const int row = selectedRow();
    QTableView::reset();
    reselect(row);
}

void HoverableTableView::reselect(int row)
{
    if (row < 0) {
        return;
    }
    selectOnly(std::min(row, numberOfRows() - 1));
}

int HoverableTableView::numberOfRows() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int HoverableTableView::selectedRow() const
{
    if (!selectionModel()) {
        return -1;
    }
    const auto rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

int HoverableTableView::selectedColumn() const
{
    if (!selectionModel()) {
        return -1;
    }
    const auto indexes = selectionModel()->selectedIndexes();
    return indexes.isEmpty() ? -1 : indexes.front().column();
}

int HoverableTableView::clickedRow() const
{
    return m_clickedRowOverride.value_or(m_clickedRow);
}

int HoverableTableView::clickedColumn() const
{
    return m_clickedColumnOverride.value_or(m_clickedColumn);
}

bool HoverableTableView::isSelectable(int row) const
{
    if (!model() || row < 0 || row >= model()->rowCount(rootIndex())) {
        return false;
    }
    const auto flags = model()->flags(model()->index(row, 0, rootIndex()));
    return flags.testFlag(Qt::ItemIsSelectable) && flags.testFlag(Qt::ItemIsEnabled);
}

int HoverableTableView::firstSelectableRow() const
{
    const int count = numberOfRows();
    for (int row = 0; row < count; ++row) {
        if (isSelectable(row)) {
            return row;
        }
    }
    return -1;
}

int HoverableTableView::lastSelectableRow() const
{
    for (int row = numberOfRows() - 1; row >= 0; --row) {
        if (isSelectable(row)) {
            return row;
        }
    }
    return -1;
}

void HoverableTableView::selectOnly(int row)
{
    if (!isSelectable(row) || !selectionModel()) {
        return;
    }
    const QModelIndex index = model()->index(row, 0, rootIndex());
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void HoverableTableView::mouseMoveEvent(QMouseEvent* event)
{
    const int row = rowAt(event->position().toPoint().y());
    if (row != -1 && row != selectedRow()) {
        selectOnly(row);
    }
}

void HoverableTableView::leaveEvent(QEvent* event)
{
    if (!keepSelection && selectionModel()) {
        selectionModel()->clearSelection();
    }
    QTableView::leaveEvent(event);
}

void HoverableTableView::mousePressEvent(QMouseEvent* event)
{
    QTableView::mousePressEvent(event);
    const QPoint point = event->position().toPoint();
    m_clickedRow = rowAt(point.y());
    m_clickedColumn = columnAt(point.x());
    if (m_clickedRow != -1) {
        selectOnly(m_clickedRow);
    }
}

void HoverableTableView::cycleSelection(int row)
{
    if (!shouldCycle || !isSelectable(row)) {
        return;
    }
    selectOnly(row);
    const QModelIndex index = model()->index(row, 0, rootIndex());
    scrollTo(
        index, centerSelectedRow ? QAbstractItemView::PositionAtCenter : QAbstractItemView::EnsureVisible);
}

void HoverableTableView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Down:
        if (const int last = lastSelectableRow(); last != -1 && selectedRow() == last) {
            cycleSelection(firstSelectableRow());
            event->accept();
            return;
        }
        break;
    case Qt::Key_Up:
        if (const int first = firstSelectableRow(); first != -1 && selectedRow() == first) {
            cycleSelection(lastSelectableRow());
            event->accept();
            return;
        }
        break;
    case Qt::Key_Return: {
        const int row = selectedRow();
        selectOnly(row);
        if (isSignalConnected(QMetaMethod::fromSignal(&HoverableTableView::actionTriggered))) {
            m_clickedRowOverride = row;
            m_clickedColumnOverride = selectedColumn();
            emit actionTriggered();
            m_clickedRowOverride.reset();
            m_clickedColumnOverride.reset();
        }
        break;
    }
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

} // namespace zk

#include "kit/interface/HeaderlessTableView.h"

#include "kit/interface/Accessibility.h"

#include <QAccessible>
#include <QHeaderView>

namespace zk {

HeaderlessTableView::HeaderlessTableView(QWidget* parent)
    : QTableView(parent)
{
    installAccessibility();
    horizontalHeader()->hide();
    verticalHeader()->hide();
}

int HeaderlessTableView::accessibleChildIndex(const QModelIndex& index) const
{
    return index.row() * model()->columnCount(rootIndex()) + index.column();
}

// QTableView's own versions tell a reader of the cell by an index that counts the headers; the
// item view's are called instead, and the reader is told by the cell's index without them.
void HeaderlessTableView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    tellReaders(QAccessible::Focus, current);
    QAbstractItemView::currentChanged(current, previous);
}

void HeaderlessTableView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    tellReaders(QAccessible::SelectionAdd, selected.indexes().value(0));
    tellReaders(QAccessible::SelectionRemove, deselected.indexes().value(0));
    QAbstractItemView::selectionChanged(selected, deselected);
}

void HeaderlessTableView::tellReaders(QAccessible::Event type, const QModelIndex& index)
{
    if (QAccessible::isActive() && index.isValid()) {
        QAccessibleEvent event(this, type);
        event.setChild(accessibleChildIndex(index));
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace zk

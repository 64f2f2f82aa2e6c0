#include "kit/interface/AccessibleTableCell.h"

#include <QTableView>
#include <QWindow>

namespace zk {

AccessibleTableCell::AccessibleTableCell(QTableView* view, const QModelIndex& index)
    : m_view(view)
    , m_index(index)
{
}

void* AccessibleTableCell::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableCellInterface) {
        return static_cast<QAccessibleTableCellInterface*>(this);
    }
    if (type == QAccessible::ActionInterface) {
        return static_cast<QAccessibleActionInterface*>(this);
    }
    return nullptr;
}

bool AccessibleTableCell::isValid() const
{
    return m_view && m_index.isValid();
}

QWindow* AccessibleTableCell::window() const
{
    return m_view ? m_view->window()->windowHandle() : nullptr;
}

QAccessibleInterface* AccessibleTableCell::parent() const
{
    return m_view ? QAccessible::queryAccessibleInterface(m_view) : nullptr;
}

QString AccessibleTableCell::text(QAccessible::Text t) const
{
    if (!isValid()) {
        return {};
    }
    switch (t) {
    case QAccessible::Name: {
        const QString text = m_index.data(Qt::AccessibleTextRole).toString();
        return text.isEmpty() ? m_index.data(Qt::DisplayRole).toString() : text;
    }
    case QAccessible::Description:
        return m_index.data(Qt::AccessibleDescriptionRole).toString();
    default:
        return {};
    }
}

QRect AccessibleTableCell::rect() const
{
    if (!isValid()) {
        return {};
    }
    return m_view->visualRect(m_index).translated(m_view->viewport()->mapToGlobal(QPoint(0, 0)));
}

QAccessible::State AccessibleTableCell::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    if (!m_view->viewport()->rect().intersects(m_view->visualRect(m_index))) {
        state.invisible = true;
        state.offscreen = true;
    }
    const Qt::ItemFlags flags = m_index.flags();
    state.disabled = !(flags & Qt::ItemIsEnabled);
    state.focusable = true;
    state.focused = m_view->hasFocus() && m_view->currentIndex() == m_index;
    if (flags & Qt::ItemIsSelectable) {
        state.selectable = true;
        state.selected = isSelected();
        const auto mode = m_view->selectionMode();
        state.multiSelectable
            = mode == QAbstractItemView::MultiSelection || mode == QAbstractItemView::ExtendedSelection;
    }
    return state;
}

bool AccessibleTableCell::isSelected() const
{
    return isValid() && m_view->selectionModel() && m_view->selectionModel()->isSelected(m_index);
}

QStringList AccessibleTableCell::actionNames() const
{
    return { setFocusAction(), toggleAction() };
}

void AccessibleTableCell::doAction(const QString& actionName)
{
    if (!isValid() || !m_view->selectionModel()) {
        return;
    }
    if (actionName == setFocusAction()) {
        m_view->setCurrentIndex(m_index);
        return;
    }
    if (actionName == toggleAction() && m_view->selectionMode() != QAbstractItemView::NoSelection) {
        QItemSelectionModel::SelectionFlags flags = isSelected() ? QItemSelectionModel::Deselect
            : m_view->selectionMode() == QAbstractItemView::SingleSelection
            ? QItemSelectionModel::ClearAndSelect
            : QItemSelectionModel::Select;
        if (m_view->selectionBehavior() == QAbstractItemView::SelectRows) {
            flags |= QItemSelectionModel::Rows;
        } else if (m_view->selectionBehavior() == QAbstractItemView::SelectColumns) {
            flags |= QItemSelectionModel::Columns;
        }
        m_view->selectionModel()->select(m_index, flags);
    }
}

} // namespace zk

#include "kit/interface/AccessibleAbsentCell.h"

namespace zk {

void* AccessibleAbsentCell::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this)
                                                   : nullptr;
}

QAccessible::State AccessibleAbsentCell::state() const
{
    QAccessible::State state;
    state.invalid = true;
    return state;
}

} // namespace zk

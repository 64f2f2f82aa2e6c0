#pragma once

#include <QAccessible>

namespace zk {

// What a table tells a screen reader for a row and column it does not have (-1, past the end, a
// row deleted since the reader counted). Qt's bridge to the desktop's readers reads on from the cell
// a table gives it without looking for none, so "no cell" has to be one: not valid, at no place,
// spanning nothing, never selected, with no text.
class AccessibleAbsentCell : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    void* interface_cast(QAccessible::InterfaceType type) override;

    bool isValid() const override { return false; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text) const override { return {}; }
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override { return {}; }
    QAccessible::Role role() const override { return QAccessible::NoRole; }
    QAccessible::State state() const override;

    bool isSelected() const override { return false; }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return -1; }
    int rowIndex() const override { return -1; }
    int columnExtent() const override { return 0; }
    int rowExtent() const override { return 0; }
    QAccessibleInterface* table() const override { return nullptr; }
};

} // namespace zk

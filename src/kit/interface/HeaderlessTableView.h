#pragma once

#include <QAccessible>
#include <QTableView>

namespace zk {

// A table view that shows its cells alone, without row or column headers (they are hidden when it
// is made and stay so). A screen reader is told the same: its children are its cells, the cell at
// (row, column) being child row * columns + column, in what it answers and in the focus and
// selection events it sends. Qt's account of a table counts the hidden headers among the children,
// while a reader's own arithmetic (and Qt's bridge in places) does not, so that a reader asking by
// an index was given a header, another cell, nothing, or a crash.
class HeaderlessTableView : public QTableView {
    Q_OBJECT
public:
    explicit HeaderlessTableView(QWidget* parent = nullptr);

    // The reader's index of the cell at `index`.
    int accessibleChildIndex(const QModelIndex& index) const;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    void tellReaders(QAccessible::Event event, const QModelIndex& index);
};

} // namespace zk

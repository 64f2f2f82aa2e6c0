#pragma once

#include <QTableView>

#include <optional>

namespace zk {

// A table whose selection follows the pointer: the row under the mouse becomes the selected row
// as the pointer moves; Up on the first row and Down on the last wrap around to the other end; and
// Return fires the table's action on the selected row as a click would (actionTriggered, with
// clickedRow() answering that row while it runs). A reset of the model keeps the selected row, or
// moves it to the new last row when the table has shrunk past it.
//
// Rows the model marks as not selectable (section titles) are never selected; wrapping goes to the
// first or last row that can be.
//
// Main-thread only.
class HoverableTableView : public QTableView {
    Q_OBJECT
public:
    explicit HoverableTableView(QWidget* parent = nullptr);

    // When false, the pointer leaving the table clears the selection.
    bool keepSelection = true;
    // Whether Up and Down wrap around at the ends.
    bool shouldCycle = true;
    // Whether a row reached by wrapping is scrolled to the middle rather than merely into view.
    bool centerSelectedRow = false;

    int numberOfRows() const;
    // The selected row, -1 for none.
    int selectedRow() const;
    int selectedColumn() const;
    // The row of the last click, or the selected row while Return runs the action; -1 for none.
    int clickedRow() const;
    int clickedColumn() const;

    void setModel(QAbstractItemModel* model) override;
    // Shows the model's rows afresh, keeping the selected row (or the last row when fewer remain).
    // A reset of the model does the same by itself.
    void reloadData();

    // Selects `row` and scrolls it into view (to the middle with centerSelectedRow); nothing
    // without shouldCycle.
    void cycleSelection(int row);

signals:
    // The table's action: a Return on the selected row.
    void actionTriggered();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Selects `row`, or the last row when there are fewer.
    void reselect(int row);
    // Selects exactly `row`; rows that do not exist or cannot be selected are left alone.
    void selectOnly(int row);
    bool isSelectable(int row) const;
    int firstSelectableRow() const;
    int lastSelectableRow() const;

    int m_rowBeforeReset = -1;
    int m_clickedRow = -1;
    int m_clickedColumn = -1;
    std::optional<int> m_clickedRowOverride;
    std::optional<int> m_clickedColumnOverride;
};

} // namespace zk

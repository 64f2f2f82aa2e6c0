#pragma once

#include <QWidget>

class QGridLayout;

namespace zk {

// Rows of a label and a control whose controls line up on their leading edges, whatever the
// labels' widths: the labels share one column, trailing-aligned, and the controls the next. A row
// added with its label hidden keeps its control in the controls' column with nothing before it. A
// text label names its row's control for screen readers.
// Main-thread only.
class ControlAlignment : public QWidget {
    Q_OBJECT
public:
    explicit ControlAlignment(QWidget* parent = nullptr);

    // Takes ownership of both; `label` may be null.
    void addRow(QWidget* label, QWidget* control, bool labelsHidden = false);
    int rowCount() const { return m_rows; }

private:
    QGridLayout* m_grid;
    int m_rows = 0;
};

} // namespace zk

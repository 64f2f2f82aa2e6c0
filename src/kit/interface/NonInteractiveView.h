#pragma once

#include <QWidget>

namespace zk {

// A view that the pointer passes through: presses, releases, moves and wheel turns go to whatever
// lies under it, as if it were not there. So a press on it that starts a drag is the press of the
// view below, and moves the window exactly when that view would. It never takes the keyboard focus.
//
// Main-thread only.
class NonInteractiveView : public QWidget {
    Q_OBJECT
public:
    explicit NonInteractiveView(QWidget* parent = nullptr);
};

} // namespace zk

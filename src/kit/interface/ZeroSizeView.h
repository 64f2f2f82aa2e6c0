#pragma once

#include <QWidget>

namespace zk {

// A widget that never takes room: zero size whatever it is given, and a zero size hint, so a
// layout can hold it (e.g. to host an invisible helper) without a gap.
class ZeroSizeView : public QWidget {
public:
    explicit ZeroSizeView(QWidget* parent = nullptr)
        : QWidget(parent)
    {
        setFixedSize(0, 0);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override { return { 0, 0 }; }
    QSize minimumSizeHint() const override { return { 0, 0 }; }
};

} // namespace zk

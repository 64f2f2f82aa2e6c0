#pragma once

#include <QWidget>

namespace zk {

// A view whose coordinates start at the top left and grow downwards. Every Qt widget already
// works that way; the type names the intent where drawing code is ported from bottom-left maths.
class FlippedView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    bool isFlipped() const { return true; }
};

} // namespace zk

#pragma once

#include <QPushButton>

namespace zk {

// A button that only shows: clicks, presses and hovering pass through it to what lies behind.
class LabelButton : public QPushButton {
    Q_OBJECT
public:
    explicit LabelButton(const QString& title = QString(), QWidget* parent = nullptr);
};

} // namespace zk

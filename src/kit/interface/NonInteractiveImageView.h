#pragma once

#include <QLabel>

namespace zk {

// An image that the pointer passes through, like NonInteractiveView: clicks, drags and wheel
// turns reach the view under it. It never takes the keyboard focus.
//
// Main-thread only.
class NonInteractiveImageView : public QLabel {
    Q_OBJECT
public:
    explicit NonInteractiveImageView(QWidget* parent = nullptr);
    explicit NonInteractiveImageView(const QPixmap& image, QWidget* parent = nullptr);
};

} // namespace zk

#pragma once

#include <QTimer>
#include <QWidget>

namespace zk {

// A small indeterminate progress indicator: an arc that turns while the spinner is shown.
// Main-thread only.
class ActivitySpinner : public QWidget {
    Q_OBJECT
public:
    explicit ActivitySpinner(QWidget* parent = nullptr);

    QSize sizeHint() const override { return { 16, 16 }; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_timer;
    int m_angle = 0;
};

} // namespace zk

#pragma once

#include <QCheckBox>

#include <functional>

namespace zk {

// A check box that shows a Boolean kept elsewhere (in the desktop, say) rather than its own state:
// a click hands the new value to `write`, and the box redraws from `read` whenever a followed
// will-change signal fires (queued, so the write has finished by then) and each time it is shown.
// A write that does not take effect therefore springs back.
//
// Main-thread only.
class BoundCheckBox : public QCheckBox {
    Q_OBJECT
public:
    BoundCheckBox(const QString& title, std::function<bool()> read, std::function<void(bool)> write,
        QWidget* parent = nullptr);

    // Redraws from `read` after every emission of `signal`.
    template <class Sender, class Signal> void follow(const Sender* sender, Signal signal)
    {
        connect(sender, signal, this, &BoundCheckBox::refresh, Qt::QueuedConnection);
    }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();

    std::function<bool()> m_read;
};

} // namespace zk

#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <memory>
#include <qcoro/qcorofwd.h>

class QMessageBox;
class QWidget;

namespace zk {

// Shows alerts one at a time, each from the event loop rather than inside its caller.
//
// An alert never opens inside another: a request made while one is showing (from a timer that
// fires under the open alert, say) waits and is shown after it, in order of request. A request
// for an alert with the same title, message and buttons as one showing or waiting is not shown
// again; it shares that alert's answer, so that a repeating timer cannot pile alerts up.
//
// Main-thread only.
class AlertPresenter : public QObject {
    Q_OBJECT
public:
    // Shows the alert, returns when it has ended, and answers the index of the button that ended
    // it (-1 for none). Tests answer alerts through this instead of a user.
    using RunModal = std::function<int(QMessageBox& alert)>;
    using Completion = std::function<void(int response)>;

    static AlertPresenter& shared();

    AlertPresenter();
    ~AlertPresenter() override;

    // An empty function restores the real one.
    void setRunModal(RunModal runModal);
    // Brings the application forward and runs the alert in a nested event loop; with a parent
    // window the alert blocks only that window.
    static int runModalOnScreen(QMessageBox& alert);

    // Queues the alert and returns at once; the completion gets the response. With a window the
    // alert is a dialog of that window's top-level window (window-modal, kept above it by the window
    // manager); without one it is application-modal and stays above every window.
    void present(std::unique_ptr<QMessageBox> alert, Completion completion = {}, QWidget* window = nullptr);
    // The same, returning when the alert has ended.
    QCoro::Task<int> presentAsync(std::unique_ptr<QMessageBox> alert, QWidget* window = nullptr);

    bool isShowing() const { return m_showing; }
    // Alerts waiting behind the one showing (or to be shown on the next turn of the event loop).
    std::size_t waitingCount() const { return m_waiting.size(); }

private:
    struct Request;
    void scheduleNext();
    void showNext();

    RunModal m_runModal;
    std::deque<std::shared_ptr<Request>> m_waiting;
    std::shared_ptr<Request> m_current;
    bool m_showing = false;
    bool m_scheduled = false;
};

} // namespace zk

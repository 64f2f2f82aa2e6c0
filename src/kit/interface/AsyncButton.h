#pragma once

#include "platform/combine/AnyCancellable.h"

#include <QCoro/QCoroTask>
#include <QPushButton>

#include <functional>
#include <set>

namespace platform::combine {
class Scheduler;
}

namespace zk {

class ActivitySpinner;

// A button whose action is an asynchronous operation. With `disableButton` it is disabled from the
// click until the operation has returned, so that it cannot be started twice; with `showSpinner` a
// small spinner replaces its label (which keeps its room) when the operation takes longer than
// 150 ms. Without `disableButton` every click starts another run, and the first run to return clears
// both states. Main-thread only.
class AsyncButton : public QPushButton {
    Q_OBJECT
public:
    enum class ActionOption { disableButton, showSpinner };
    using ActionOptions = std::set<ActionOption>;
    using Action = std::function<QCoro::Task<void>()>;

    static constexpr double spinnerDelay = 0.15;

    AsyncButton(ActionOptions options, Action action, QWidget* parent = nullptr);
    // A label of a title (shown literally) and a symbol.
    AsyncButton(const QString& title, std::string_view systemImage, ActionOptions options, Action action,
        QWidget* parent = nullptr);
    ~AsyncButton() override;

    bool isRunning() const { return m_running > 0; }
    bool isShowingSpinner() const { return m_showingSpinner; }
    const ActionOptions& actionOptions() const { return m_options; }

    // Where the spinner's delay is counted; the main thread's timers by default.
    void setScheduler(platform::combine::Scheduler& scheduler) { m_scheduler = &scheduler; }

signals:
    // The operation has returned.
    void actionFinished();

private:
    QCoro::Task<void> run();
    void setShowingSpinner(bool showing);

    ActionOptions m_options;
    Action m_action;
    platform::combine::Scheduler* m_scheduler;
    int m_running = 0;
    bool m_showingSpinner = false;
    ActivitySpinner* m_spinner = nullptr;
    QString m_savedText;
    QIcon m_savedIcon;
};

} // namespace zk

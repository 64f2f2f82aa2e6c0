#include "kit/interface/AsyncButton.h"

#include "kit/interface/ActivitySpinner.h"
#include "kit/interface/SymbolImage.h"
#include "platform/async/Sleep.h"
#include "platform/async/TaskHandle.h"
#include "platform/combine/Scheduler.h"

#include <QPointer>

namespace zk {

AsyncButton::AsyncButton(ActionOptions options, Action action, QWidget* parent)
    : QPushButton(parent)
    , m_options(std::move(options))
    , m_action(std::move(action))
    , m_scheduler(&platform::combine::Scheduler::main())
{
    m_spinner = new ActivitySpinner(this);
    m_spinner->hide();
    connect(this, &QPushButton::clicked, this, [this] {
        if (m_options.contains(ActionOption::disableButton)) {
            setEnabled(false);
        }
        ++m_running;
        QPointer<AsyncButton> self(this);
        platform::async::TaskHandle::start([self](std::stop_token) -> QCoro::Task<void> {
            if (self) {
                co_await self->run();
            }
        });
    });
}

AsyncButton::AsyncButton(
    const QString& title, std::string_view systemImage, ActionOptions options, Action action, QWidget* parent)
    : AsyncButton(std::move(options), std::move(action), parent)
{
    setText(title);
    setToolTip(title);
    setIcon(symbolIcon(systemImage));
}

AsyncButton::~AsyncButton() = default;

QCoro::Task<void> AsyncButton::run()
{
    QPointer<AsyncButton> self(this);
    // The spinner waits on its own: the action may end first, and the delay is then cancelled.
    std::stop_source spinnerStop;
    if (m_options.contains(ActionOption::showSpinner)) {
        platform::combine::Scheduler* scheduler = m_scheduler;
        platform::async::TaskHandle::start(
            [self, scheduler, token = spinnerStop.get_token()](std::stop_token) -> QCoro::Task<void> {
                const bool elapsed = co_await platform::async::sleepFor(spinnerDelay, token, *scheduler);
                // A return that falls between the end of the delay and now is seen here too.
                if (elapsed && !token.stop_requested() && self) {
                    self->setShowingSpinner(true);
                }
            });
    }
    // The action is a copy: the button may be destroyed while it runs.
    const Action action = m_action;
    if (action) {
        co_await action();
    }
    spinnerStop.request_stop();
    if (!self) {
        co_return;
    }
    --m_running;
    setEnabled(true);
    setShowingSpinner(false);
    emit actionFinished();
}

void AsyncButton::setShowingSpinner(bool showing)
{
    if (m_showingSpinner == showing) {
        return;
    }
    m_showingSpinner = showing;
    if (showing) {
        // The label keeps its room but is not drawn.
        setMinimumSize(size());
        m_savedText = text();
        m_savedIcon = icon();
        setText(QString());
        setIcon(QIcon());
        m_spinner->setGeometry(QRect(QPoint(0, 0), m_spinner->sizeHint())
                                   .translated((width() - m_spinner->sizeHint().width()) / 2,
                                       (height() - m_spinner->sizeHint().height()) / 2));
        m_spinner->show();
    } else {
        m_spinner->hide();
        setText(m_savedText);
        setIcon(m_savedIcon);
        setMinimumSize(0, 0);
    }
}

} // namespace zk

#include "kit/foundation/AlertPresenter.h"

#include "kit/foundation/Alert.h"

#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QTimer>
#include <qcoro/qcorosignal.h>

namespace zk {

namespace {

// What makes two alerts the same question.
QStringList identity(const QMessageBox& alert)
{
    QStringList parts { alert.text(), alert.informativeText() };
    for (QPushButton* button : alertButtons(alert)) {
        parts << button->text();
    }
    return parts;
}

// Hands a response to a waiting coroutine.
class ResponseSignal : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void responded(int response);
};

} // namespace

struct AlertPresenter::Request {
    std::unique_ptr<QMessageBox> alert;
    QPointer<QWidget> window;
    bool hasWindow = false;
    QStringList identity;
    std::vector<Completion> completions;
};

AlertPresenter& AlertPresenter::shared()
{
    // Never destroyed: alerts still waiting at exit are widgets, which must not be deleted after
    // the application object is gone.
    static AlertPresenter* presenter = new AlertPresenter;
    return *presenter;
}

AlertPresenter::AlertPresenter() = default;

AlertPresenter::~AlertPresenter() = default;

void AlertPresenter::setRunModal(RunModal runModal)
{
    m_runModal = std::move(runModal);
}

int AlertPresenter::runModalOnScreen(QMessageBox& alert)
{
    // A tray application has no window in front; an alert of its own must not open behind
    // another application's window. One attached to a window comes up with that window.
    if (!alert.parentWidget()) {
        QMetaObject::invokeMethod(
            &alert,
            [&alert] {
                alert.raise();
                alert.activateWindow();
            },
            Qt::QueuedConnection);
    }
    alert.exec();
    return alertResponse(alert);
}

void AlertPresenter::present(std::unique_ptr<QMessageBox> alert, Completion completion, QWidget* window)
{
    if (!alert) {
        if (completion) {
            completion(-1);
        }
        return;
    }
    const QStringList alertIdentity = identity(*alert);
    auto same = [&](const std::shared_ptr<Request>& request) {
        return request && request->identity == alertIdentity;
    };
    std::shared_ptr<Request> existing;
    if (m_showing && same(m_current)) {
        existing = m_current;
    } else if (auto it = std::find_if(m_waiting.begin(), m_waiting.end(), same); it != m_waiting.end()) {
        existing = *it;
    }
    if (existing) {
        if (completion) {
            existing->completions.push_back(std::move(completion));
        }
        return;
    }
    auto request = std::make_shared<Request>();
    request->alert = std::move(alert);
    request->window = window;
    request->hasWindow = window != nullptr;
    request->identity = alertIdentity;
    if (completion) {
        request->completions.push_back(std::move(completion));
    }
    m_waiting.push_back(std::move(request));
    scheduleNext();
}

void AlertPresenter::scheduleNext()
{
    if (m_showing || m_scheduled || m_waiting.empty()) {
        return;
    }
    m_scheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_scheduled = false;
        showNext();
    });
}

void AlertPresenter::showNext()
{
    if (m_showing || m_waiting.empty()) {
        return;
    }
    std::shared_ptr<Request> request = m_waiting.front();
    m_waiting.pop_front();
    QMessageBox& alert = *request->alert;
    if (request->hasWindow && request->window) {
        // A dialog of the window it belongs to (transient for it), which window managers keep above
        // that window, also when the window floats above others.
        // (A message box resets its window flags when its modality is set, so they come after.)
        QWidget* owner = request->window->window();
        alert.setParent(owner);
        alert.setWindowModality(Qt::WindowModal);
        Qt::WindowFlags flags = (alert.windowFlags() & ~Qt::WindowType_Mask) | Qt::Dialog;
        flags.setFlag(Qt::WindowStaysOnTopHint, owner->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        alert.setParent(owner, flags);
    } else {
        // Belongs to the whole application: above every window of it, the floating ones (Settings,
        // History) included, or the question would wait unseen behind them.
        alert.setWindowModality(Qt::ApplicationModal);
        alert.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    m_showing = true;
    m_current = request;
    // The alert runs its own event loop, in which anything may happen to the presenter too.
    const QPointer<AlertPresenter> self(this);
    const QPointer<QMessageBox> alertGuard(&alert);
    const int response = m_runModal ? m_runModal(alert) : runModalOnScreen(alert);
    if (!alertGuard) {
        // Its window took it along when it closed.
        (void)request->alert.release();
    }
    if (!self) {
        return;
    }
    m_showing = false;
    m_current.reset();
    // The alert ends before any completion runs, so that a completion may present the next one.
    request->alert.reset();
    for (const Completion& completion : request->completions) {
        completion(response);
    }
    scheduleNext();
}

QCoro::Task<int> AlertPresenter::presentAsync(std::unique_ptr<QMessageBox> alert, QWidget* window)
{
    auto signal = std::make_unique<ResponseSignal>();
    ResponseSignal* sender = signal.get();
    std::optional<int> early;
    present(
        std::move(alert),
        [sender, &early](int response) {
            early = response;
            Q_EMIT sender->responded(response);
        },
        window);
    if (early) {
        co_return *early;
    }
    const int response = co_await qCoro(sender, &ResponseSignal::responded);
    co_return response;
}

} // namespace zk

#include "AlertPresenter.moc"

#include "kit/foundation/ErrorPresentation.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/DelegateHandler.h"
#include "kit/foundation/core/ErrorRecoveryAttempter.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <qcoro/qcorosignal.h>

namespace zk {

namespace {

std::optional<std::string> text(const ErrorUserInfo& info, const char* key)
{
    if (auto found = info.find(key); found != info.end()) {
        if (const auto* value = std::get_if<std::string>(&found->second)) {
            return *value;
        }
    }
    return std::nullopt;
}

std::shared_ptr<ErrorRecoveryAttempter> attempter(const ErrorUserInfo& info)
{
    if (auto found = info.find(ErrorKeys::recoveryAttempter); found != info.end()) {
        if (const auto* value = std::get_if<std::shared_ptr<ErrorRecoveryAttempter>>(&found->second)) {
            return *value;
        }
    }
    return nullptr;
}

std::vector<std::string> optionTitles(const ErrorUserInfo& info)
{
    if (auto found = info.find(ErrorKeys::localizedRecoveryOptions); found != info.end()) {
        if (const auto* value = std::get_if<std::vector<std::string>>(&found->second)) {
            return *value;
        }
    }
    return {};
}

bool containsIgnoringCase(const std::string& haystack, const std::string& needle)
{
    return QString::fromStdString(haystack).contains(QString::fromStdString(needle), Qt::CaseInsensitive);
}

constexpr const char* cancelTitle = "Cancel";

} // namespace

std::string alertTitle(const Error& error)
{
    return error.localizedDescription();
}

std::optional<std::string> fullDescription(const Error& error)
{
    const ErrorUserInfo info = error.userInfo();
    std::optional<std::string> reason = text(info, ErrorKeys::localizedFailureReason);
    const std::optional<std::string> suggestion = text(info, ErrorKeys::localizedRecoverySuggestion);
    if (reason && containsIgnoringCase(error.localizedDescription(), *reason)) {
        reason.reset();
    }
    if (reason && suggestion) {
        return *reason + "\n\n" + *suggestion;
    }
    return reason ? reason : suggestion;
}

std::vector<std::string> recoveryOptionTitles(const Error& error)
{
    const ErrorUserInfo info = error.userInfo();
    if (!attempter(info)) {
        return {};
    }
    return optionTitles(info);
}

std::vector<ErrorAlertAction> alertActions(const Error& error)
{
    const std::vector<std::string> titles = recoveryOptionTitles(error);
    if (titles.empty()) {
        return {};
    }
    std::vector<ErrorAlertAction> actions;
    for (std::size_t i = 0; i < titles.size() && i < 2; ++i) {
        actions.push_back({ titles[i], static_cast<int>(i) });
    }
    actions.push_back({ cancelTitle, -1 });
    return actions;
}

bool attemptRecovery(const Error& error, int optionIndex)
{
    const std::shared_ptr<ErrorRecoveryAttempter> recovery = attempter(error.userInfo());
    return recovery && recovery->attemptRecovery(optionIndex);
}

std::unique_ptr<QMessageBox> makeErrorAlert(const Error& error)
{
    AlertDescription description;
    description.title = alertTitle(error);
    description.message = fullDescription(error);
    description.style = AlertStyle::warning;
    description.buttonTitles = recoveryOptionTitles(error);
    if (!description.buttonTitles.empty()) {
        description.buttonTitles.push_back(cancelTitle);
    }
    return makeAlert(description);
}

namespace {

// Shows the error's alert and runs the chosen recovery option, then calls done.
void presentError(ErrorPtr error, QWidget* window, std::function<void()> done)
{
    if (!error || error->isCancelled()) {
        if (done) {
            done();
        }
        return;
    }
    const std::size_t optionCount = recoveryOptionTitles(*error).size();
    AlertPresenter::shared().present(
        makeErrorAlert(*error),
        [error, optionCount, done = std::move(done)](int response) {
            if (response >= 0 && static_cast<std::size_t>(response) < optionCount) {
                attemptRecovery(*error, response);
            }
            if (done) {
                done();
            }
        },
        window);
}

// Wakes a coroutine that waits for an alert to end.
class Done : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void finished();
};

QCoro::Task<> presentAndWait(ErrorPtr error, QWidget* window)
{
    if (!error || error->isCancelled()) {
        co_return;
    }
    auto done = std::make_unique<Done>();
    Done* signal = done.get();
    presentError(std::move(error), window, [signal] { Q_EMIT signal->finished(); });
    co_await qCoro(signal, &Done::finished);
}

} // namespace

void presentAsModal(ErrorPtr error)
{
    // Callable from any thread: the alert belongs to the main thread. An error once reported is shown
    // whoever reported it is gone, so it is bound to the application.
    platform::MainQueue::post(QCoreApplication::instance(),
        [error = std::move(error)]() mutable { presentError(std::move(error), nullptr, {}); });
}

QCoro::Task<> presentAsModalAsync(ErrorPtr error)
{
    return presentAndWait(std::move(error), nullptr);
}

QCoro::Task<> presentAsSheet(ErrorPtr error, QWidget* window)
{
    return presentAndWait(std::move(error), window);
}

QCoro::Task<> presentAsync(ErrorPtr error, QWidget* window)
{
    return presentAndWait(std::move(error), window);
}

void presentErrorAsSheet(ErrorPtr error, QWidget* window, std::function<void()> didPresent)
{
    // The presentation reaches the callback through its holder, by the holder's slot, once the
    // sheet has ended; the holder lives until then, and belongs to the window, so a window closed
    // first takes it along instead of leaving a callback into what it showed.
    QPointer<DelegateHandler> handler(new DelegateHandler(std::move(didPresent), window));
    presentError(std::move(error), window, [handler] {
        if (!handler) {
            return;
        }
        QMetaObject::invokeMethod(handler.data(), "didPresentHandler", Qt::DirectConnection);
        handler->deleteLater();
    });
}

} // namespace zk

#include "ErrorPresentation.moc"

#include "kit/foundation/ErrorPresentation.h"
#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/AppErrorBuilder.h"
#include "kit/foundation/DelegateHandler.h"
#include "kit/foundation/core/GeneralError.h"

#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

using namespace zk;

namespace {

std::shared_ptr<PlatformError> errorWith(ErrorUserInfo info)
{
    return std::make_shared<PlatformError>("test.domain", 7, std::move(info));
}

ErrorRecoveryAttempter::Option option(std::string title, std::vector<std::string>& ran, bool outcome = true)
{
    return { title, [&ran, title, outcome] {
                ran.push_back(title);
                return outcome;
            } };
}

// Answers every alert of the shared presenter with a fixed button and records what it showed.
struct ScriptedAlerts {
    explicit ScriptedAlerts(int answer)
    {
        AlertPresenter::shared().setRunModal([this, answer](QMessageBox& alert) {
            std::vector<std::string> buttons;
            for (QPushButton* button : alertButtons(alert)) {
                buttons.push_back(button->text().toStdString());
            }
            shown.push_back({ alert.text().toStdString(), alert.informativeText().toStdString(), buttons });
            return answer;
        });
    }
    ~ScriptedAlerts() { AlertPresenter::shared().setRunModal({}); }

    struct Shown {
        std::string title;
        std::string message;
        std::vector<std::string> buttons;
    };
    std::vector<Shown> shown;
};

void processPendingEvents()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

} // namespace

TEST(ErrorPresentation, MessageJoinsReasonAndSuggestion)
{
    auto both = errorWith({ { ErrorKeys::localizedDescription, std::string("Could not export") },
        { ErrorKeys::localizedFailureReason, std::string("The disk is full.") },
        { ErrorKeys::localizedRecoverySuggestion, std::string("Free some space.") } });
    EXPECT_EQ(alertTitle(*both), "Could not export");
    EXPECT_EQ(fullDescription(*both), "The disk is full.\n\nFree some space.");

    auto reasonOnly = errorWith({ { ErrorKeys::localizedDescription, std::string("Could not export") },
        { ErrorKeys::localizedFailureReason, std::string("The disk is full.") } });
    EXPECT_EQ(fullDescription(*reasonOnly), "The disk is full.");

    auto suggestionOnly
        = errorWith({ { ErrorKeys::localizedRecoverySuggestion, std::string("Try again.") } });
    EXPECT_EQ(fullDescription(*suggestionOnly), "Try again.");

    EXPECT_EQ(fullDescription(*errorWith({ { ErrorKeys::localizedDescription, std::string("Oops") } })),
        std::nullopt);
}

TEST(ErrorPresentation, ReasonAlreadyInTheDescriptionIsLeftOut)
{
    auto error = errorWith({ { ErrorKeys::localizedDescription, std::string("Export failed: DISK IS FULL") },
        { ErrorKeys::localizedFailureReason, std::string("disk is full") },
        { ErrorKeys::localizedRecoverySuggestion, std::string("Free some space.") } });
    EXPECT_EQ(fullDescription(*error), "Free some space.");
    auto noSuggestion = errorWith({ { ErrorKeys::localizedDescription, std::string("Disk is full") },
        { ErrorKeys::localizedFailureReason, std::string("disk is full") } });
    EXPECT_EQ(fullDescription(*noSuggestion), std::nullopt);
}

TEST(ErrorPresentation, CompactActionsAreTwoOptionsAndCancel)
{
    std::vector<std::string> ran;
    const GeneralError error(GeneralError::Parts { .errorDescription = "Cannot open",
        .recoveryOptions = { option("Retry", ran), option("Open Settings", ran), option("Quit", ran) } });
    const auto actions = alertActions(error);
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[0].title, "Retry");
    EXPECT_EQ(actions[0].optionIndex, 0);
    EXPECT_EQ(actions[1].title, "Open Settings");
    EXPECT_EQ(actions[2].title, "Cancel");
    EXPECT_EQ(actions[2].optionIndex, -1);
    EXPECT_TRUE(attemptRecovery(error, 1));
    EXPECT_FALSE(attemptRecovery(error, -1));
    EXPECT_FALSE(attemptRecovery(error, 3));
    EXPECT_EQ(ran, (std::vector<std::string> { "Open Settings" }));

    EXPECT_TRUE(alertActions(GeneralError("No options")).empty());
    // Titles without an attempter give no buttons either.
    auto titlesOnly
        = errorWith({ { ErrorKeys::localizedRecoveryOptions, std::vector<std::string> { "A" } } });
    EXPECT_TRUE(alertActions(*titlesOnly).empty());
    EXPECT_FALSE(attemptRecovery(*titlesOnly, 0));
}

TEST(ErrorPresentation, ModalAlertShowsEveryOptionThenCancelAndRunsTheChosenOne)
{
    std::vector<std::string> ran;
    auto error = std::make_shared<GeneralError>(GeneralError::Parts { .errorDescription = "Cannot save",
        .recoverySuggestion = "Choose another folder.",
        .recoveryOptions = { option("A", ran), option("B", ran), option("C", ran) } });
    ScriptedAlerts alerts(1);
    presentAsModal(error);
    EXPECT_TRUE(alerts.shown.empty()); // queued, not shown inside the caller
    processPendingEvents();
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].title, "Cannot save");
    EXPECT_EQ(alerts.shown[0].message, "Choose another folder.");
    EXPECT_EQ(alerts.shown[0].buttons, (std::vector<std::string> { "A", "B", "C", "Cancel" }));
    EXPECT_EQ(ran, (std::vector<std::string> { "B" }));
}

TEST(ErrorPresentation, CancelRunsNothingAndPlainErrorHasOk)
{
    std::vector<std::string> ran;
    ScriptedAlerts alerts(2);
    presentAsModal(std::make_shared<GeneralError>(GeneralError::Parts {
        .errorDescription = "X", .recoveryOptions = { option("A", ran), option("B", ran) } }));
    presentAsModal(std::make_shared<GeneralError>("Plain"));
    processPendingEvents();
    ASSERT_EQ(alerts.shown.size(), 2u);
    EXPECT_EQ(alerts.shown[1].buttons, (std::vector<std::string> { "OK" }));
    EXPECT_TRUE(ran.empty());
}

TEST(ErrorPresentation, CancellationsAreNeverShown)
{
    ScriptedAlerts alerts(0);
    presentAsModal(std::make_shared<CancellationError>());
    presentAsModal(std::make_shared<PlatformError>(ErrorDomains::cocoa, ErrorDomains::userCancelledCode));
    presentAsModal(std::make_shared<PlatformError>(ErrorDomains::urlLoading, ErrorDomains::urlCancelledCode));
    bool didPresent = false;
    presentErrorAsSheet(std::make_shared<CancellationError>(), nullptr, [&] { didPresent = true; });
    EXPECT_TRUE(didPresent);
    QCoro::waitFor(presentAsync(std::make_shared<CancellationError>()));
    processPendingEvents();
    EXPECT_TRUE(alerts.shown.empty());
}

TEST(ErrorPresentation, WaitingFormsReturnAfterTheAlertAndRecovery)
{
    std::vector<std::string> ran;
    ScriptedAlerts alerts(0);
    QWidget window;
    QCoro::waitFor(presentAsync(std::make_shared<GeneralError>(GeneralError::Parts {
                                    .errorDescription = "Sheet", .recoveryOptions = { option("Fix", ran) } }),
        &window));
    EXPECT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(ran, (std::vector<std::string> { "Fix" }));
    QCoro::waitFor(presentAsModalAsync(std::make_shared<GeneralError>("Modal")));
    EXPECT_EQ(alerts.shown.size(), 2u);
    int didPresent = 0;
    presentErrorAsSheet(std::make_shared<GeneralError>("Later"), &window, [&] { ++didPresent; });
    // The window holds the callback's holder while the sheet is up, and lets it go afterwards.
    EXPECT_EQ(window.findChildren<zk::DelegateHandler*>().size(), 1);
    EXPECT_EQ(didPresent, 0);
    processPendingEvents();
    EXPECT_EQ(didPresent, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.findChildren<zk::DelegateHandler*>().isEmpty());
}

TEST(AppErrorBuilder, OnlyADescription)
{
    const PlatformError error = makeAppError("Something went wrong");
    EXPECT_EQ(error.domain(), "com.zelvantorium.Kiruvo");
    EXPECT_EQ(error.code(), 1);
    const ErrorUserInfo info = error.userInfo();
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(std::get<std::string>(info.at(ErrorKeys::localizedDescription)), "Something went wrong");
    EXPECT_EQ(error.localizedDescription(), "Something went wrong");
}

TEST(AppErrorBuilder, EveryPartAndTheDomainPostfix)
{
    std::vector<std::string> ran;
    auto underlying = std::make_shared<PlatformError>("NSPOSIXErrorDomain", 28);
    const PlatformError error = makeAppError(AppErrorParts { .description = "Cannot export",
        .recoverySuggestion = "Free some space.",
        .recoveryOptions = { option("A", ran), option("B", ran, false) },
        .helpAnchor = "export",
        .userInfo = { { ErrorKeys::localizedDescription, std::string("old") }, { "extra", std::int64_t(5) } },
        .domainPostfix = "Export",
        .underlyingError = underlying,
        .url = "/home/user/sessions.csv" });
    EXPECT_EQ(error.domain(), "com.zelvantorium.Kiruvo - Export");
    EXPECT_EQ(error.code(), 1);
    const ErrorUserInfo info = error.userInfo();
    EXPECT_EQ(std::get<std::string>(info.at(ErrorKeys::localizedDescription)), "Cannot export");
    EXPECT_EQ(std::get<std::int64_t>(info.at("extra")), 5);
    EXPECT_EQ(std::get<std::string>(info.at(ErrorKeys::localizedRecoverySuggestion)), "Free some space.");
    EXPECT_EQ(std::get<std::vector<std::string>>(info.at(ErrorKeys::localizedRecoveryOptions)),
        (std::vector<std::string> { "A", "B" }));
    EXPECT_EQ(std::get<std::string>(info.at(ErrorKeys::helpAnchor)), "export");
    EXPECT_EQ(std::get<std::string>(info.at(ErrorKeys::url)), "/home/user/sessions.csv");
    EXPECT_TRUE(error.hasUnderlyingError("NSPOSIXErrorDomain", 28));
    // The second button runs the second action through the attempter.
    EXPECT_FALSE(attemptRecovery(error, 1));
    EXPECT_EQ(ran, (std::vector<std::string> { "B" }));
    EXPECT_EQ(fullDescription(error), "Free some space.");
}

#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/Alert.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

using zk::AlertPresenter;

namespace {

std::unique_ptr<QMessageBox> alert(
    const std::string& title, std::vector<std::string> buttons = { "OK", "Cancel" })
{
    zk::AlertDescription description;
    description.title = title;
    description.buttonTitles = std::move(buttons);
    return zk::makeAlert(description);
}

void drain()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

} // namespace

TEST(AlertPresenter, ShowsFromTheEventLoopNotInsideTheCaller)
{
    AlertPresenter presenter;
    std::vector<std::string> shown;
    presenter.setRunModal([&](QMessageBox& box) {
        shown.push_back(box.text().toStdString());
        return 1;
    });
    int response = -2;
    presenter.present(alert("Hello"), [&](int r) { response = r; });
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(presenter.waitingCount(), 1u);
    drain();
    EXPECT_EQ(shown, (std::vector<std::string> { "Hello" }));
    EXPECT_EQ(response, 1);
    EXPECT_FALSE(presenter.isShowing());
}

TEST(AlertPresenter, RequestWhileShowingWaitsAndNeverNests)
{
    AlertPresenter presenter;
    int depth = 0;
    int maxDepth = 0;
    std::vector<std::string> shown;
    std::vector<std::string> answered;
    presenter.setRunModal([&](QMessageBox& box) {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        shown.push_back(box.text().toStdString());
        if (box.text() == QStringLiteral("First")) {
            // A timer firing under the open alert asks for another one.
            presenter.present(
                alert("Second"), [&](int r) { answered.push_back("Second " + std::to_string(r)); });
            drain();
            EXPECT_EQ(shown.size(), 1u);
            EXPECT_TRUE(presenter.isShowing());
            EXPECT_EQ(presenter.waitingCount(), 2u); // "Third", then "Second"
        }
        --depth;
        return box.text() == QStringLiteral("First") ? 0 : 1;
    });
    presenter.present(alert("First"), [&](int r) { answered.push_back("First " + std::to_string(r)); });
    presenter.present(alert("Third"), [&](int r) { answered.push_back("Third " + std::to_string(r)); });
    drain();
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(shown, (std::vector<std::string> { "First", "Third", "Second" }));
    EXPECT_EQ(answered, (std::vector<std::string> { "First 0", "Third 1", "Second 1" }));
}

TEST(AlertPresenter, SameAlertAgainSharesTheAnswerInsteadOfPilingUp)
{
    AlertPresenter presenter;
    int runs = 0;
    std::vector<int> answers;
    presenter.setRunModal([&](QMessageBox& box) {
        ++runs;
        if (box.text() == QStringLiteral("The duration is negative")) {
            for (int tick = 0; tick < 3; ++tick) {
                presenter.present(alert("The duration is negative"), [&](int r) { answers.push_back(r); });
            }
        }
        return 0;
    });
    presenter.present(alert("The duration is negative"), [&](int r) { answers.push_back(r); });
    // Waiting duplicates merge as well; a different question does not.
    presenter.present(alert("Other"), {});
    presenter.present(alert("Other"), [&](int r) { answers.push_back(10 + r); });
    presenter.present(alert("Other", { "Yes", "No" }), {});
    EXPECT_EQ(presenter.waitingCount(), 3u);
    drain();
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(answers, (std::vector<int> { 0, 0, 0, 0, 10 }));
}

TEST(AlertPresenter, CompletionMayPresentTheNextAlert)
{
    AlertPresenter presenter;
    std::vector<std::string> shown;
    presenter.setRunModal([&](QMessageBox& box) {
        shown.push_back(box.text().toStdString());
        return 0;
    });
    presenter.present(alert("Question"), [&](int) { presenter.present(alert("Follow-up")); });
    drain();
    EXPECT_EQ(shown, (std::vector<std::string> { "Question", "Follow-up" }));
}

TEST(AlertPresenter, WindowMakesItWindowModal)
{
    AlertPresenter presenter;
    QWidget window;
    Qt::WindowModality modality = Qt::NonModal;
    QWidget* parent = nullptr;
    presenter.setRunModal([&](QMessageBox& box) {
        modality = box.windowModality();
        parent = box.parentWidget();
        return 0;
    });
    presenter.present(alert("Sheet"), {}, &window);
    drain();
    EXPECT_EQ(modality, Qt::WindowModal);
    EXPECT_EQ(parent, &window);
    presenter.present(alert("Modal"));
    drain();
    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_EQ(parent, nullptr);
}

TEST(AlertPresenter, AsyncFormReturnsTheResponse)
{
    AlertPresenter presenter;
    presenter.setRunModal([](QMessageBox&) { return 1; });
    const int response = QCoro::waitFor(presenter.presentAsync(alert("Async")));
    EXPECT_EQ(response, 1);
}

// Runs `answer` on the first modal alert that opens, from the event loop it runs in.
void whenAlertOpens(std::function<void(QMessageBox&)> answer)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, answer = std::move(answer)] {
        if (auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(*open);
        }
    });
    poll->start(0);
}

TEST(AlertPresenter, OnScreenRunAnswersTheClickedButtonAndQueuesTimerRequests)
{
    AlertPresenter presenter;
    std::vector<std::string> answered;
    bool checkedWhileOpen = false;
    // The real modal loop, answered by timers instead of a user.
    whenAlertOpens([&](QMessageBox& open) {
        EXPECT_EQ(open.text(), QStringLiteral("Real"));
        presenter.present(
            alert("From a timer"), [&](int r) { answered.push_back("timer " + std::to_string(r)); });
        QCoreApplication::processEvents();
        checkedWhileOpen = QApplication::activeModalWidget() == &open && presenter.waitingCount() == 1;
        whenAlertOpens([](QMessageBox& next) { zk::alertButtons(next)[0]->click(); });
        zk::alertButtons(open)[1]->click();
    });
    presenter.present(alert("Real"), [&](int r) { answered.push_back("real " + std::to_string(r)); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered.size() == 2; }, 5000));
    EXPECT_TRUE(checkedWhileOpen);
    EXPECT_EQ(answered, (std::vector<std::string> { "real 1", "timer 0" }));
}

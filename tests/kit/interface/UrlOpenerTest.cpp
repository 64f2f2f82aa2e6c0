#include "kit/interface/UrlOpener.h"

#include "kit/foundation/AlertPresenter.h"
#include "kit/interface/StandardMenuItems.h"
#include "platform/fake/FakeDesktopOpener.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

using platform::DesktopOpener;
using zk::UrlOpener;

namespace {

// Lets queued alerts run.
void drain()
{
    for (int turn = 0; turn < 5; ++turn) {
        QCoreApplication::processEvents();
    }
}

// A desktop with the handlers the test sets up, and alerts answered with `answer`.
class UrlOpenerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop.outcome = [this](const platform::fake::FakeDesktopOpener::Request&) { return outcome; };
        DesktopOpener::setShared(&desktop);
        zk::AlertPresenter::shared().setRunModal([this](QMessageBox& alert) {
            alerts.push_back(alert.text().toStdString());
            messages.push_back(alert.informativeText().toStdString());
            return answer;
        });
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override
    {
        drain();
        DesktopOpener::setShared(nullptr);
        zk::AlertPresenter::shared().setRunModal({});
        QGuiApplication::clipboard()->clear();
    }

    platform::fake::FakeDesktopOpener desktop;
    DesktopOpener::Outcome outcome = DesktopOpener::Outcome::opened;
    int answer = 1;
    std::vector<std::string> alerts;
    std::vector<std::string> messages;
};

TEST_F(UrlOpenerTest, WhatNothingOpenedIsToldByItsKindAndCanBeCopied)
{
    outcome = DesktopOpener::Outcome::noProgram;
    answer = 0; // "Copy Link"
    const QUrl page(QStringLiteral("https://kiruvo.example/feedback?product=Kiruvo"));
    std::vector<bool> done;
    UrlOpener::openOrTell(page, "the feedback page", [&](bool opened) { done.push_back(opened); });
    // Nothing is told before the desktop has said what became of it.
    EXPECT_TRUE(alerts.empty());
    EXPECT_TRUE(done.empty());
    drain();
    EXPECT_EQ(done, std::vector<bool> { false });
    EXPECT_EQ(desktop.openedUrls(), std::vector<QUrl> { page });
    EXPECT_EQ(alerts, std::vector<std::string> { "Could not open the feedback page" });
    EXPECT_TRUE(messages.back().starts_with("No web browser")) << messages.back();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), page.toString(QUrl::FullyEncoded));

    // A folder with no file manager: its location, not a file: URL, is what the user can use.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    UrlOpener::openOrTell(QUrl::fromLocalFile(folder.path()), "the folder");
    drain();
    EXPECT_TRUE(messages.back().starts_with("No file manager")) << messages.back();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), folder.path());
    // A file is no file manager's.
    UrlOpener::openOrTell(QUrl::fromLocalFile(folder.filePath(QStringLiteral("stretch.sh"))), "the script");
    drain();
    EXPECT_TRUE(messages.back().starts_with("No application could open the file")) << messages.back();

    answer = 1; // "OK": nothing copied
    QGuiApplication::clipboard()->clear();
    UrlOpener::openOrTell(QUrl(QStringLiteral("mailto:a@example.com")), "the address");
    drain();
    EXPECT_TRUE(messages.back().starts_with("No e-mail program")) << messages.back();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
    EXPECT_EQ(alerts.size(), 4u);

    // A browser or file manager that started and failed is there: what failed is the page or folder.
    outcome = DesktopOpener::Outcome::failed;
    UrlOpener::openOrTell(page, "the feedback page");
    drain();
    EXPECT_EQ(alerts.back(), "Could not open the feedback page");
    EXPECT_TRUE(messages.back().starts_with("The page could not be opened")) << messages.back();
    UrlOpener::openOrTell(QUrl::fromLocalFile(folder.path()), "the folder");
    drain();
    EXPECT_TRUE(messages.back().starts_with("The folder could not be opened")) << messages.back();
    for (const auto& message : std::vector(messages.end() - 2, messages.end())) {
        EXPECT_EQ(message.find("No "), std::string::npos) << message;
    }
}

TEST_F(UrlOpenerTest, AnOpenedLinkOrAChoiceTheUserClosedTellsNothing)
{
    std::vector<bool> done;
    UrlOpener::openOrTell(QUrl(QStringLiteral("https://kiruvo.example")), "the link",
        [&](bool opened) { done.push_back(opened); });
    outcome = DesktopOpener::Outcome::cancelled;
    UrlOpener::openOrTell(QUrl(QStringLiteral("https://kiruvo.example/faq")), "the link",
        [&](bool opened) { done.push_back(opened); });
    drain();
    EXPECT_EQ(done, (std::vector<bool> { true, false }));
    EXPECT_TRUE(alerts.empty());
}

TEST_F(UrlOpenerTest, SendFeedbackThatNothingOpensSaysSo)
{
    outcome = DesktopOpener::Outcome::failed;
    zk::sendFeedbackAction()();
    drain();
    EXPECT_EQ(desktop.openedUrls().size(), 1u);
    EXPECT_EQ(alerts, std::vector<std::string> { "Could not open the feedback page" });
}

} // namespace

#include "kit/interface/UrlOpener.h"

#include "kit/foundation/AlertPresenter.h"
#include "kit/interface/StandardMenuItems.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <gtest/gtest.h>

#include <vector>

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
        UrlOpener::setForTesting([this](const QUrl& url) {
            opened.push_back(url);
            return opens;
        });
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
        UrlOpener::setForTesting({});
        zk::AlertPresenter::shared().setRunModal({});
        QGuiApplication::clipboard()->clear();
    }

    bool opens = true;
    int answer = 1;
    std::vector<QUrl> opened;
    std::vector<std::string> alerts;
    std::vector<std::string> messages;
};

TEST_F(UrlOpenerTest, WhatNothingOpenedIsToldByItsKindAndCanBeCopied)
{
    opens = false;
    answer = 0; // "Copy Link"
    const QUrl page(QStringLiteral("https://kiruvo.example/feedback?product=Kiruvo"));
    EXPECT_FALSE(UrlOpener::openOrTell(page, "the feedback page"));
    drain();
    EXPECT_EQ(opened, std::vector<QUrl> { page });
    EXPECT_EQ(alerts, std::vector<std::string> { "Could not open the feedback page" });
    EXPECT_TRUE(messages.back().starts_with("No web browser")) << messages.back();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), page.toString(QUrl::FullyEncoded));

    // A folder with no file manager: its location, not a file: URL, is what the user can use.
    EXPECT_FALSE(UrlOpener::openOrTell(QUrl::fromLocalFile(QStringLiteral("/tmp/scripts")), "the folder"));
    drain();
    EXPECT_TRUE(messages.back().starts_with("No file manager")) << messages.back();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("/tmp/scripts"));

    answer = 1; // "OK": nothing copied
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(UrlOpener::openOrTell(QUrl(QStringLiteral("mailto:a@example.com")), "the address"));
    drain();
    EXPECT_TRUE(messages.back().starts_with("No e-mail program")) << messages.back();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
    EXPECT_EQ(alerts.size(), 3u);
}

TEST_F(UrlOpenerTest, ALinkIsHandedOverWithoutAskingWhichProgramHandlesItsScheme)
{
    // No xdg-utils (a sandbox, a minimal system): the desktop opens links all the same.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    EXPECT_TRUE(UrlOpener::openOrTell(QUrl(QStringLiteral("https://kiruvo.example")), "the link"));
    EXPECT_TRUE(UrlOpener::openOrTell(QUrl(QStringLiteral("mailto:a@example.com")), "the address"));
    EXPECT_TRUE(UrlOpener::openOrTell(QUrl::fromLocalFile(QStringLiteral("/tmp")), "the folder"));
    qputenv("PATH", path);
    drain();
    EXPECT_EQ(opened.size(), 3u);
    EXPECT_TRUE(alerts.empty());
}

TEST_F(UrlOpenerTest, SendFeedbackThatNothingOpensSaysSo)
{
    opens = false;
    zk::sendFeedbackAction()();
    drain();
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(alerts, std::vector<std::string> { "Could not open the feedback page" });
}

} // namespace

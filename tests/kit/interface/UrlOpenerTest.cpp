#include "kit/interface/UrlOpener.h"

#include "kit/foundation/AlertPresenter.h"
#include "kit/interface/StandardMenuItems.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <gtest/gtest.h>

#include <map>
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
        UrlOpener::setForTesting(
            [this](const std::string& scheme) -> std::optional<std::string> {
                const auto found = handlers.find(scheme);
                return found == handlers.end() ? std::nullopt : std::optional(found->second);
            },
            [this](const QUrl& url) {
                opened.push_back(url);
                return opens;
            });
        zk::AlertPresenter::shared().setRunModal([this](QMessageBox& alert) {
            alerts.push_back(alert.text().toStdString());
            return answer;
        });
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override
    {
        drain();
        UrlOpener::setForTesting({}, {});
        zk::AlertPresenter::shared().setRunModal({});
        QGuiApplication::clipboard()->clear();
    }

    std::map<std::string, std::string> handlers;
    bool opens = true;
    int answer = 1;
    std::vector<QUrl> opened;
    std::vector<std::string> alerts;
};

TEST_F(UrlOpenerTest, WithNoBrowserTheUserIsToldAndCanCopyTheLink)
{
    answer = 0; // "Copy Link"
    const QUrl page(QStringLiteral("https://kiruvo.example/feedback?product=Kiruvo"));
    EXPECT_FALSE(UrlOpener::openOrTell(page, "the feedback page"));
    drain();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(alerts, std::vector<std::string> { "Could not open the feedback page" });
    EXPECT_EQ(QGuiApplication::clipboard()->text(), page.toString(QUrl::FullyEncoded));
}

TEST_F(UrlOpenerTest, ALinkNoProgramTookIsToldAndOneThatOpenedIsNot)
{
    handlers["https"] = "firefox-esr";
    opens = false;
    EXPECT_FALSE(UrlOpener::openOrTell(QUrl(QStringLiteral("https://kiruvo.example")), "the link"));
    drain();
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(alerts.size(), 1u);
    // Closed with OK: nothing copied.
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());

    opens = true;
    EXPECT_TRUE(UrlOpener::openOrTell(QUrl(QStringLiteral("https://kiruvo.example")), "the link"));
    // A folder is opened by its type, with no scheme handler to ask for.
    EXPECT_TRUE(UrlOpener::openOrTell(QUrl::fromLocalFile(QStringLiteral("/tmp")), "the folder"));
    drain();
    EXPECT_EQ(opened.size(), 3u);
    EXPECT_EQ(alerts.size(), 1u);
}

TEST_F(UrlOpenerTest, SendFeedbackWithNoBrowserSaysSo)
{
    zk::sendFeedbackAction()();
    drain();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(alerts, std::vector<std::string> { "Could not open the feedback page" });
}

} // namespace

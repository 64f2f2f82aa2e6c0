#include "kit/diagnostics/DebugLogScreen.h"
#include "kit/diagnostics/DebugMoreMenu.h"
#include "kit/diagnostics/DebugUserDefaultsScreen.h"
#include "platform/combine/ManualScheduler.h"

#include "DiagnosticsFixture.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>

#include <atomic>
#include <thread>

using namespace zk;
using platform::DebugLog;
using platform::PropertyList;

class DebugListScreensTest : public DiagnosticsFixture { };

TEST_F(DebugListScreensTest, WithTheLogOffTheScreenIsEmptyAndItsMenuDisabled)
{
    DebugLog::setEnabled(false);
    DebugLog::append("not kept");
    DebugLogScreen screen;
    EXPECT_TRUE(screen.rows().isEmpty());
    screen.moreMenu().refresh();
    EXPECT_FALSE(screen.moreMenu().copyAction()->isEnabled());
    EXPECT_FALSE(screen.moreMenu().clearAction()->isEnabled());
}

TEST_F(DebugListScreensTest, RowsAreTheEntriesTrimmedEachInItsOwnPlace)
{
    DebugLog::setEnabled(true);
    DebugLogScreen screen;
    DebugLog::append("same");
    DebugLog::append("same");
    DebugLog::append("first line\nsecond line");
    // Nothing changes until the next tick.
    EXPECT_TRUE(screen.rows().isEmpty());
    screen.refresh();
    const QStringList rows = screen.rows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_TRUE(rows[0].startsWith(QStringLiteral("same\t")));
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral("same\t")));
    EXPECT_TRUE(rows[2].startsWith(QStringLiteral("first line\nsecond line\t")));
    EXPECT_FALSE(rows[2].endsWith(QLatin1Char('\n')));
    EXPECT_TRUE(screen.moreMenu().copyAction()->isEnabled());

    screen.moreMenu().copyAction()->trigger();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied.count(QStringLiteral("same\t")), 2);
    EXPECT_TRUE(copied.contains(QStringLiteral("\nfirst line\nsecond line\t")));

    screen.moreMenu().clearAction()->trigger();
    EXPECT_TRUE(DebugLog::entries().empty());
    EXPECT_TRUE(screen.rows().isEmpty());
    EXPECT_FALSE(screen.moreMenu().clearAction()->isEnabled());
}

TEST_F(DebugListScreensTest, TheScreenReadsTheLogEverySecond)
{
    DebugLog::setEnabled(true);
    // Outlives the screen, whose timeline it schedules.
    platform::combine::ManualScheduler seconds;
    DebugLogScreen screen;
    EXPECT_TRUE(screen.timeline().isRunning());
    screen.timeline().setScheduler(seconds);
    screen.timeline().start();
    DebugLog::append("later");
    seconds.advance(0.9);
    EXPECT_TRUE(screen.rows().isEmpty());
    seconds.advance(0.1);
    ASSERT_EQ(screen.rows().size(), 1);
    DebugLog::append("again");
    seconds.advance(1);
    EXPECT_EQ(screen.rows().size(), 2);
}

TEST_F(DebugListScreensTest, TheScreenReadsTheLogWhileOtherThreadsWriteIt)
{
    DebugLog::setEnabled(true);
    DebugLogScreen screen;
    std::atomic<bool> stop { false };
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 3; ++writer) {
        writers.emplace_back([&stop, writer] {
            for (int line = 0; !stop.load() && line < 6000; ++line) {
                DebugLog::append("writer " + std::to_string(writer) + " line " + std::to_string(line));
            }
        });
    }
    for (int tick = 0; tick < 50; ++tick) {
        screen.refresh();
        EXPECT_LE(screen.rows().size(), static_cast<qsizetype>(DebugLog::maxCount));
        QCoreApplication::processEvents();
    }
    stop = true;
    for (auto& writer : writers) {
        writer.join();
    }
    screen.refresh();
    const QStringList rows = screen.rows();
    const auto entries = DebugLog::entries();
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(entries.size()));
    for (qsizetype index = 0; index < rows.size(); ++index) {
        ASSERT_EQ(rows[index], QString::fromStdString(entries[static_cast<std::size_t>(index)]).trimmed());
    }
}

TEST_F(DebugListScreensTest, TheDefaultsScreenListsDeletesAndFollowsChanges)
{
    suite->setObject(PropertyList(2), "ZK_launchCount");
    suite->setObject(PropertyList(true), "enableAtLaunch");
    suite->setObject(PropertyList(600.0), "notifyInterval");
    DebugUserDefaultsScreen screen;
    auto sections = screen.sections();
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].first, QStringLiteral("Standard"));
    EXPECT_EQ(sections[0].second,
        (QStringList { QStringLiteral("ZK_launchCount"), QStringLiteral("enableAtLaunch"),
            QStringLiteral("notifyInterval") }));

    const DebugSuite standard = debugSuites().front();
    const SettingsDump shown = settingsDump(*suite);
    DebugUserDefaultsScreen::deleteKeys(standard, shown, { 0, 7, -1 });
    EXPECT_EQ(suite->objectForKey("ZK_launchCount"), std::nullopt);
    EXPECT_EQ(suite->objectForKey("enableAtLaunch"), PropertyList(true));
    // The change notification renders the screen again.
    ASSERT_TRUE(settle([&] { return screen.sections()[0].second.size() == 2; }));

    suite->setObject(PropertyList("x"), "added");
    ASSERT_TRUE(settle([&] { return screen.sections()[0].second.size() == 3; }));
}

TEST_F(DebugListScreensTest, TheDefaultsScreenHearsOfChangesOnlyThroughItsListenOnlyObservable)
{
    DebugUserDefaultsScreen screen;
    int announced = 0;
    auto listening = screen.defaultsChanges().objectWillChange().sink([&](const auto&) { ++announced; });
    // Written from another thread: the announcement still comes on the main thread, and brings the
    // reload with it.
    std::thread writer([&] { suite->setObject(PropertyList("y"), "fromAnotherThread"); });
    writer.join();
    EXPECT_EQ(announced, 0);
    ASSERT_TRUE(settle([&] { return announced > 0; }));
    ASSERT_TRUE(
        settle([&] { return screen.sections()[0].second.contains(QStringLiteral("fromAnotherThread")); }));
}

TEST_F(DebugListScreensTest, CopyAllAndClearAllCoverEveryKey)
{
    suite->setObject(PropertyList(600.0), "notifyInterval");
    suite->setObject(PropertyList(2), "ZK_launchCount");
    suite->setObject(PropertyList(true), "NSShowAllViews");
    EXPECT_EQ(DebugUserDefaultsScreen::copyAllText(), "ZK_launchCount: 2\nnotifyInterval: 600");
    DebugUserDefaultsScreen screen;
    EXPECT_TRUE(screen.moreMenu().copyAction()->isEnabled());
    screen.moreMenu().copyAction()->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("ZK_launchCount: 2\nnotifyInterval: 600"));

    screen.moreMenu().clearAction()->trigger();
    // Also the keys that the dump hides.
    EXPECT_EQ(suite->objectForKey("NSShowAllViews"), std::nullopt);
    EXPECT_TRUE(suite->dictionaryRepresentation().empty());
    EXPECT_FALSE(DebugUserDefaultsScreen::hasContent());
    ASSERT_TRUE(settle([&] { return screen.sections()[0].second.isEmpty(); }));
    EXPECT_FALSE(screen.moreMenu().copyAction()->isEnabled());
}

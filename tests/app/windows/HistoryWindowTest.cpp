#include "app/SessionEngineFixture.h"

#include "app/engine/SharedFormatters.h"
#include "app/windows/HistoryExport.h"
#include "app/windows/HistoryListModel.h"
#include "app/windows/HistoryRowDelegate.h"
#include "app/windows/HistoryScreen.h"
#include "app/windows/HistoryWindowController.h"
#include "app/windows/StatsView.h"
#include "kit/foundation/RunOnce.h"
#include "kit/foundation/SecondaryTextColor.h"
#include "kit/interface/FileExporter.h"
#include "kit/interface/WindowConstraints.h"
#include "platform/combine/ManualScheduler.h"
#include "support/ColourSchemes.h"
#include "support/ScreenReaderSession.h"

#include <QAccessible>
#include <QApplication>
#include <QDBusArgument>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace kiruvo;

namespace {

class HistoryWindowTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        // Only the tests of the note see it.
        zk::runOnce(HistoryScreen::welcomeMessageIdentifier);
    }

    void TearDown() override
    {
        m_screen.reset();
        zk::FileExporter::setSavePanel({});
        HistoryWindowController::setSessionController(nullptr);
        processEvents();
        SessionEngineTest::TearDown();
    }

    HistoryScreen& screen()
    {
        if (!m_screen) {
            m_screen = std::make_unique<HistoryScreen>(controller());
        }
        return *m_screen;
    }

    // The rows as shown: a day as "# title | total", a session as "duration | range".
    std::vector<std::string> shownRows()
    {
        std::vector<std::string> rows;
        const HistoryListModel& model = screen().model();
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex index = model.index(row);
            const bool day = model.kindAt(row) == HistoryListModel::Kind::day;
            rows.push_back(std::string(day ? "# " : "")
                               .append(index.data(HistoryListModel::TitleRole).toString().toStdString())
                               .append(" | ")
                               .append(index.data(HistoryListModel::DetailRole).toString().toStdString()));
        }
        return rows;
    }

    // The window on screen at its own size.
    bool showOnScreen()
    {
        screen().resize(HistoryScreen::width, HistoryScreen::height);
        screen().show();
        return QTest::qWaitForWindowExposed(&screen());
    }

    QAction* moreAction(const QString& text)
    {
        for (QAction* action : screen().moreButton().menu()->actions()) {
            if (action->text() == text) {
                return action;
            }
        }
        return nullptr;
    }

    // The list's own waits, when a test drives them; it outlives the list.
    platform::combine::ManualScheduler timers;
    std::unique_ptr<HistoryScreen> m_screen;
};

} // namespace

// The clock stands at Wednesday 15 May 2024, 12:00 in Oslo.

TEST_F(HistoryWindowTest, SessionsAreGroupedByTheDayTheyStartWithTitlesAndTotals)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 10), oslo(2024, 5, 15, 11)),
        session(oslo(2024, 5, 14, 23, 30), oslo(2024, 5, 15, 0, 30)),
        session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)),
        session(oslo(2024, 5, 10, 9), oslo(2024, 5, 10, 9, 45)),
        session(oslo(2023, 12, 31, 22), oslo(2023, 12, 31, 23)) });
    const auto rows = shownRows();
    ASSERT_EQ(rows.size(), 9u);
    // A session across midnight belongs to the day it starts on; each day's total counts its part.
    EXPECT_EQ(rows[0], "# Today | 1 hour, 30 minutes");
    EXPECT_EQ(rows[1].substr(0, 10), "1 hour | 1");
    EXPECT_EQ(rows[2], "# Yesterday | 1 hour, 30 minutes");
    EXPECT_EQ(rows[3].substr(0, 6), "1 hour");
    EXPECT_EQ(rows[5], "# Friday, May 10 | 45 minutes");
    EXPECT_EQ(rows[6].substr(0, 13), "45 minutes | ");
    EXPECT_EQ(rows[7], "# Sunday, December 31, 2023 | 1 hour");
    EXPECT_EQ(screen().model().dayCount(), 4);
    EXPECT_FALSE(screen().emptyLabel().isVisibleTo(&screen()));
    EXPECT_TRUE(screen().listView().alternatingRowColors());
}

TEST_F(HistoryWindowTest, OnTheFirstOfJanuaryTheLastDayOfTheYearIsYesterday)
{
    fake.clock.setNow(oslo(2025, 1, 1, 9));
    controller().setAllSessions({ session(oslo(2024, 12, 31, 20), oslo(2024, 12, 31, 21)) });
    EXPECT_EQ(shownRows()[0], "# Yesterday | 1 hour");
}

TEST_F(HistoryWindowTest, ADayIsTitledInTheZoneThatGroupedIt)
{
    // Recorded in Los Angeles at 01:00 there, which is 10:00 today in Oslo: the day's first
    // instant, midnight in Oslo, is still yesterday afternoon in Los Angeles.
    const auto start = oslo(2024, 5, 15, 10);
    controller().setAllSessions({ session(start, start.addingTimeInterval(3600), "America/Los_Angeles") });
    EXPECT_EQ(shownRows()[0], "# Today | 1 hour");
}

TEST_F(HistoryWindowTest, GroupingFollowsTheCurrentZoneWestOfTheRecordedOne)
{
    platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier("America/Los_Angeles"));
    // 08:00 in Oslo is 23:00 the evening before in Los Angeles; 12:00 in Oslo is 03:00 there.
    controller().setAllSessions({ session(oslo(2024, 5, 15, 11), oslo(2024, 5, 15, 11, 30)),
        session(oslo(2024, 5, 15, 8), oslo(2024, 5, 15, 9, 30)) });
    const auto rows = shownRows();
    ASSERT_EQ(rows.size(), 4u);
    // 23:00 to 00:00 on the 14th; the rest of that session and the other one on the 15th.
    EXPECT_EQ(rows[0], "# Today | 1 hour");
    EXPECT_EQ(rows[2], "# Yesterday | 1 hour");
}

TEST_F(HistoryWindowTest, AnOpenWindowRegroupsTheDaysInANewTimeZone)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 8), oslo(2024, 5, 15, 9)) });
    screen();
    EXPECT_EQ(shownRows()[0], "# Today | 1 hour");
    // 08:00 in Oslo is 23:00 the evening before in Los Angeles.
    fake.clock.changeTimeZone(*platform::TimeZone::withIdentifier("America/Los_Angeles"));
    processEvents();
    const auto rows = shownRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "# Yesterday | 1 hour");
}

TEST_F(HistoryWindowTest, AnOpenWindowTurnsTodayIntoYesterdayAtMidnight)
{
    fake.clock.setNow(oslo(2024, 5, 15, 23, 59, 30));
    controller().setEnabled(false);
    controller().setAllSessions({ session(oslo(2024, 5, 15, 22), oslo(2024, 5, 15, 23)) });
    screen().model().setScheduler(timers);
    screen().show();
    processEvents();
    // The window's own wait, and the clock, move together; nothing else tells the window.
    const auto pass = [&](double seconds) {
        fake.clock.advance(seconds);
        timers.advance(seconds);
        processEvents();
    };
    pass(29);
    EXPECT_EQ(shownRows()[0], "# Today | 1 hour");
    pass(1);
    EXPECT_EQ(shownRows()[0], "# Yesterday | 1 hour");
    pass(24 * 3600);
    EXPECT_EQ(shownRows()[0], "# Wednesday, May 15 | 1 hour");
}

TEST_F(HistoryWindowTest, AnEmptyHistoryShowsNoSessionsAndZeroFigures)
{
    screen();
    EXPECT_EQ(screen().model().rowCount(), 0);
    EXPECT_TRUE(screen().emptyLabel().isVisibleTo(&screen()));
    EXPECT_EQ(screen().emptyLabel().text(), "No Sessions");
    EXPECT_FALSE(screen().listView().alternatingRowColors());
    using Rows = std::vector<std::pair<QString, QString>>;
    EXPECT_EQ(screen().statsView().rows(),
        (Rows { { "Days:", "0" }, { "Total today:", "0 minutes" }, { "Total yesterday:", "Not available" },
            { "7-day average:", "0 minutes" }, { "Weekday average:", "0 minutes" },
            { "All-time average:", "0 minutes" } }));
    EXPECT_EQ(screen().sizeHint(), QSize(420, 560));
}

TEST_F(HistoryWindowTest, TheFiguresComeFromTheEngineWithTheRunningSession)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)),
        session(oslo(2024, 5, 13, 9), oslo(2024, 5, 13, 12)) });
    controller().setEnabled(true);
    fake.clock.advance(20 * 60);
    screen().statsView().refresh();
    const auto rows = screen().statsView().rows();
    EXPECT_EQ(rows[0].second, "3");
    EXPECT_EQ(rows[1].second, "1 hour, 20 minutes");
    // Nothing on the 14th.
    EXPECT_EQ(rows[2].second, "Not available");
    // Two days with time: (1:20 + 3:00) / 2.
    EXPECT_EQ(rows[3].second, "2 hours, 10 minutes");
    EXPECT_EQ(rows[3].second,
        QString::fromStdString(SharedFormatters::hoursMinutesStandaloneText(
            zk::Duration::fromSeconds(controller().averageDuration(-6, 0, false)))));
}

TEST_F(HistoryWindowTest, TheListFollowsChangesMadeElsewhere)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)) });
    EXPECT_EQ(screen().model().rowCount(), 2);

    // A session stored while the window is open appears.
    controller().setEnabled(true);
    fake.clock.advance(600);
    controller().stop(false);
    processEvents();
    EXPECT_EQ(screen().model().rowCount(), 3);
    EXPECT_EQ(screen().statsView().rows()[1].second, "1 hour, 10 minutes");

    // A write by another writer of the key (a script over D-Bus, say) is followed too.
    storeRaw({});
    processEvents();
    EXPECT_EQ(screen().model().rowCount(), 0);
    EXPECT_TRUE(screen().emptyLabel().isVisibleTo(&screen()));
}

TEST_F(HistoryWindowTest, RowsKeepTheirHeightsAfterEveryChangeOfTheHistory)
{
    const auto heights = [this] {
        std::vector<int> shown;
        for (int row = 0; row < screen().model().rowCount(); ++row) {
            shown.push_back(screen().listView().rowHeight(row));
        }
        return shown;
    };
    const int day = HistoryRowDelegate::dayRowHeight;
    const int sessionRow = HistoryRowDelegate::sessionRowHeight;
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)),
        session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)) });
    screen().show();
    processEvents();
    EXPECT_EQ(heights(), (std::vector<int> { day, sessionRow, day, sessionRow }));

    // Today's rows move down by one when a new day comes first: the old day rows now hold sessions.
    controller().setAllSessions({ session(oslo(2024, 5, 15, 11), oslo(2024, 5, 15, 11, 30)),
        session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)),
        session(oslo(2024, 5, 13, 9), oslo(2024, 5, 13, 10)) });
    processEvents();
    EXPECT_EQ(heights(), (std::vector<int> { day, sessionRow, sessionRow, day, sessionRow }));

    controller().setAllSessions({ session(oslo(2024, 5, 12, 9), oslo(2024, 5, 12, 10)),
        session(oslo(2024, 5, 12, 11), oslo(2024, 5, 12, 12)),
        session(oslo(2024, 5, 12, 13), oslo(2024, 5, 12, 14)) });
    processEvents();
    EXPECT_EQ(heights(), (std::vector<int> { day, sessionRow, sessionRow, sessionRow }));
}

TEST_F(HistoryWindowTest, DayTotalsAreReadableInLightAndDarkSchemes)
{
    const QPalette previous = QApplication::palette();
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)) });
    for (const bool dark : { false, true }) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QApplication::setPalette(breezePalette(dark));
        m_screen.reset();
        screen().show();
        processEvents();
        auto& list = screen().listView();
        ASSERT_EQ(screen().model().kindAt(0), HistoryListModel::Kind::day);
        const QRect row = list.visualRect(screen().model().index(0));
        const QImage image = list.viewport()->grab(row).toImage();
        // The total is drawn at the right; the strongest of its pixels is its colour.
        const QColor window = QApplication::palette().color(QPalette::Window);
        double strongest = 1;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = image.width() / 2; x < image.width(); ++x) {
                strongest = std::max(strongest, zk::contrastRatio(image.pixelColor(x, y), window));
            }
        }
        EXPECT_GE(strongest, zk::minimumSecondaryTextContrast);
    }
    m_screen.reset();
    QApplication::setPalette(previous);
}

TEST_F(HistoryWindowTest, HomeAndEndGoToTheFirstAndLastSession)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)),
        session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)),
        session(oslo(2024, 5, 13, 9), oslo(2024, 5, 13, 10)) });
    screen().show();
    processEvents();
    auto& list = screen().listView();
    const int last = screen().model().rowCount() - 1;
    QTest::keyClick(&list, Qt::Key_End);
    EXPECT_EQ(screen().selectedRow(), last);
    QTest::keyClick(&list, Qt::Key_Home);
    // The first row is the day's title; the first session is under it.
    EXPECT_EQ(screen().selectedRow(), 1);
}

TEST_F(HistoryWindowTest, TheArrowKeysStartAtTheNewestSessionAndGoOnAfterADelete)
{
    const auto newest = session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10));
    const auto middle = session(oslo(2024, 5, 15, 7), oslo(2024, 5, 15, 8));
    const auto oldest = session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10));
    controller().setAllSessions({ newest, middle, oldest });
    ASSERT_TRUE(showOnScreen());
    screen().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&screen()));
    auto& list = screen().listView();
    // Reached by the keyboard, as Tab from the More button does.
    list.setFocus(Qt::TabFocusReason);
    processEvents();
    ASSERT_TRUE(list.hasFocus());
    // Tab goes on to the More button and back, choosing nothing on the way.
    QTest::keyClick(&list, Qt::Key_Tab);
    EXPECT_TRUE(screen().moreButton().hasFocus());
    QTest::keyClick(&screen().moreButton(), Qt::Key_Tab);
    EXPECT_TRUE(list.hasFocus());
    EXPECT_EQ(screen().selectedRow(), -1);
    // Rows: today's title, `newest`, `middle`, yesterday's title, `oldest`.
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(screen().selectedRow(), 1) << "the first Down chooses the newest session";
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(screen().selectedRow(), 2);
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(screen().selectedRow(), 4) << "past yesterday's title";
    QTest::keyClick(&list, Qt::Key_Up);
    EXPECT_EQ(screen().selectedRow(), 2);

    // Deleted: nothing is chosen, and the keys go on from its place.
    QTest::keyClick(&list, Qt::Key_Delete);
    processEvents();
    EXPECT_EQ(controller().allSessions(), (std::vector<Session> { newest, oldest }));
    EXPECT_EQ(screen().selectedRow(), -1);
    // Rows: today's title, `newest`, yesterday's title, `oldest`.
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(screen().selectedRow(), 3) << "the session now in its place";
    QTest::keyClick(&list, Qt::Key_Delete);
    processEvents();
    QTest::keyClick(&list, Qt::Key_Up);
    EXPECT_EQ(screen().selectedRow(), 1) << "the session above it";
    EXPECT_EQ(screen().model().sessionAt(1)->id(), newest.id());
}

// A screen reader names a cell of the list by its child index (as the view's focus and selection
// events do), by its row and column, or by a row and column worked out from an index: every way
// reaches the same cell, read as the row shows it, and nothing is logged on the way.
TEST_F(HistoryWindowTest, AScreenReaderReachesEachRowByEveryIndexWithoutWarnings)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 10), oslo(2024, 5, 15, 11)),
        session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 9, 45)) });
    ASSERT_TRUE(showOnScreen());
    static int warnings;
    warnings = 0;
    struct CountedWarnings {
        QtMessageHandler previous
            = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
                  warnings += type == QtWarningMsg;
              });
        ~CountedWarnings() { qInstallMessageHandler(previous); }
    } counted;

    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&screen().listView());
    ASSERT_NE(table->tableInterface(), nullptr);
    const int rows = table->tableInterface()->rowCount();
    const int columns = table->tableInterface()->columnCount();
    ASSERT_EQ(rows, 4);
    EXPECT_EQ(table->childCount(), rows * columns) << "the hidden headers are no children";
    std::vector<std::string> read;
    for (int index = 0; index < table->childCount(); ++index) {
        QAccessibleInterface* cell = table->child(index);
        ASSERT_TRUE(cell && cell->tableCellInterface()) << index;
        const int row = cell->tableCellInterface()->rowIndex();
        const int column = cell->tableCellInterface()->columnIndex();
        EXPECT_EQ(row * columns + column, index);
        EXPECT_EQ(table->indexOfChild(cell), index);
        EXPECT_EQ(table->tableInterface()->cellAt(row, column), cell);
        EXPECT_EQ(table->tableInterface()->cellAt(index / columns, index % columns), cell);
        read.push_back(cell->text(QAccessible::Name).toStdString());
    }
    EXPECT_EQ(table->child(table->childCount()), nullptr);
    EXPECT_FALSE(table->tableInterface()->cellAt(rows, 0)->isValid());
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(read[0], "Today, 1 hour");
    EXPECT_EQ(read[1].substr(0, 8), "1 hour, ");
    EXPECT_EQ(read[2], "Yesterday, 45 minutes");
    EXPECT_EQ(read[3].substr(0, 12), "45 minutes, ");

    // Today's session is deleted: a reader holding a cell of a row that is gone is told so, and
    // each index reaches the row now there.
    QAccessibleInterface* lastBefore = table->child(3);
    controller().setAllSessions({ session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 9, 45)) });
    processEvents();
    ASSERT_EQ(table->childCount(), 2 * columns);
    EXPECT_FALSE(lastBefore->isValid());
    EXPECT_EQ(table->child(0)->text(QAccessible::Name).toStdString(), read[2]);
    EXPECT_EQ(table->child(1)->text(QAccessible::Name).toStdString(), read[3]);
    EXPECT_EQ(table->child(2), nullptr);
    EXPECT_EQ(warnings, 0);
}

// A screen reader asks the list for places it does not have: -1, the cell count, or indices it
// counted before a Delete. Qt's bridge reads on from the cell a table gives it without looking, so
// the questions go over the accessibility bus as a reader's do: each is answered, with nothing or
// false, and the application lives on (the child test program would end by a crash otherwise).
TEST_F(HistoryWindowTest, AQuestionForCellsThatAreNotThereOrWithoutItsArgumentsIsAnsweredNothing)
{
    if (!ScreenReaderSession::isChild()) {
        ScreenReaderSession::runCurrentTest();
        return;
    }
    controller().setAllSessions({ session(oslo(2024, 5, 15, 10), oslo(2024, 5, 15, 11)),
        session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 9, 45)) });
    ASSERT_TRUE(showOnScreen());
    ScreenReaderSession reader;
    ASSERT_TRUE(reader.isConnected());
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&screen().listView());
    const QString table = QStringLiteral("org.a11y.atspi.Table");
    // What the reader is told, in words: the answer's values, or that there is no such object.
    const auto ask = [&](const QString& method, const QVariantList& arguments) {
        const QDBusMessage reply = reader.call(list, table, method, arguments);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            return reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.UnknownObject")
                ? std::string("nothing")
                : reply.errorName().toStdString();
        }
        std::string words;
        for (const QVariant& value : reply.arguments()) {
            words += (words.empty() ? "" : " ")
                + (value.canConvert<QDBusArgument>() ? std::string("object")
                                                     : value.toString().toStdString());
        }
        return words;
    };
    EXPECT_EQ(ask(QStringLiteral("GetRowColumnExtentsAtIndex"), { 1 }), "true 1 0 1 1 false");
    const QString before = ScreenReaderSession::pathOf(list->child(3));
    const int cellsBefore = list->childCount();

    // The first session is deleted: the list has two rows left of four.
    controller().setAllSessions({ session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 9, 45)) });
    processEvents();
    ASSERT_EQ(list->childCount(), 2);
    for (const int index : { -1, 2, cellsBefore - 1, cellsBefore }) {
        SCOPED_TRACE(index);
        EXPECT_EQ(ask(QStringLiteral("GetRowColumnExtentsAtIndex"), { index }).substr(0, 5), "false");
        EXPECT_EQ(ask(QStringLiteral("GetRowExtentAt"), { index, 0 }), "0");
        EXPECT_EQ(ask(QStringLiteral("GetColumnExtentAt"), { 0, index }), "0");
        EXPECT_EQ(ask(QStringLiteral("IsSelected"), { index, index }), "false");
        EXPECT_EQ(ask(QStringLiteral("GetAccessibleAt"), { index, 0 }), "nothing");
        EXPECT_EQ(ask(QStringLiteral("GetIndexAt"), { index, 0 }), "-1");
        EXPECT_EQ(ask(QStringLiteral("GetRowAtIndex"), { index }), index < 0 ? "-1" : "nothing");
        EXPECT_EQ(ask(QStringLiteral("GetColumnAtIndex"), { index }), index < 0 ? "-1" : "nothing");
        EXPECT_EQ(ask(QStringLiteral("GetRowHeader"), { index }), "object");
        EXPECT_EQ(ask(QStringLiteral("GetColumnHeader"), { index }), "object");
        EXPECT_EQ(ask(QStringLiteral("IsRowSelected"), { index }), "false");
        EXPECT_EQ(ask(QStringLiteral("AddRowSelection"), { index }), "false");
        EXPECT_EQ(ask(QStringLiteral("RemoveRowSelection"), { index }), "false");
        EXPECT_EQ(ask(QStringLiteral("AddColumnSelection"), { index }), "false");
        // The null object.
        EXPECT_EQ(reader
                      .call(list, QStringLiteral("org.a11y.atspi.Accessible"),
                          QStringLiteral("GetChildAtIndex"), { index })
                      .type(),
            QDBusMessage::ReplyMessage);
    }
    // The cell the reader held of a row now gone is no object any more.
    for (const QString& method : { QStringLiteral("GetIndexInParent"), QStringLiteral("GetState") }) {
        EXPECT_EQ(reader.call(before, QStringLiteral("org.a11y.atspi.Accessible"), method).errorName(),
            QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));
    }
    EXPECT_EQ(ask(QStringLiteral("GetRowColumnExtentsAtIndex"), { 1 }), "true 1 0 1 1 false");

    // Any program on the bus may send a call without its arguments, or ask for all properties at
    // once, which Qt's bridge itself cannot answer: each gets an error.
    EXPECT_EQ(
        ask(QStringLiteral("GetRowColumnExtentsAtIndex"), {}), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(ask(QStringLiteral("IsRowSelected"), { QStringLiteral("1") }),
        "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(reader
                  .call(list, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"),
                      { table })
                  .errorName(),
        QStringLiteral("org.freedesktop.DBus.Error.NotSupported"));
    EXPECT_EQ(reader.property(list, table, QStringLiteral("NRows")).toInt(), 2);
}

TEST_F(HistoryWindowTest, ReturnOnTheFocusedMoreButtonOpensItsMenuAsSpaceDoes)
{
    ASSERT_TRUE(showOnScreen());
    screen().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&screen()));
    screen().moreButton().setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(screen().moreButton().hasFocus());
    QMenu* more = screen().moreButton().menu();
    bool opened = false;
    // Runs inside the menu's own loop, which the key starts.
    QTimer::singleShot(0, more, [&] {
        opened = more->isVisible();
        more->close();
    });
    QTest::keyClick(screen().windowHandle(), Qt::Key_Return);
    processEvents();
    EXPECT_TRUE(opened);
}

TEST_F(HistoryWindowTest, TheCurrentSessionRowShowsTheFocusMark)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)) });
    screen().show();
    processEvents();
    auto& list = screen().listView();
    const QModelIndex index = screen().model().index(1);
    const auto render = [&](bool focused) {
        QStyleOptionViewItem option;
        option.initFrom(&list);
        option.rect = QRect(0, 0, 300, HistoryRowDelegate::sessionRowHeight);
        option.state |= QStyle::State_Enabled | QStyle::State_KeyboardFocusChange;
        option.state.setFlag(QStyle::State_HasFocus, focused);
        QImage image(option.rect.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        list.itemDelegate()->paint(&painter, option, index);
        return image;
    };
    EXPECT_NE(render(true), render(false));

    // Reaching the list by the keyboard gives it a current row to mark, without selecting it.
    list.setFocus(Qt::TabFocusReason);
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(&list, &focusIn);
    EXPECT_EQ(list.currentIndex().row(), 1);
    EXPECT_EQ(screen().selectedRow(), -1);
}

TEST_F(HistoryWindowTest, ADeletedSessionNeverComesBackWithAStopRightAfter)
{
    const auto kept = session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10));
    const auto deleted = session(oslo(2024, 5, 15, 7), oslo(2024, 5, 15, 8));
    controller().setAllSessions({ kept, deleted });
    controller().setEnabled(true);
    fake.clock.advance(600);
    screen();

    // The context menu's "Delete" on the second session row.
    QMenu* menu = screen().makeContextMenu(2);
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), "Delete");
    menu->actions()[0]->trigger();
    controller().stop(false);
    const auto stored = controller().allSessions();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1], kept);
    EXPECT_TRUE(std::find(stored.begin(), stored.end(), deleted) == stored.end());
    processEvents();
    EXPECT_EQ(screen().model().rowCount(), 3);
    EXPECT_EQ(screen().makeContextMenu(0), nullptr);
}

TEST_F(HistoryWindowTest, TheListsDeleteActionRemovesTheFirstOffsetsSessionById)
{
    const auto first = session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10));
    const auto second = session(oslo(2024, 5, 15, 7), oslo(2024, 5, 15, 8));
    controller().setAllSessions({ first, second });
    screen().deleteSession({ 5 }, { first, second });
    EXPECT_EQ(controller().allSessions().size(), 2u);
    screen().deleteSession({ 1, 0 }, { first, second });
    EXPECT_EQ(controller().allSessions(), std::vector<Session> { first });

    // The Delete key on the chosen row; deleting the day's last session removes the day.
    processEvents();
    screen().show();
    screen().listView().setFocus(Qt::TabFocusReason);
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(&screen().listView(), &focusIn);
    QTest::keyClick(&screen().listView(), Qt::Key_Delete);
    EXPECT_EQ(controller().allSessions().size(), 1u) << "a focus mark alone chooses nothing";
    QTest::keyClick(&screen().listView(), Qt::Key_Space);
    EXPECT_EQ(screen().selectedRow(), 1);
    QTest::keyClick(&screen().listView(), Qt::Key_Delete);
    EXPECT_TRUE(controller().allSessions().empty());
    processEvents();
    EXPECT_EQ(screen().model().rowCount(), 0);
}

TEST_F(HistoryWindowTest, DeletingRemovesTheChosenSessionWhereverThePointerIs)
{
    const auto newest = session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10));
    const auto chosen = session(oslo(2024, 5, 15, 7), oslo(2024, 5, 15, 8));
    const auto oldest = session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10));
    controller().setAllSessions({ newest, chosen, oldest });
    ASSERT_TRUE(showOnScreen());
    processEvents();
    auto& list = screen().listView();
    QWidget* rows = list.viewport();
    const auto centreOf = [&](int row) { return list.visualRect(screen().model().index(row, 0)).center(); };
    // Rows: today's title, `newest`, `chosen`, yesterday's title, `oldest`.
    QTest::mouseClick(rows, Qt::LeftButton, Qt::NoModifier, centreOf(2));
    ASSERT_EQ(screen().selectedRow(), 2);
    QTest::mouseMove(rows, centreOf(4));
    QTest::mouseMove(rows, centreOf(1));
    processEvents();
    EXPECT_EQ(screen().selectedRow(), 2) << "the pointer chooses nothing";

    // A session stored meanwhile moves the rows: the choice stays with its session.
    const auto added = session(oslo(2024, 5, 15, 11), oslo(2024, 5, 15, 11, 30));
    controller().setAllSessions({ added, newest, chosen, oldest });
    processEvents();
    EXPECT_EQ(screen().selectedRow(), 3);

    QTest::keyClick(&list, Qt::Key_Backspace);
    EXPECT_EQ(controller().allSessions(), (std::vector<Session> { added, newest, oldest }));
    processEvents();
    EXPECT_EQ(screen().selectedRow(), -1) << "a second press deletes nothing unchosen";
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(controller().allSessions().size(), 3u);

    // The context menu opened on a row acts on that row, which it chooses.
    QTest::mouseClick(rows, Qt::LeftButton, Qt::NoModifier, centreOf(1));
    Q_EMIT list.customContextMenuRequested(centreOf(4));
    EXPECT_EQ(screen().selectedRow(), 4);
    QMenu* menu = list.findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    menu->actions().front()->trigger();
    menu->close();
    EXPECT_EQ(controller().allSessions(), (std::vector<Session> { added, newest }));
}

TEST_F(HistoryWindowTest, ClearingAsksFirstThenEmptiesTheHistoryAndAStopKeepsOnlyItsSession)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)),
        session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)) });
    // An entry that no longer decodes goes with the rest.
    auto entries = storedEntries();
    entries.emplace_back(std::string("{\"broken\":true}"));
    storeRaw(entries);
    controller().setEnabled(true);
    fake.clock.advance(600);

    QAction* clear = moreAction("Clear History");
    ASSERT_TRUE(clear);
    clear->trigger();
    processEvents();
    ASSERT_FALSE(alertTitles.empty());
    EXPECT_EQ(alertTitles.back(), "Clear history?");
    EXPECT_TRUE(storedEntries().empty());
    controller().stop(false);
    ASSERT_EQ(controller().allSessions().size(), 1u);
    EXPECT_NEAR(controller().allSessions()[0].duration(), 600, 0.1);
    EXPECT_EQ(storedEntries().size(), 1u);
}

TEST_F(HistoryWindowTest, CancellingTheConfirmationKeepsTheHistory)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)) });
    zk::AlertPresenter::shared().setRunModal([](QMessageBox&) { return 1; });
    screen().confirmClearHistory();
    processEvents();
    EXPECT_EQ(controller().allSessions().size(), 1u);
}

TEST_F(HistoryWindowTest, TheMoreMenuExportsBothFormsWithTheDefaultName)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)) });
    QTemporaryDir folder;
    std::vector<zk::ExportFile> offered;
    zk::FileExporter::setSavePanel(
        [&](QWidget*, const zk::ExportFile& file, std::function<void(std::optional<QString>)> chosen) {
            offered.push_back(file);
            chosen(folder.filePath(QString::fromStdString(
                *file.defaultFilename + "." + file.contentType.preferredFilenameExtension)));
        });
    ASSERT_TRUE(moreAction("Export History as CSV…"));
    ASSERT_TRUE(moreAction("Export History as JSON…"));
    EXPECT_EQ(moreAction("Export History as CSV…")->toolTip(), "Export the sessions as a CSV file.");
    moreAction("Export History as CSV…")->trigger();
    moreAction("Export History as JSON…")->trigger();
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0].defaultFilename, "Kiruvo Sessions 2024-05-15--2024-05-15");
    EXPECT_EQ(offered[0].contentType, zk::ContentType::commaSeparatedText());
    EXPECT_EQ(offered[1].contentType, zk::ContentType::json());
    QFile csv(folder.filePath("Kiruvo Sessions 2024-05-15--2024-05-15.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll(), HistoryExport::csvData(controller().allSessions()));
    QFile json(folder.filePath("Kiruvo Sessions 2024-05-15--2024-05-15.json"));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    EXPECT_EQ(json.readAll(), HistoryExport::jsonData(controller().allSessions()));
}

TEST_F(HistoryWindowTest, TheNoteIsShownOnTheFirstOpeningOnly)
{
    store()->removeAll();
    screen().show();
    processEvents();
    ASSERT_EQ(alertTitles, std::vector<std::string> { "Note" });
    // What this desktop offers for more figures: the exports, not another system's feature.
    EXPECT_NE(alertMessages.back().find("export the history as CSV or JSON"), std::string::npos);
    EXPECT_EQ(alertMessages.back().find("Screen Time"), std::string::npos);
    m_screen.reset();
    screen().show();
    processEvents();
    EXPECT_EQ(alertTitles.size(), 1u);
}

TEST_F(HistoryWindowTest, OneWindowTitledHistoryOpensClosesAndReopens)
{
    HistoryWindowController::setSessionController(&controller());
    HistoryWindowController::show();
    HistoryWindowController::show();
    processEvents();
    EXPECT_TRUE(zk::SingletonWindowController::exists<HistoryWindowController>());
    QPointer<QWidget> window = zk::SingletonWindowController::shared<HistoryWindowController>().window();
    ASSERT_TRUE(window);
    int shown = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        shown += widget->isVisible() && widget->windowTitle() == "History" ? 1 : 0;
    }
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(420, 560));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    // Resizable down to a size that fits 1366 × 768 at 150 % (910 × 512 points, less a 27-point
    // panel and the title bar).
    EXPECT_NE(window->minimumSize(), window->maximumSize());
    const QSize small = zk::sizeFittingScreen(
        { 420, 560 }, window->minimumSize(), QRect(0, 27, 910, 485), zk::frameMarginsFor(*window));
    EXPECT_LE(
        small.height() + zk::frameMarginsFor(*window).top() + zk::frameMarginsFor(*window).bottom(), 485);
    EXPECT_EQ(small.width(), 420);
    // And at 200 % (683 × 384 points).
    const QSize smaller = zk::sizeFittingScreen(
        { 420, 560 }, window->minimumSize(), QRect(0, 14, 683, 370), zk::frameMarginsFor(*window));
    EXPECT_LE(
        smaller.height() + zk::frameMarginsFor(*window).top() + zk::frameMarginsFor(*window).bottom(), 370);

    // Escape closes it, as a click on its close button does.
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(zk::SingletonWindowController::exists<HistoryWindowController>());
    processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window);

    HistoryWindowController::show();
    processEvents();
    QPointer<QWidget> again = zk::SingletonWindowController::shared<HistoryWindowController>().window();
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->isVisible());
    again->close();
    EXPECT_FALSE(zk::SingletonWindowController::exists<HistoryWindowController>());
    processEvents();
}

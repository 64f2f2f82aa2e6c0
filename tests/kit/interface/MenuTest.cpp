#include "kit/foundation/DiagnosticsSeam.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/FeedbackLink.h"
#include "kit/interface/CallbackMenuItem.h"
#include "kit/interface/FeedbackMenuItem.h"
#include "kit/interface/StandaloneMenuWindow.h"
#include "kit/interface/StandardMenuItems.h"
#include "kit/interface/UrlMenuItem.h"
#include "kit/interface/ZKMenu.h"
#include "platform/fake/FakeDesktopOpener.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using platform::combine::Void;
using zk::CallbackMenuItem;
using zk::ZKMenu;

namespace {

void pressKey(QWidget& widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, QKeySequence(key).toString().toLower());
    QApplication::sendEvent(&widget, &press);
}

} // namespace

TEST(ZKMenuTest, OpeningAndClosingAreReportedInOrderAndReplayedToLateSubscribers)
{
    ZKMenu menu("Status");
    std::vector<std::string> events;
    menu.onOpenClose = [&](bool open) { events.push_back(open ? "callback open" : "callback close"); };
    menu.onUpdate = [&] { events.push_back("update"); };
    menu.onUpdateLegacy = [&](ZKMenu& updated) {
        EXPECT_EQ(&updated, &menu);
        events.push_back("legacy update");
    };
    auto needs = menu.needsUpdatePublisher().sink([&](const Void&) { events.push_back("needs update"); });
    std::vector<bool> published;
    auto open = menu.isOpenPublisher().sink([&](bool value) { published.push_back(value); });

    menu.addAction("Item");
    menu.popup(QPoint(10, 10));
    QCoreApplication::processEvents();
    ASSERT_TRUE(menu.isVisible());
    EXPECT_TRUE(menu.isOpen());

    std::vector<bool> late;
    auto lateSubscription = menu.isOpenPublisher().sink([&](bool value) { late.push_back(value); });
    EXPECT_EQ(late, std::vector<bool>({ true }));

    menu.hide();
    QCoreApplication::processEvents();
    EXPECT_FALSE(menu.isOpen());
    EXPECT_EQ(published, std::vector<bool>({ false, true, false }));
    EXPECT_EQ(events,
        std::vector<std::string>(
            { "needs update", "update", "legacy update", "callback open", "callback close" }));
}

TEST(ZKMenuTest, UpdateCallbackCanRebuildTheItemsBeforeTheMenuShows)
{
    ZKMenu menu;
    int builds = 0;
    menu.onUpdate = [&] {
        menu.clear();
        ++builds;
        menu.addAction(new CallbackMenuItem(
            QString("Build %1").arg(builds), [] {}, &menu));
    };
    menu.popup(QPoint(0, 0));
    menu.hide();
    menu.popup(QPoint(0, 0));
    ASSERT_EQ(menu.actions().size(), 1);
    EXPECT_EQ(menu.actions().front()->text(), "Build 2");
    menu.hide();
}

TEST(StandaloneMenuWindowTest, ItsFixedSizeIsThatOfTheItemsRebuiltForEachOpening)
{
    // As on Wayland, where the menu's window is sized by its fixed size alone.
    ZKMenu menu("Status");
    int rows = 3;
    menu.onUpdate = [&] {
        menu.clear();
        for (int row = 0; row < rows; ++row) {
            menu.addAction(QStringLiteral("A rather long item, number %1").arg(row));
        }
    };
    zk::StandaloneMenuWindow window(menu, true);
    EXPECT_TRUE(menu.windowFlags().testFlag(Qt::FramelessWindowHint));
    for (const int count : { 3, 12, 1 }) {
        SCOPED_TRACE(count);
        rows = count;
        menu.popup(QPoint(10, 10));
        QCoreApplication::processEvents();
        ASSERT_TRUE(menu.isVisible());
        EXPECT_EQ(menu.minimumSize(), menu.maximumSize());
        EXPECT_EQ(menu.size(), menu.sizeHint());
        EXPECT_EQ(menu.actions().size(), count);
        menu.hide();
        QCoreApplication::processEvents();
    }
}

TEST(StandaloneMenuWindowTest, TheMenuClosesWhenTheWindowItHangsFromGoes)
{
    // On Wayland the toolkit makes the menu a popup of its transient parent, or else of the window
    // that last had the input (a popover, the Welcome window), and takes the menu's window with it
    // while counting it shown.
    ZKMenu menu("Status");
    menu.addAction(QStringLiteral("Item"));
    zk::StandaloneMenuWindow window(menu, true);
    for (const bool transientParent : { true, false }) {
        for (const bool destroyed : { false, true }) {
            SCOPED_TRACE(
                testing::Message() << "transient parent " << transientParent << ", destroyed " << destroyed);
            auto host = std::make_unique<QWidget>();
            host->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
            menu.winId();
            if (transientParent) {
                menu.windowHandle()->setTransientParent(host->windowHandle());
            } else {
                menu.windowHandle()->setTransientParent(nullptr);
                QTest::mouseClick(host->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
            }
            menu.popup(QPoint(10, 10));
            QCoreApplication::processEvents();
            ASSERT_TRUE(menu.isVisible());
            if (destroyed) {
                host.reset();
            } else {
                host->hide();
            }
            EXPECT_FALSE(menu.isVisible());
            menu.hide();
        }
    }
    menu.windowHandle()->setTransientParent(nullptr);
}

TEST(StandaloneMenuWindowTest, AWindowTheMenuDoesNotHangFromLeavesItOpenWhenItGoes)
{
    ZKMenu menu("Status");
    menu.addAction(QStringLiteral("Item"));
    zk::StandaloneMenuWindow window(menu, true);
    auto clicked = std::make_unique<QWidget>();
    clicked->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(clicked.get()));
    QTest::mouseClick(clicked->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    // Shown since the user's last input, which went elsewhere.
    auto other = std::make_unique<QWidget>();
    other->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(other.get()));
    menu.popup(QPoint(10, 10));
    QCoreApplication::processEvents();
    ASSERT_TRUE(menu.isVisible());
    other->hide();
    other.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(menu.isVisible());
    menu.hide();
    // Gone since the menu last opened: the next opening has nothing to hang from and stays open.
    clicked.reset();
    auto later = std::make_unique<QWidget>();
    later->show();
    menu.popup(QPoint(10, 10));
    QCoreApplication::processEvents();
    later.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(menu.isVisible());
    menu.hide();
}

TEST(ZKMenuTest, KeyEquivalentsActOnlyWithExactlyTheirModifiers)
{
    ZKMenu menu;
    int quits = 0;
    int disables = 0;
    int disabledRuns = 0;
    int settings = 0;
    menu.addAction(new CallbackMenuItem(
        "Off", "n", Qt::NoModifier, false, false, false, [&] { ++disabledRuns; }, &menu));
    menu.addAction(new CallbackMenuItem(
        "Disable", "d", Qt::NoModifier, true, false, false, [&] { ++disables; }, &menu));
    menu.addAction(new CallbackMenuItem(
        "Settings…", ",", std::nullopt, true, false, false, [&] { ++settings; }, &menu));
    menu.addAction(new CallbackMenuItem(
        "Leave", "q", std::nullopt, true, false, false, [&] { ++quits; }, &menu));
    menu.popup(QPoint(0, 0));
    ASSERT_TRUE(menu.isVisible());

    pressKey(menu, Qt::Key_N);
    EXPECT_EQ(disabledRuns, 0);
    // A bare "q" is no Ctrl+Q: the menu stays open and nothing quits.
    pressKey(menu, Qt::Key_Q);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(menu.isVisible());
    // Nor is Ctrl+D the bare "d".
    pressKey(menu, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(disables, 0);

    pressKey(menu, Qt::Key_D);
    EXPECT_EQ(disables, 1);
    EXPECT_FALSE(menu.isVisible());
    EXPECT_FALSE(menu.isOpen());

    menu.popup(QPoint(0, 0));
    pressKey(menu, Qt::Key_Q, Qt::AltModifier);
    pressKey(menu, Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(quits, 0);
    pressKey(menu, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(menu.isVisible());

    // Punctuation counts too: Ctrl+, is the settings item's key equivalent.
    menu.popup(QPoint(0, 0));
    pressKey(menu, Qt::Key_Comma);
    EXPECT_EQ(settings, 0);
    pressKey(menu, Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(settings, 1);
    EXPECT_FALSE(menu.isVisible());
    menu.hide();
}

TEST(CallbackMenuItemTest, RunsItsCallbackAndKeepsTheStateItsBuilderGave)
{
    int runs = 0;
    CallbackMenuItem checked("Enabled", "", std::nullopt, true, true, false, [&] { ++runs; });
    checked.trigger();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(checked.isChecked());

    CallbackMenuItem plain("History", [&] { ++runs; });
    EXPECT_FALSE(plain.isCheckable());
    plain.trigger();
    EXPECT_EQ(runs, 2);

    CallbackMenuItem disabled("Nothing", "", std::nullopt, false, false, true, [] {});
    EXPECT_FALSE(disabled.isEnabled());
    EXPECT_FALSE(disabled.isVisible());

    CallbackMenuItem ctrl("Quit", "q", std::nullopt, true, false, false, [] {});
    EXPECT_EQ(ctrl.shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    CallbackMenuItem shifted("New", "n", Qt::ControlModifier | Qt::ShiftModifier, true, false, false, [] {});
    EXPECT_EQ(shifted.shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
}

TEST(StandardMenuItemsTest, HeaderAfterASeparatorIsDisabledAndSmall)
{
    QMenu menu;
    QAction* header = zk::addHeader(menu, "Today", true);
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_TRUE(menu.actions()[0]->isSeparator());
    EXPECT_EQ(menu.actions()[1], header);
    EXPECT_FALSE(header->isEnabled());
    EXPECT_LT(header->font().pointSizeF(), menu.font().pointSizeF());

    zk::addHeader(menu, "Again");
    EXPECT_EQ(menu.actions().size(), 3);
}

// A desktop with a browser, whose opened links the test reads.
class UrlCatcher {
public:
    UrlCatcher() { platform::DesktopOpener::setShared(&m_desktop); }
    ~UrlCatcher() { platform::DesktopOpener::setShared(nullptr); }
    UrlCatcher(const UrlCatcher&) = delete;
    UrlCatcher& operator=(const UrlCatcher&) = delete;

    std::vector<QUrl> urls() const { return m_desktop.openedUrls(); }

private:
    platform::fake::FakeDesktopOpener m_desktop;
};

TEST(StandardMenuItemsTest, WebsiteItemOnlyWithAWebsiteAndQuitItemTitle)
{
    QMenu menu;
    EXPECT_EQ(zk::addWebsiteItem(menu, std::nullopt), nullptr);
    EXPECT_TRUE(menu.actions().isEmpty());

    UrlCatcher catcher;
    CallbackMenuItem* website = zk::addWebsiteItem(menu, QUrl("https://kiruvo.example"));
    ASSERT_NE(website, nullptr);
    EXPECT_EQ(website->text(), "Website");
    website->trigger();
    ASSERT_EQ(catcher.urls().size(), 1u);
    EXPECT_EQ(catcher.urls()[0], QUrl("https://kiruvo.example"));

    EXPECT_EQ(zk::quitItemTitle("X"), "Quit X");
    CallbackMenuItem* quit = zk::addQuitItem(menu);
    EXPECT_TRUE(quit->text().startsWith("Quit "));
    EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

TEST(StandardMenuItemsTest, MoreAppsFeedbackAndUrlItemsOpenTheirPages)
{
    UrlCatcher catcher;
    QMenu menu;
    CallbackMenuItem* more = zk::addMoreAppsItem(menu, QUrl("https://maker.example/apps"), std::nullopt);
    EXPECT_EQ(more->text(), "More Apps by Me");
    EXPECT_EQ(menu.actions().size(), 1);
    more->trigger();

    zk::FeedbackMenuItem feedback("Send Feedback…");
    feedback.trigger();

    zk::UrlMenuItem url("Guide");
    url.trigger(); // no address: nothing opens
    url.setProperty("url", "not a url at all");
    url.trigger();
    url.setProperty("url", "https://kiruvo.example/guide?a=1&b=2");
    EXPECT_EQ(url.url(), "https://kiruvo.example/guide?a=1&b=2");
    url.trigger();
    url.setUrl(QString());
    EXPECT_FALSE(url.hasUrl());

    ASSERT_EQ(catcher.urls().size(), 3u);
    // Without a store identifier, the maker's own page.
    EXPECT_EQ(catcher.urls()[0], QUrl("https://maker.example/apps"));
    // The form gets the debug fields as its metadata.
    EXPECT_EQ(catcher.urls()[1],
        QUrl(QString::fromStdString(zk::feedbackPageURL(zk::ZKApp::name(), zk::feedbackMetadata()))));
    EXPECT_EQ(catcher.urls()[2], QUrl("https://kiruvo.example/guide?a=1&b=2"));
}

TEST(CallbackMenuItemTest, TheClassWideHookDecidesWhetherChosenItemsRun)
{
    int runs = 0;
    CallbackMenuItem first("First", [&] { ++runs; });
    CallbackMenuItem second("Second", [&] { ++runs; });
    EXPECT_TRUE(first.validateMenuItem());
    CallbackMenuItem::setValidationHook([](const QAction& item) { return item.text() != "Second"; });
    EXPECT_TRUE(first.validateMenuItem());
    EXPECT_FALSE(second.validateMenuItem());
    first.trigger();
    second.trigger();
    EXPECT_EQ(runs, 1);
    CallbackMenuItem::setValidationHook({});
    second.trigger();
    EXPECT_EQ(runs, 2);
}

TEST(StandardMenuItemsTest, MoreAppsOpensTheMakersStorePageWhenTheApplicationIsInTheStore)
{
    UrlCatcher catcher;
    QMenu menu;
    zk::addMoreAppsItem(menu, QUrl("https://maker.example/apps"), std::string("com.example.App"))->trigger();
    // The application's own identity declares its store identifier.
    zk::addMoreAppsItem(menu, QUrl("https://maker.example/apps"))->trigger();
    ASSERT_EQ(catcher.urls().size(), 2u);
    EXPECT_EQ(catcher.urls()[0], QUrl(QString::fromLatin1(zk::ZKApp::storeDeveloperPageAddress)));
    EXPECT_EQ(catcher.urls()[1], QUrl(QString::fromLatin1(zk::ZKApp::storeDeveloperPageAddress)));
}

TEST(StandardMenuItemsTest, TheAboutPanelShowsTheNameAndVersionAndFitsItsTitle)
{
    zk::showAboutPanelAction()();
    QMessageBox* panel = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "aboutPanel" && widget->isVisible()) {
            panel = qobject_cast<QMessageBox*>(widget);
        }
    }
    ASSERT_NE(panel, nullptr);
    const QString name = QString::fromStdString(zk::ZKApp::name());
    EXPECT_EQ(panel->windowTitle(), "About " + name);
    EXPECT_EQ(panel->text(), name);
    EXPECT_EQ(panel->informativeText(), "Version " + QString::fromStdString(zk::ZKApp::versionWithBuild()));
    // The title is never cut to "Ab…": the panel is wider than its title with the title bar's buttons.
    EXPECT_GE(panel->width(), panel->fontMetrics().horizontalAdvance(panel->windowTitle()) + 120);
    panel->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

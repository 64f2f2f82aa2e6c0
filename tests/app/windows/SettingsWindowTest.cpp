#include "app/windows/SettingsFixture.h"

#include "app/windows/GeneralSettings.h"
#include "app/windows/NotificationRunShortcutSetting.h"
#include "app/windows/NotificationTypeSetting.h"
#include "app/windows/NotificationsSettings.h"
#include "app/windows/SettingsWindowController.h"
#include "kit/foundation/SecondaryTextColor.h"
#include "kit/foundation/SettingsWindowOpener.h"
#include "kit/interface/HideableInfoBox.h"
#include "kit/interface/Picker.h"
#include "kit/interface/SettingsTabLabel.h"
#include "kit/interface/SymbolImage.h"
#include "kit/interface/WindowConstraints.h"
#include "kit/interface/WindowUtilities.h"
#include "support/ColourSchemes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTest>

#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <limits>
#include <map>

using namespace kiruvo;

TEST_F(SettingsWindowTest, TheScreenHasTheTabsInOrderOpensOnGeneralAndIs320WideOrWhatItsRowsNeed)
{
    auto& tabs = *screen().tabs();
    ASSERT_EQ(tabs.count(), 4);
    EXPECT_EQ(tabs.tabText(0).toStdString(), "General");
    EXPECT_EQ(tabs.tabText(1).toStdString(), "Tray Icon");
    EXPECT_EQ(tabs.tabText(2).toStdString(), "Notifications");
    EXPECT_EQ(tabs.currentIndex(), 0);
    int needed = SettingsScreen::contentWidth;
    for (int page = 0; page < tabs.count(); ++page) {
        needed = std::max(needed, tabs.widget(page)->minimumSizeHint().width());
    }
    EXPECT_EQ(tabs.width(), needed);
}

TEST_F(SettingsWindowTest, NoPaneSpeaksOfTheOtherPlatformsMenuBarKeysOrToolkit)
{
    auto& tabs = *screen().tabs();
    QStringList texts;
    QStringList reminderTexts;
    for (int page = 0; page < tabs.count(); ++page) {
        tabs.setCurrentIndex(page);
        processEvents();
        texts << tabs.tabText(page);
        const qsizetype before = texts.size();
        for (const QWidget* widget : tabs.widget(page)->findChildren<QWidget*>()) {
            texts << widget->toolTip();
            if (const auto* label = qobject_cast<const QLabel*>(widget)) {
                texts << label->text();
            } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
                texts << button->text();
            } else if (const auto* field = qobject_cast<const QLineEdit*>(widget)) {
                texts << field->text() << field->placeholderText();
            } else if (const auto* picker = qobject_cast<const zk::Picker*>(widget)) {
                for (int row = 0; row < picker->rowCount(); ++row) {
                    texts << picker->rowText(row);
                }
                texts << picker->label();
            }
        }
        if (tabs.tabText(page) == QStringLiteral("Notifications")) {
            reminderTexts = texts.mid(before);
        }
    }
    // The script a reminder runs is a script: "shortcut" is the other platform's automation, and
    // beside the Shortcuts tab it reads as a keyboard shortcut.
    ASSERT_FALSE(reminderTexts.isEmpty());
    for (QString text : reminderTexts) {
        // The places links lead to are no words on screen.
        text.remove(QRegularExpression(QStringLiteral("\\]\\([^)]*\\)")));
        EXPECT_FALSE(text.contains(QStringLiteral("shortcut"), Qt::CaseInsensitive)) << text.toStdString();
    }
    for (const char* word : { "menu bar", "\u2318", "\u2325", "AppKit", "macOS", "Finder", "Dock",
             "System Preferences", "Siri" }) {
        for (const QString& text : texts) {
            EXPECT_FALSE(text.contains(QString::fromUtf8(word), Qt::CaseInsensitive)) << text.toStdString();
        }
    }
    // The tabs' pictures: no key of the other platform's keyboards.
    for (const auto type : { zk::SettingsTabType::general, zk::SettingsTabType::menuBar,
             zk::SettingsTabType::notifications, zk::SettingsTabType::shortcuts }) {
        const auto glyph = zk::symbolGlyphName(zk::settingsTabLabel(type).systemImage);
        ASSERT_TRUE(glyph);
        EXPECT_FALSE(glyph->starts_with("apple")) << *glyph;
    }
}

TEST_F(SettingsWindowTest, TheOpenerShowsOneFloatingWindowTitledByItsTab)
{
    zk::SettingsWindowOpener::setOpener([] { SettingsWindowController::show(); });
    zk::openSettingsWindow();
    processEvents();
    ASSERT_TRUE(zk::SingletonWindowController::exists<SettingsWindowController>());
    auto& controller = zk::SingletonWindowController::shared<SettingsWindowController>();
    QWidget* window = controller.window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle().toStdString(), "General");
    EXPECT_EQ(zk::windowLevel(*window), zk::WindowLevel::floating);

    // A second opening brings the same window forward.
    zk::openSettingsWindow();
    processEvents();
    EXPECT_EQ(zk::SingletonWindowController::liveCount(), 1u);
    EXPECT_EQ(controller.window(), window);

    controller.screen().setCurrentTab(SettingsScreen::Tab::menuBar);
    EXPECT_EQ(window->windowTitle().toStdString(), "Tray Icon");
    zk::SettingsWindowOpener::setOpener({});
}

TEST_F(SettingsWindowTest, OpeningOnNotificationsSelectsThatTabAndAClosedWindowStartsAnew)
{
    SettingsWindowController::show(SettingsScreen::Tab::notifications);
    processEvents();
    auto* controller = &zk::SingletonWindowController::shared<SettingsWindowController>();
    EXPECT_EQ(controller->screen().currentTab(), SettingsScreen::Tab::notifications);
    EXPECT_EQ(controller->window()->windowTitle().toStdString(), "Notifications");

    controller->window()->close();
    processEvents();
    EXPECT_FALSE(zk::SingletonWindowController::exists<SettingsWindowController>());
    SettingsWindowController::show();
    processEvents();
    EXPECT_EQ(zk::SingletonWindowController::shared<SettingsWindowController>().screen().currentTab(),
        SettingsScreen::Tab::general);
}

TEST_F(SettingsWindowTest, SecondaryTextsAreReadableInLightAndDarkSchemes)
{
    const QPalette previous = QApplication::palette();
    for (const bool dark : { false, true }) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QApplication::setPalette(breezePalette(dark));
        m_screen.reset();
        const QColor window = QApplication::palette().color(QPalette::Window);
        std::vector<std::pair<std::string, QLabel*>> texts {
            { "note", screen().general()->note() },
            { "info box", screen().notifications()->typeSetting()->infoBox()->findChild<QLabel*>() },
            { "help", screen().notifications()->runShortcutSetting()->helpText() },
        };
        for (const auto& [name, label] : texts) {
            ASSERT_NE(label, nullptr) << name;
            const QColor text = label->palette().color(QPalette::Active, QPalette::WindowText);
            EXPECT_GE(zk::contrastRatio(text, window), zk::minimumSecondaryTextContrast) << name;
            // Still secondary: less contrast than the scheme's own text.
            EXPECT_LT(zk::contrastRatio(text, window),
                zk::contrastRatio(QApplication::palette().color(QPalette::WindowText), window))
                << name;
        }
    }
    m_screen.reset();
    QApplication::setPalette(previous);
}

TEST_F(SettingsWindowTest, TheWindowIsAsTallAsItsPaneFitsSmallScreensAndScrolls)
{
    SettingsWindowController::show();
    processEvents();
    auto& controller = zk::SingletonWindowController::shared<SettingsWindowController>();
    QWidget* window = controller.window();
    SettingsScreen& settings = controller.screen();
    ASSERT_NE(window->findChild<QScrollArea*>(), nullptr);
    EXPECT_NE(window->minimumSize(), window->maximumSize());

    // Each pane gets its own height: no empty area under a short pane.
    std::map<SettingsScreen::Tab, int> heights;
    for (const auto tab : { SettingsScreen::Tab::notifications, SettingsScreen::Tab::general,
             SettingsScreen::Tab::menuBar, SettingsScreen::Tab::shortcuts }) {
        settings.setCurrentTab(tab);
        processEvents();
        QWidget* pane = settings.tabs()->currentWidget();
        const int wanted = pane->hasHeightForWidth() ? pane->heightForWidth(settings.tabs()->width())
                                                     : pane->sizeHint().height();
        EXPECT_EQ(
            pane->height(), std::max({ wanted, pane->minimumSizeHint().height(), pane->minimumHeight() }));
        heights[tab] = window->height();
        EXPECT_GE(window->height(), settings.sizeHint().height());
        // A pane that fits whole has no scroll bar beside it.
        EXPECT_EQ(window->findChild<QScrollArea*>()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }
    EXPECT_LT(heights[SettingsScreen::Tab::general], heights[SettingsScreen::Tab::notifications]);

    // On 1366 × 768 at 150 % the tallest pane scrolls inside a window that fits; the smallest
    // window fits with room to spare.
    const QRect small(0, 27, 910, 485);
    const QMargins frame = zk::frameMarginsFor(*window);
    const QSize fitted
        = zk::sizeFittingScreen({ window->width(), heights[SettingsScreen::Tab::notifications] },
            window->minimumSize(), small, frame);
    EXPECT_LE(fitted.height() + frame.top() + frame.bottom(), small.height());
    EXPECT_LE(window->minimumHeight() + frame.top() + frame.bottom(), small.height());
    EXPECT_LE(window->minimumWidth() + frame.left() + frame.right(), small.width());

    // Escape closes it.
    QPointer<QWidget> guard(window);
    QTest::keyClick(window, Qt::Key_Escape);
    processEvents();
    EXPECT_FALSE(zk::SingletonWindowController::exists<SettingsWindowController>());
}

TEST_F(SettingsWindowTest, TheTabRowStaysInPlaceOnEveryPane)
{
    SettingsWindowController::show();
    processEvents();
    auto& controller = zk::SingletonWindowController::shared<SettingsWindowController>();
    QWidget* window = controller.window();
    SettingsScreen& settings = controller.screen();
    const auto tabRowTop = [&] {
        const auto buttons = settings.findChildren<QToolButton*>(Qt::FindDirectChildrenOnly);
        int top = std::numeric_limits<int>::max();
        for (const QToolButton* button : buttons) {
            top = std::min(top, button->mapTo(window, QPoint(0, 0)).y());
        }
        return top;
    };
    // A pane shorter than the window's least height (Shortcuts) leaves the room under it, not
    // above the tabs.
    std::map<SettingsScreen::Tab, int> tops;
    std::map<SettingsScreen::Tab, int> gaps;
    for (const auto tab : { SettingsScreen::Tab::general, SettingsScreen::Tab::menuBar,
             SettingsScreen::Tab::notifications, SettingsScreen::Tab::shortcuts }) {
        settings.setCurrentTab(tab);
        processEvents();
        tops[tab] = tabRowTop();
        EXPECT_EQ(tops[tab], tops[SettingsScreen::Tab::general]) << static_cast<int>(tab);
        // The pane right under them, as on every other pane.
        gaps[tab] = settings.tabs()->mapTo(window, QPoint(0, 0)).y() - tops[tab];
        EXPECT_EQ(gaps[tab], gaps[SettingsScreen::Tab::general]) << static_cast<int>(tab);
    }
}

TEST_F(SettingsWindowTest, NoPickerLabelIsCutWhateverTheFont)
{
    SettingsWindowController::show();
    processEvents();
    auto& controller = zk::SingletonWindowController::shared<SettingsWindowController>();
    SettingsScreen& settings = controller.screen();
    for (const auto tab : { SettingsScreen::Tab::general, SettingsScreen::Tab::menuBar,
             SettingsScreen::Tab::notifications, SettingsScreen::Tab::shortcuts }) {
        settings.setCurrentTab(tab);
        processEvents();
        for (const zk::Picker* picker : settings.tabs()->currentWidget()->findChildren<zk::Picker*>()) {
            const QLabel* label = picker->findChild<QLabel*>();
            if (label && label->isVisible()) {
                EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
            }
        }
    }
    EXPECT_GE(settings.tabs()->width(), SettingsScreen::contentWidth);
}

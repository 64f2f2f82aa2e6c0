#include "app/windows/SettingsFixture.h"

#include "app/menubar/MenuBarController.h"
#include "app/windows/ShortcutsSettings.h"
#include "kit/interface/ControlAlignment.h"
#include "libraries/keyboard-shortcuts/RecorderCocoa.h"
#include "platform/store/UserDefaults.h"

#include <QLabel>
#include <QLayout>
#include <QTabWidget>

using namespace kiruvo;

TEST_F(SettingsTest, TheShortcutsTabHasTheTwoRecordersWithTheirLabels)
{
    auto& tabs = *screen().tabs();
    ASSERT_EQ(tabs.count(), 4);
    EXPECT_EQ(tabs.tabText(3).toStdString(), "Shortcuts");
    auto& pane = *screen().shortcuts();
    EXPECT_GE(pane.minimumHeight(), ShortcutsSettings::minimumPaneHeight);
    std::vector<std::string> labels;
    for (auto* label : pane.findChildren<QLabel*>()) {
        if (label->text().endsWith(':')) {
            labels.push_back(label->text().toStdString());
        }
    }
    EXPECT_EQ(labels, (std::vector<std::string> { "Enable/disable Kiruvo:", "Toggle Kiruvo menu:" }));
    // The two recorders line up, though their labels differ in width.
    pane.resize(600, pane.minimumHeight());
    pane.layout()->activate();
    auto* rows = pane.findChild<zk::ControlAlignment*>();
    ASSERT_NE(rows, nullptr);
    rows->layout()->activate();
    EXPECT_EQ(pane.toggleEnabledRecorder()->x(), pane.toggleMenuRecorder()->x());
    EXPECT_GT(pane.toggleEnabledRecorder()->x(), 0);
}

TEST_F(SettingsTest, TheRecordersShowTheStoredShortcutsAndFollowChanges)
{
    auto& pane = *screen().shortcuts();
    EXPECT_TRUE(pane.toggleMenuRecorder()->text().isEmpty());
    KeyboardShortcuts::setShortcut(
        KeyboardShortcuts::Shortcut(KeyboardShortcuts::Key::k, Qt::ControlModifier | Qt::AltModifier),
        ShortcutNames::toggleMenu());
    processEvents();
    EXPECT_FALSE(pane.toggleMenuRecorder()->text().isEmpty());
    EXPECT_TRUE(pane.toggleEnabledRecorder()->text().isEmpty());
}

TEST_F(SettingsTest, AStoredShortcutThatDoesNothingIsShownAsNotWorkingWithTheReason)
{
    platform::fake::FakeGlobalHotKeys hotKeys;
    // A restored store: a bare A for one name, and for the other a combination another
    // application holds.
    const KeyboardShortcuts::Shortcut held(KeyboardShortcuts::Key::k, Qt::ControlModifier | Qt::AltModifier);
    hotKeys.heldElsewhere.push_back({ *held.key().x11KeyCode(), held.modifiers() });
    platform::UserDefaults::standard()->setObject(
        platform::PropertyList(std::string(R"({"carbonKeyCode":0,"carbonModifiers":0})")),
        ShortcutNames::toggleEnabled().userDefaultsKey());
    platform::UserDefaults::standard()->setObject(
        platform::PropertyList(*held.jsonText()), ShortcutNames::toggleMenu().userDefaultsKey());
    // As the menu-bar controller does at start.
    KeyboardShortcuts::addKeyDownHandler(ShortcutNames::toggleEnabled(), [] {});
    KeyboardShortcuts::addKeyDownHandler(ShortcutNames::toggleMenu(), [] {});
    EXPECT_TRUE(hotKeys.grabs().empty());

    auto& pane = *screen().shortcuts();
    pane.show();
    processEvents();
    EXPECT_EQ(pane.toggleEnabledRecorder()->text(), "A");
    EXPECT_TRUE(pane.toggleEnabledProblem()->isVisibleTo(&pane));
    EXPECT_TRUE(
        pane.toggleEnabledProblem()->text().startsWith("Not working: It has no Ctrl, Alt or Super key"))
        << pane.toggleEnabledProblem()->text().toStdString();
    EXPECT_TRUE(pane.toggleMenuProblem()->isVisibleTo(&pane));
    EXPECT_TRUE(pane.toggleMenuProblem()->text().contains("Another application uses this combination"));

    // Recorded again: the line goes.
    KeyboardShortcuts::setShortcut(
        KeyboardShortcuts::Shortcut(KeyboardShortcuts::Key::a, Qt::ControlModifier),
        ShortcutNames::toggleEnabled());
    processEvents();
    EXPECT_FALSE(pane.toggleEnabledProblem()->isVisibleTo(&pane));
    EXPECT_EQ(pane.toggleEnabledRecorder()->text(), "Ctrl+A");
    platform::UserDefaults::standard()->removeObject(ShortcutNames::toggleEnabled().userDefaultsKey());
    platform::UserDefaults::standard()->removeObject(ShortcutNames::toggleMenu().userDefaultsKey());
}

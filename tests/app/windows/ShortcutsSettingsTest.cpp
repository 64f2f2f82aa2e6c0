#include "app/windows/SettingsFixture.h"

#include "app/menubar/MenuBarController.h"
#include "app/windows/ShortcutsSettings.h"
#include "libraries/keyboard-shortcuts/RecorderCocoa.h"

#include <QFormLayout>
#include <QLabel>
#include <QTabWidget>

using namespace kiruvo;

TEST_F(SettingsTest, TheShortcutsTabHasTheTwoRecordersWithTheirLabels)
{
    auto& tabs = *screen().tabs();
    ASSERT_EQ(tabs.count(), 4);
    EXPECT_EQ(tabs.tabText(3).toStdString(), "Shortcuts");
    auto& pane = *screen().shortcuts();
    EXPECT_GE(pane.minimumHeight(), ShortcutsSettings::minimumPaneHeight);
    auto* form = qobject_cast<QFormLayout*>(pane.layout());
    ASSERT_NE(form, nullptr);
    auto* first = qobject_cast<QLabel*>(form->labelForField(pane.toggleEnabledRecorder()));
    auto* second = qobject_cast<QLabel*>(form->labelForField(pane.toggleMenuRecorder()));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->text().toStdString(), "Enable/disable Kiruvo:");
    EXPECT_EQ(second->text().toStdString(), "Toggle Kiruvo menu:");
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

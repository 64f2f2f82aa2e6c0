#pragma once

#include "app/reminders/ShortcutsApp.h"
#include "app/windows/SettingsEnvironment.h"
#include "libraries/defaults/Observable.h"

#include <QCoro/QCoroTask>
#include <QWidget>

#include <optional>
#include <utility>
#include <vector>

class QLabel;
class QPushButton;
class QToolButton;

namespace zk {
class AsyncButton;
class Picker;
} // namespace zk

namespace kiruvo {

// "Run shortcut:": the script of the user's shortcuts folder that runs with each reminder, stored
// in "notificationRunShortcut". The scripts are listed grouped by their sub-folders, in the folder's
// order; "Run" tries the chosen one, "Edit" opens it in the user's editor, "Create" writes a new
// script from a template and opens it. When the folder cannot be read the row says so and offers to
// set it up.
//
// The list is loaded each time the row appears and again whenever its window becomes active or
// inactive (the user may have been editing scripts meanwhile). Only the newest load shows its
// results: an older, slower one never overwrites them. The chosen script is dropped only when the
// whole folder was read and it is gone; an unreadable folder keeps the choice, and the row says so.
//
// Main-thread only.
class NotificationRunShortcutSetting : public QWidget {
    Q_OBJECT
public:
    static constexpr int titleLength = 40;
    // The characters of a name the pop-up always has room for.
    static constexpr int minimumShownCharacters = 12;

    using Grouping
        = std::vector<std::pair<std::optional<ShortcutsApp::Folder>, std::vector<ShortcutsApp::Shortcut>>>;
    // The folders (no folder included) in the order of their first script, each with its scripts
    // in list order.
    static Grouping groupByFolder(const std::vector<ShortcutsApp::Shortcut>& shortcuts);

    explicit NotificationRunShortcutSetting(SettingsEnvironment environment, QWidget* parent = nullptr);
    ~NotificationRunShortcutSetting() override;

    bool isLoading() const { return m_isLoading; }
    bool hasAccess() const { return m_hasAccess; }
    const Grouping& shortcuts() const { return m_shortcuts; }
    // Whether the last check could not tell whether the chosen script still exists.
    bool isChoiceUnconfirmed() const { return m_choiceUnconfirmed; }

    zk::Picker* picker() const { return m_picker; }
    QWidget* buttonGroup() const { return m_buttons; }
    // Null while no script is chosen.
    zk::AsyncButton* runButton() const { return m_run; }
    QToolButton* editButton() const { return m_edit; }
    QToolButton* createButton() const { return m_create; }
    QWidget* warningBox() const { return m_warning; }
    QLabel* keptChoiceNote() const { return m_keptNote; }
    QLabel* helpText() const { return m_help; }

    // One load; the appearance load also marks the row as loading while it runs.
    QCoro::Task<void> load(bool isAppearance);
    // What a change of the window's active state does: a load, unless an appearance load runs.
    void refresh();

signals:
    void loadFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void startLoad(bool isAppearance);
    void rebuild();
    void rebuildButtons();
    // "Create": a new script from the template, opened for editing; the user is told when none
    // could be written.
    void createScript();
    void grantAccess();
    // The chosen script, as stored.
    std::optional<platform::Uuid> shortcutID() const;

    SettingsEnvironment m_environment;
    Defaults::Observable<std::optional<platform::Uuid>>* m_shortcutID;
    // The window's active state when last seen; a change starts a refresh.
    bool m_controlActiveState = false;
    Grouping m_shortcuts;
    bool m_isLoading = true;
    bool m_hasAccess = true;
    bool m_choiceUnconfirmed = false;
    std::uint64_t m_latestLoad = 0;
    // Tags of the picker's rows.
    std::vector<std::optional<platform::Uuid>> m_tags;

    zk::Picker* m_picker = nullptr;
    QWidget* m_buttons = nullptr;
    zk::AsyncButton* m_run = nullptr;
    // The script the Run and Edit buttons were made for.
    std::optional<platform::Uuid> m_buttonsFor;
    QToolButton* m_edit = nullptr;
    QToolButton* m_create = nullptr;
    QWidget* m_warning = nullptr;
    QLabel* m_warningText = nullptr;
    QPushButton* m_grant = nullptr;
    QLabel* m_keptNote = nullptr;
    QLabel* m_help = nullptr;
};

} // namespace kiruvo

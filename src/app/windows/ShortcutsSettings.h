#pragma once

#include <QWidget>

class QLabel;

namespace KeyboardShortcuts {
class Name;
class RecorderCocoa;
} // namespace KeyboardShortcuts

namespace kiruvo {

// The Shortcuts tab: the recorders of the two global shortcuts, which store and register what the
// user records themselves. Under a recorder whose stored shortcut does nothing when pressed (one
// that breaks the recorder's rules, or one another application holds) a line says so and why.
// Main-thread only.
class ShortcutsSettings : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumPaneHeight = 100;

    explicit ShortcutsSettings(QWidget* parent = nullptr);

    KeyboardShortcuts::RecorderCocoa* toggleEnabledRecorder() const { return m_toggleEnabled; }
    KeyboardShortcuts::RecorderCocoa* toggleMenuRecorder() const { return m_toggleMenu; }
    // The "not working" lines under the two recorders; hidden while the shortcut works.
    QLabel* toggleEnabledProblem() const { return m_toggleEnabledProblem; }
    QLabel* toggleMenuProblem() const { return m_toggleMenuProblem; }

    // Shows or hides the "not working" lines as the stored shortcuts stand now.
    void refreshProblems();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showProblem(QLabel& line, const KeyboardShortcuts::Name& name) const;

    KeyboardShortcuts::RecorderCocoa* m_toggleEnabled = nullptr;
    KeyboardShortcuts::RecorderCocoa* m_toggleMenu = nullptr;
    QLabel* m_toggleEnabledProblem = nullptr;
    QLabel* m_toggleMenuProblem = nullptr;
};

} // namespace kiruvo

#pragma once

#include <QWidget>

namespace KeyboardShortcuts {
class RecorderCocoa;
}

namespace kiruvo {

// The Shortcuts tab: the recorders of the two global shortcuts, which store and register what the
// user records themselves. Main-thread only.
class ShortcutsSettings : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumPaneHeight = 100;

    explicit ShortcutsSettings(QWidget* parent = nullptr);

    KeyboardShortcuts::RecorderCocoa* toggleEnabledRecorder() const { return m_toggleEnabled; }
    KeyboardShortcuts::RecorderCocoa* toggleMenuRecorder() const { return m_toggleMenu; }

private:
    KeyboardShortcuts::RecorderCocoa* m_toggleEnabled = nullptr;
    KeyboardShortcuts::RecorderCocoa* m_toggleMenu = nullptr;
};

} // namespace kiruvo

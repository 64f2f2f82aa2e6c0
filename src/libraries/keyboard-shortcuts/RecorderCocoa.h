#pragma once

#include "libraries/keyboard-shortcuts/Name.h"
#include "libraries/keyboard-shortcuts/RecorderRules.h"

#include <QLineEdit>

#include <functional>
#include <memory>
#include <optional>

namespace zk {
class CarbonLocalEventMonitor;
}

namespace KeyboardShortcuts {

// The field with which the user records the global shortcut of one name. It shows the name's
// stored shortcut ("Ctrl+Alt+K"), starts recording when clicked ("Press Shortcut", the hot keys given
// back to the desktop meanwhile), takes the next key with a modifier (or a function key alone),
// refuses one that the application's menu or another application already uses, and stores it.
// Tab and Shift+Tab bring the focus to it like to any other control, and it records from then on;
// the focus the window hands it by itself (the first control of a pane just shown, the window
// active again) records nothing, and keys then go to the window as from any control that takes no
// text. Escape, Tab, Shift+Tab, a recorded shortcut or a click elsewhere end recording, the focus
// staying on the field unless Tab, Shift+Tab or the click moves it on; Backspace, Delete or the
// clear button clear the shortcut. Where the desktop offers no global shortcuts to applications it
// is disabled and says so.
//
// Main-thread only.
class RecorderCocoa : public QLineEdit {
    Q_OBJECT
public:
    using OnChange = std::function<void(std::optional<Shortcut>)>;

    static constexpr int minimumWidth = 130;

    explicit RecorderCocoa(const Name& name, OnChange onChange = {}, QWidget* parent = nullptr);
    ~RecorderCocoa() override;

    const Name& shortcutName() const { return m_shortcutName; }
    // Shows the new name's shortcut and ends any recording; the same raw value changes nothing.
    void setShortcutName(const Name& name);

    bool isRecording() const { return m_eventMonitor != nullptr; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The texts shown in the empty field.
    static QString idlePlaceholder();
    static QString recordingPlaceholder();
    static QString unavailablePlaceholder();
    static QString unavailableToolTip();

protected:
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Enabled where the desktop offers global shortcuts; otherwise disabled, saying so.
    void applyAvailability();
    void refreshFromStore();
    void setDisplayText(const QString& text);
    void startRecording();
    void endRecording();
    // Recording again after an alert or after clearing, with the focus taken back where needed.
    void resumeRecording();
    // Ends recording by moving the focus to the next control, or the one before.
    void moveFocusOn(bool forward);
    QEvent* handleEvent(QEvent* event);
    RecorderEvent recorderEvent(QEvent* event) const;
    void applyDecision(const RecorderDecision& decision);
    void showConflictAlert(const std::string& message, const std::optional<std::string>& informativeText);
    void textWasChanged(const QString& text);

    Name m_shortcutName;
    OnChange m_onChange;
    std::unique_ptr<zk::CarbonLocalEventMonitor> m_eventMonitor;
    QMetaObject::Connection m_observer;
    bool m_settingText = false;
    bool m_showingAlert = false;
    // The focus the field asked for itself: recording starts when it comes.
    bool m_recordOnFocus = false;
};

} // namespace KeyboardShortcuts

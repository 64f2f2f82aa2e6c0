#pragma once

#include <QWidget>

namespace Defaults {
class Toggle;
}

namespace kiruvo {

// "Disable Kiruvo by clicking menu bar item", bound to "toggleEnabledWithLeftClick". Each switch to
// on tells the user, in an alert, where the menu went; a switch to off says nothing.
// Main-thread only.
class ClickMenuBarItemSetting : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* alertTitle = "You can right-click the tray icon to access the menu.";

    explicit ClickMenuBarItemSetting(QWidget* parent = nullptr);

    Defaults::Toggle* toggle() const { return m_toggle; }
    bool isAlertPresented() const { return m_isAlertPresented; }

private:
    Defaults::Toggle* m_toggle = nullptr;
    bool m_isAlertPresented = false;
};

} // namespace kiruvo

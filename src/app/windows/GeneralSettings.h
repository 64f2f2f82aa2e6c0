#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace Defaults {
class Toggle;
}

namespace LaunchAtLogin {
class Toggle;
}

namespace kiruvo {

class IdleDurationBeforeStopSetting;

// The General tab: launch at login, enable at launch, the idle time that ends a session, and a note
// on how idleness is seen. Main-thread only.
class GeneralSettings : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* idleNote = "Note that Kiruvo detects idleness through lack of keyboard and "
                                            "mouse movement. If you're on a video "
                                            "call, the timer might stop if you're not interacting with the "
                                            "keyboard or mouse. I don't have a good "
                                            "solution for this yet.";

    explicit GeneralSettings(QWidget* parent = nullptr);

    LaunchAtLogin::Toggle* launchAtLoginToggle() const { return m_launchAtLogin; }
    Defaults::Toggle* enableAtLaunchToggle() const { return m_enableAtLaunch; }
    IdleDurationBeforeStopSetting* idleSetting() const { return m_idle; }
    QLabel* note() const { return m_note; }

private:
    LaunchAtLogin::Toggle* m_launchAtLogin = nullptr;
    Defaults::Toggle* m_enableAtLaunch = nullptr;
    IdleDurationBeforeStopSetting* m_idle = nullptr;
    QLabel* m_note = nullptr;
};

} // namespace kiruvo

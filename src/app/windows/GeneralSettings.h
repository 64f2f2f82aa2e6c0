#pragma once

#include <QWidget>

class QFrame;
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
class SessionController;

// The General tab: launch at login, enable at launch, the idle time that ends a session, and a note
// on how idleness is seen. Where the desktop does not report idle time, the idle choice is greyed,
// a line under it says that sessions do not end when the user leaves, and the note is left out;
// all follow the engine, so they return to normal once an idle service appears. Main-thread only.
class GeneralSettings : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* idleNote = "Note that Kiruvo detects idleness through lack of keyboard and "
                                            "mouse movement. If you're on a video "
                                            "call, the timer might stop if you're not interacting with the "
                                            "keyboard or mouse. I don't have a good "
                                            "solution for this yet.";

    static constexpr const char* idleUnavailableText
        = "This desktop does not report idle time to Kiruvo, so a session does not end when you "
          "leave: it ends when you disable Kiruvo, start a new session, or the computer sleeps. "
          "Kiruvo uses an idle service as soon as one appears; its log names those it tried.";

    explicit GeneralSettings(SessionController& session, QWidget* parent = nullptr);

    LaunchAtLogin::Toggle* launchAtLoginToggle() const { return m_launchAtLogin; }
    Defaults::Toggle* enableAtLaunchToggle() const { return m_enableAtLaunch; }
    IdleDurationBeforeStopSetting* idleSetting() const { return m_idle; }
    // Shown only while idle time is seen.
    QLabel* note() const { return m_note; }
    // Shown only while no idle source answers.
    QLabel* idleUnavailableNote() const { return m_idleUnavailable; }

private:
    LaunchAtLogin::Toggle* m_launchAtLogin = nullptr;
    Defaults::Toggle* m_enableAtLaunch = nullptr;
    IdleDurationBeforeStopSetting* m_idle = nullptr;
    QFrame* m_divider = nullptr;
    QLabel* m_note = nullptr;
    QLabel* m_idleUnavailable = nullptr;
};

} // namespace kiruvo

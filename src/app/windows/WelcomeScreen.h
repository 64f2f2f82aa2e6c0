#pragma once

#include "kit/foundation/Timer.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace platform {
class StatusItem;
}

namespace LaunchAtLogin {
class Toggle;
}

namespace kiruvo {

class HeartView;

// The content of the Welcome window: the application's icon with a beating heart over it, and two
// pages. The first greets ("Welcome to Kiruvo" and what the application does) and offers the
// "Launch at login" switch and "Continue"; the last, which has no way back, asks for feedback and
// ends with "Get Started", which Return presses wherever the focus is; on the first page Return
// does nothing. "Get Started" flies the window into the status item (the fly-away closes it) and
// then greets from the item with the welcome popover.
//
// Main-thread only.
class WelcomeScreen : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 420;
    static constexpr int height = 460;
    // The icon's side when there is room for it, and the least it is made to fit a small screen.
    static constexpr int iconSide = 160;
    static constexpr int leastIconSide = 64;
    // The application's icon in the compiled-in pictures: the "AppIcon" of the header.
    static constexpr const char* appIcon = ":/images/kiruvo.svg";

    struct Environment {
        // The status item the window flies into and the popover hangs from; nothing when there is
        // no item (the window then closes where it is and no popover opens).
        std::function<platform::StatusItem*()> statusBarButton;
        // What times the flight, the popover and the heart. Empty: the main thread's timers.
        zk::TimerSource timerSource;
    };

    // `hostingWindow` gives the window that shows this screen, or nothing once it is gone.
    WelcomeScreen(double buttonWidth, std::function<QWidget*()> hostingWindow, Environment environment = {},
        QWidget* parent = nullptr);
    ~WelcomeScreen() override;

    // The width of the labels of both buttons.
    const double buttonWidth;
    const std::function<QWidget*()> hostingWindow;
    bool isLastPage() const { return m_isLastPage; }

    // Takes the designed size where `available` (a screen's free area) has room for it, and else
    // what is left, with the icon made smaller until both pages' words and buttons fit in its
    // height. Returns the size taken.
    QSize fitInto(const QSize& available);
    int currentIconSide() const { return m_iconSide; }

    // "Continue": shows the last page.
    void showLastPage();
    // "Get Started": starts the flight into the status item and the popover after it; the window
    // is closed (and, with its controller, freed) when the flight ends. Only the first press counts.
    void getStarted();
    bool hasStarted() const { return m_hasStarted; }

    QLabel* titleLabel() const { return m_title; }
    QLabel* descriptionLabel() const { return m_description; }
    QLabel* feedbackLabel() const { return m_feedback; }
    HeartView* heartView() const { return m_heart; }
    LaunchAtLogin::Toggle* launchAtLoginToggle() const { return m_launchAtLogin; }
    QPushButton* continueButton() const { return m_continue; }
    QPushButton* getStartedButton() const { return m_getStarted; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeFirstPage();
    QWidget* makeLastPage();
    QPushButton* makeButton(const QString& title);
    void setIconSide(int side);
    // The height the page now shown needs at this width.
    int neededHeight(int atWidth) const;

    Environment m_environment;
    bool m_isLastPage = false;
    bool m_hasStarted = false;
    QLabel* m_title = nullptr;
    QLabel* m_description = nullptr;
    QLabel* m_feedback = nullptr;
    HeartView* m_heart = nullptr;
    QWidget* m_icon = nullptr;
    QLabel* m_picture = nullptr;
    int m_iconSide = iconSide;
    LaunchAtLogin::Toggle* m_launchAtLogin = nullptr;
    QPushButton* m_continue = nullptr;
    QPushButton* m_getStarted = nullptr;
    QWidget* m_firstPage = nullptr;
    QWidget* m_lastPage = nullptr;
};

} // namespace kiruvo

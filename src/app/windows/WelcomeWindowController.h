#pragma once

#include "app/windows/WelcomeScreen.h"
#include "kit/interface/SingletonWindowController.h"

namespace kiruvo {

// The Welcome window of the first launch: a small floating window without the desktop's frame
// (so without close, minimise or maximise buttons), titled with the application's name, centred in
// the screen's free area and fitted into it, movable by its background, showing the WelcomeScreen. One at a
// time (SingletonWindowController::show<>()); its "Get Started" closes it, which ends the controller.
//
// Main-thread only.
class WelcomeWindowController : public zk::SingletonWindowController {
    Q_OBJECT
public:
    static constexpr double buttonWidth = 100;

    WelcomeWindowController();

    WelcomeScreen& screen() const { return *m_screen; }

    // Where the next window's screen finds the status item and its timers; set by start-up.
    static void setEnvironment(WelcomeScreen::Environment environment);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WelcomeScreen* m_screen;
};

} // namespace kiruvo

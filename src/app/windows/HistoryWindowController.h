#pragma once

#include "kit/interface/SingletonWindowController.h"

namespace kiruvo {

class HistoryScreen;
class SessionController;

// The one History window of the process: "History", 420 × 560, closable but neither resizable nor
// minimisable, kept above ordinary windows and centred on the screen when it is made. Shown by the
// status menu's "History…" through show(); a second show brings the open window forward, and
// closing it ends controller and window, so the next show builds both anew.
//
// Main-thread only.
class HistoryWindowController : public zk::SingletonWindowController {
    Q_OBJECT
public:
    static constexpr const char* title = "History";

    // Builds the window over the engine set with setSessionController (the application's when none).
    HistoryWindowController();
    explicit HistoryWindowController(QWidget* window);

    // The engine that windows made from now on show.
    static void setSessionController(SessionController* controller);
    // Shows the one window, building it when there is none.
    static void show();

    HistoryScreen& screen() const { return *m_screen; }

private:
    HistoryScreen* m_screen = nullptr;
};

} // namespace kiruvo

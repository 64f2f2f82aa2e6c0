#pragma once

#include "kit/interface/SingletonWindowController.h"

class QLabel;

namespace zk {

class UserDebugView;

// The support panel a user reaches without any menu: start-up opens it when exactly Shift, Control
// and Alt are held at launch. A floating, centred window with a title and no title-bar buttons
// (without the desktop's frame: it shows its title itself and moves by its background); it lives
// until it closes, and the next show builds a new one. Main-thread only.
class UserDebugWindowController : public SingletonWindowController {
    Q_OBJECT
public:
    UserDebugWindowController();

    UserDebugView& view() const { return *m_view; }

    static void show() { SingletonWindowController::show<UserDebugWindowController>(false); }

    // The title shown at the top of the window.
    QLabel& titleLabel() const { return *m_title; }

    // "<name> <version> — Debug".
    static QString windowTitle();

private:
    QLabel* m_title = nullptr;
    UserDebugView* m_view = nullptr;
};

} // namespace zk

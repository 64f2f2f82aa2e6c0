#pragma once

#include "kit/interface/SingletonWindowController.h"

namespace zk {

class UserDebugView;

// The support panel a user reaches without any menu: start-up opens it when exactly Shift, Control
// and Alt are held at launch. A floating, centred window with a title and no title-bar buttons;
// it lives until it closes, and the next show builds a new one. Main-thread only.
class UserDebugWindowController : public SingletonWindowController {
    Q_OBJECT
public:
    UserDebugWindowController();

    UserDebugView& view() const { return *m_view; }

    static void show() { SingletonWindowController::show<UserDebugWindowController>(false); }

    // "<name> <version> — Debug".
    static QString windowTitle();
    // How wide a window must be for the window manager to show the whole title.
    static int widthShowingTitle(const QString& title);

private:
    UserDebugView* m_view = nullptr;
};

} // namespace zk

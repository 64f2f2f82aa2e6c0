#include "kit/diagnostics/UserDebugWindowController.h"

#include "kit/diagnostics/UserDebugView.h"
#include "kit/foundation/ZKApp.h"
#include "kit/interface/SwiftUIWindowForMenuBarApp.h"
#include "kit/interface/WindowUtilities.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace zk {

UserDebugWindowController::UserDebugWindowController()
    : SingletonWindowController(new SwiftUIWindowForMenuBarApp)
{
    auto* window = static_cast<SwiftUIWindowForMenuBarApp*>(this->window());
    window->setWindowTitle(windowTitle());
    // A title and no close, minimise or maximise buttons. Window managers that draw a title bar put
    // their buttons on it whatever the window asks (openbox does), so the desktop draws no frame:
    // the window shows its title itself, draws its own edge and moves by its background.
    window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window->setMovableByWindowBackground(true);
    setWindowLevel(*window, WindowLevel::floating);

    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    m_title = new QLabel(windowTitle(), window);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_title->setAlignment(Qt::AlignCenter);
    // As far from the edge as the column's buttons are.
    m_title->setContentsMargins(12, 12, 12, 0);
    layout->addWidget(m_title);
    m_view = new UserDebugView(window);
    layout->addWidget(m_view, 0, Qt::AlignHCenter);
    window->adjustSize();
    if (QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

QString UserDebugWindowController::windowTitle()
{
    return QString::fromStdString(ZKApp::name() + " " + ZKApp::version() + " — Debug");
}

} // namespace zk

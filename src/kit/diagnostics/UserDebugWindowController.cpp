#include "kit/diagnostics/UserDebugWindowController.h"

#include "kit/diagnostics/UserDebugView.h"
#include "kit/foundation/ZKApp.h"
#include "kit/interface/SwiftUIWindowForMenuBarApp.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace zk {

UserDebugWindowController::UserDebugWindowController()
    : SingletonWindowController(new SwiftUIWindowForMenuBarApp)
{
    QWidget* window = this->window();
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new UserDebugView(window);
    layout->addWidget(m_view);
    // A title, no close, minimise or zoom buttons, above ordinary windows.
    window->setWindowFlags(
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    window->setWindowTitle(windowTitle());
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

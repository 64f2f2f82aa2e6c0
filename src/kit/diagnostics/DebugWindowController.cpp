#include "kit/diagnostics/DebugWindowController.h"

#include "kit/diagnostics/DebugScreen.h"
#include "kit/diagnostics/UserDebugWindowController.h"
#include "kit/interface/CallbackMenuItem.h"
#include "kit/interface/SwiftUIWindowForMenuBarApp.h"
#include "kit/interface/ZKMenu.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace zk {

DebugWindowController::DebugWindowController()
    : SingletonWindowController(new SwiftUIWindowForMenuBarApp)
{
    QWidget* window = this->window();
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    m_screen = new DebugScreen(window);
    layout->addWidget(m_screen);
    window->setWindowTitle(UserDebugWindowController::windowTitle());
    window->resize(window->sizeHint().expandedTo(QSize(800, 400)));
    if (QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen()) {
        window->move(position(screen->availableGeometry(), window->frameGeometry().size()));
    }
}

QPoint DebugWindowController::position(const QRect& available, const QSize& windowSize)
{
    const double x = (available.width() - windowSize.width()) * 0.5;
    // Qt's y grows downwards: raising the window by 12 % of the height is a subtraction.
    const double y = (available.height() - windowSize.height()) * 0.5 - 0.12 * available.height();
    return available.topLeft() + QPoint(static_cast<int>(x), std::max(0, static_cast<int>(y)));
}

void addDebugMenuTo(QMenu& menu)
{
    auto* debug = new ZKMenu(QStringLiteral("Debug"), &menu);
    debug->addAction(new CallbackMenuItem(
        QStringLiteral("Show"), QString(), std::nullopt, true, false, false,
        [] { DebugWindowController::show(); }, debug));
    menu.addMenu(debug);
}

} // namespace zk

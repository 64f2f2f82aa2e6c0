#include "kit/diagnostics/UserDebugWindowController.h"

#include "kit/diagnostics/UserDebugView.h"
#include "kit/foundation/ZKApp.h"
#include "kit/interface/SwiftUIWindowForMenuBarApp.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace zk {

UserDebugWindowController::UserDebugWindowController()
    : SingletonWindowController(new SwiftUIWindowForMenuBarApp)
{
    QWidget* window = this->window();
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new UserDebugView(window);
    layout->addWidget(m_view, 0, Qt::AlignHCenter);
    // A title, no close, minimise or zoom buttons, above ordinary windows.
    window->setWindowFlags(
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    window->setWindowTitle(windowTitle());
    window->adjustSize();
    // The buttons alone make a narrow window, whose title the window manager would cut short
    // ("Kiruv…Debug"): wide enough for the whole title beside the manager's icon and buttons.
    window->resize(std::max(window->width(), widthShowingTitle(windowTitle())), window->height());
    if (QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

int UserDebugWindowController::widthShowingTitle(const QString& title)
{
    // Title bars draw in the desktop's bold window-title font, about the application's size or a
    // little larger; the icon, up to three buttons and the padding around them take about eight
    // lines' height (openbox's default theme cuts the title short below that).
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(title) + 8 * metrics.height();
}

QString UserDebugWindowController::windowTitle()
{
    return QString::fromStdString(ZKApp::name() + " " + ZKApp::version() + " — Debug");
}

} // namespace zk

#include "app/windows/HistoryWindowController.h"

#include "app/engine/SessionController.h"
#include "app/windows/HistoryScreen.h"
#include "kit/interface/SwiftUIWindowForMenuBarApp.h"
#include "kit/interface/WindowConstraints.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace kiruvo {

namespace {

SessionController*& sessionControllerForNewWindows()
{
    static SessionController* controller = nullptr;
    return controller;
}

QWidget* makeWindow()
{
    auto* window = new zk::SwiftUIWindowForMenuBarApp;
    window->setWindowTitle(QString::fromLatin1(HistoryWindowController::title));
    // Closable, also by Escape; resizable down to what fits a small screen; not minimisable; above
    // ordinary windows.
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
        | Qt::WindowMaximizeButtonHint | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint);
    window->shouldCloseOnEscapePress = true;
    return window;
}

} // namespace

HistoryWindowController::HistoryWindowController()
    : HistoryWindowController(makeWindow())
{
    SessionController* controller = sessionControllerForNewWindows();
    m_screen = new HistoryScreen(controller ? *controller : SessionController::shared(), window());
    auto* layout = new QVBoxLayout(window());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_screen);
    window()->setMinimumSize(HistoryScreen::minimumWidth, HistoryScreen::minimumHeight);
    zk::fitWindowToScreen(*window(), { HistoryScreen::width, HistoryScreen::height });
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window()->frameGeometry().size());
        frame.moveCenter(screen->availableGeometry().center());
        window()->move(frame.topLeft());
    }
}

HistoryWindowController::HistoryWindowController(QWidget* window)
    : zk::SingletonWindowController(window)
{
}

void HistoryWindowController::setSessionController(SessionController* controller)
{
    sessionControllerForNewWindows() = controller;
}

void HistoryWindowController::show()
{
    zk::SingletonWindowController::show<HistoryWindowController>(false);
}

} // namespace kiruvo

#include "app/windows/WelcomeWindowController.h"

#include "kit/foundation/ZKApp.h"
#include "kit/interface/HostingWindowKey.h"
#include "kit/interface/SwiftUIWindowForMenuBarApp.h"
#include "kit/interface/WindowUtilities.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace kiruvo {

namespace {

WelcomeScreen::Environment& sharedEnvironment()
{
    static WelcomeScreen::Environment environment;
    return environment;
}

QWidget* makeWindow()
{
    auto* window = new zk::SwiftUIWindowForMenuBarApp();
    window->setWindowTitle(QString::fromStdString(zk::ZKApp::name()));
    // Titled for the task list, with no close, minimise or maximise button, and not resizable.
    // Window managers that draw a title bar put their buttons on it whatever the window asks
    // (openbox does), so the desktop draws no frame at all: the window draws its own edge and
    // moves by its background.
    window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window->setMovableByWindowBackground(true);
    zk::setWindowLevel(*window, zk::WindowLevel::floating);
    return window;
}

} // namespace

WelcomeWindowController::WelcomeWindowController()
    : zk::SingletonWindowController(makeWindow())
{
    QWidget* hosting = window();
    m_screen = new WelcomeScreen(buttonWidth, zk::hostingWindow(hosting), sharedEnvironment(), hosting);
    auto* layout = new QVBoxLayout(hosting);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_screen);
    hosting->installEventFilter(this);
    const QScreen* screen = QGuiApplication::primaryScreen();
    // A small screen (or a large scale) leaves less than the designed size free.
    const QRect available = screen ? screen->availableGeometry() : QRect();
    hosting->setFixedSize(m_screen->fitInto(
        available.isEmpty() ? QSize(WelcomeScreen::width, WelcomeScreen::height) : available.size()));
    if (!available.isEmpty()) {
        QRect frame(QPoint(), hosting->size());
        frame.moveCenter(available.center());
        hosting->move(frame.topLeft());
    }
}

bool WelcomeWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window() && event->type() == QEvent::WindowActivate) {
        // The window is answered by keyboard as well (Space ticks the switch, Return gets
        // started): the focus is marked from the start, not only after a first Tab.
        window()->setAttribute(Qt::WA_KeyboardFocusChange);
    }
    return zk::SingletonWindowController::eventFilter(watched, event);
}

void WelcomeWindowController::setEnvironment(WelcomeScreen::Environment environment)
{
    sharedEnvironment() = std::move(environment);
}

} // namespace kiruvo

#include "app/windows/WelcomeWindowController.h"

#include "kit/foundation/ZKApp.h"
#include "kit/interface/HostingWindowKey.h"
#include "kit/interface/SwiftUIWindowForMenuBarApp.h"
#include "kit/interface/WindowUtilities.h"

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
    // Titled, with no close, minimise or maximise button, and not resizable.
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
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
    hosting->setFixedSize(WelcomeScreen::width, WelcomeScreen::height);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), hosting->size());
        frame.moveCenter(screen->availableGeometry().center());
        hosting->move(frame.topLeft());
    }
}

void WelcomeWindowController::setEnvironment(WelcomeScreen::Environment environment)
{
    sharedEnvironment() = std::move(environment);
}

} // namespace kiruvo

#include "app/windows/SettingsWindowController.h"

#include "kit/interface/SwiftUIWindowForMenuBarApp.h"
#include "kit/interface/WindowAccessor.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

namespace kiruvo {

namespace {

SettingsEnvironment& environment()
{
    static SettingsEnvironment instance;
    return instance;
}

zk::SwiftUIWindowForMenuBarApp* makeWindow()
{
    auto* window = new zk::SwiftUIWindowForMenuBarApp;
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* screen = new SettingsScreen(environment(), window);
    layout->addWidget(screen);
    window->setWindowTitle(screen->currentTitle());
    QObject::connect(screen, &SettingsScreen::currentTitleChanged, window, &QWidget::setWindowTitle);
    // Settings stay within reach above the windows the user is comparing them with.
    zk::WindowViewModifier { zk::windowLevelSetter(zk::WindowLevel::floating) }.apply(*screen);
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), window);
    QObject::connect(shortcut, &QShortcut::activated, window, [window] {
        window->raise();
        window->activateWindow();
    });
    // Where a new window would open, without a window manager to place it: the middle of the screen.
    window->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    return window;
}

} // namespace

SettingsWindowController::SettingsWindowController()
    : zk::SingletonWindowController(makeWindow())
    , m_screen(window()->findChild<SettingsScreen*>())
{
}

void SettingsWindowController::show(std::optional<SettingsScreen::Tab> tab)
{
    auto& controller = shared<SettingsWindowController>();
    if (tab) {
        controller.screen().setCurrentTab(*tab);
    }
    zk::SingletonWindowController::show<SettingsWindowController>(false);
}

void SettingsWindowController::setEnvironment(SettingsEnvironment newEnvironment)
{
    environment() = std::move(newEnvironment);
}

} // namespace kiruvo

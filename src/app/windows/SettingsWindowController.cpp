#include "app/windows/SettingsWindowController.h"

#include "kit/interface/SwiftUIWindowForMenuBarApp.h"
#include "kit/interface/WindowAccessor.h"
#include "kit/interface/WindowConstraints.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kiruvo {

namespace {

SettingsEnvironment& environment()
{
    static SettingsEnvironment instance;
    return instance;
}

// The smallest useful window: the panes' width, and enough height for a few rows; what does not
// fit scrolls.
constexpr int minimumHeight = 240;

// Where the compositor alone places windows, it does so when a window is mapped, and a window that
// grows later grows downward from where it was, past the screen's bottom edge for a tall pane. A
// window grown taller is shown afresh, for the compositor to place it whole on the screen.
void placeAfresh(QWidget& window)
{
    const QPointer<QWidget> focused = window.focusWidget();
    window.hide();
    window.show();
    window.activateWindow();
    if (focused) {
        focused->setFocus(Qt::OtherFocusReason);
    }
}

// The whole current pane where the screen has room for it, else as much as fits, scrolling the
// rest: a pane never leaves an empty area under a shorter one, and no pane runs off a small screen
// (1366 × 768 at 150 % has 512 points of height).
void fitToCurrentPane(QWidget& window, QScrollArea& scrollArea, const SettingsScreen& screen)
{
    // Where windows float only at a fixed size, the window is fixed to each pane's size in turn.
    const bool fixed = zk::windowsFloatOnlyAtFixedSize();
    if (fixed) {
        window.setMinimumSize(screen.sizeHint().width(), minimumHeight);
        window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    // The scroll area gives the screen the height it asks for at its width, which wrapped texts may
    // make more than its size hint.
    QSize content = screen.sizeHint();
    if (screen.hasHeightForWidth()) {
        content.setHeight(std::max(content.height(), screen.heightForWidth(content.width())));
    }
    const QRect available = zk::availableGeometryFor(window);
    const QSize fitting
        = zk::sizeFittingScreen(content, window.minimumSize(), available, zk::frameMarginsFor(window));
    QSize preferred = content;
    const bool scrolls = fitting.height() < content.height();
    if (scrolls) {
        // Room for the scroll bar beside the pane.
        preferred.rwidth() += scrollArea.verticalScrollBar()->sizeHint().width();
    }
    // A pane that fits whole has no scroll bar: one shown for a moment while the window changes
    // height would narrow the pane, lengthen its wrapped texts, and so stay.
    scrollArea.setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    const int heightBefore = window.height();
    zk::fitWindowToScreen(window, preferred);
    if (fixed) {
        window.setFixedSize(window.size());
        if (window.isVisible() && window.height() > heightBefore) {
            placeAfresh(window);
        }
    }
}

zk::SwiftUIWindowForMenuBarApp* makeWindow()
{
    auto* window = new zk::SwiftUIWindowForMenuBarApp;
    window->shouldCloseOnEscapePress = true;
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* scrollArea = new QScrollArea(window);
    // The controls take the focus, not the area around them, which would keep Tab at the tab bar
    // it hides; a control that Tab reaches is scrolled into view.
    scrollArea->setFocusPolicy(Qt::NoFocus);
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidgetResizable(true);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* screen = new SettingsScreen(environment(), scrollArea);
    scrollArea->setWidget(screen);
    layout->addWidget(scrollArea);
    window->setMinimumSize(screen->sizeHint().width(), minimumHeight);
    window->setWindowTitle(screen->currentTitle());
    QObject::connect(screen, &SettingsScreen::currentTitleChanged, window, &QWidget::setWindowTitle);
    // Settings stay within reach above the windows the user is comparing them with.
    zk::WindowViewModifier { zk::windowLevelSetter(zk::WindowLevel::floating) }.apply(*screen);
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), window);
    QObject::connect(shortcut, &QShortcut::activated, window, [window] {
        window->raise();
        window->activateWindow();
    });
    QObject::connect(
        screen, &SettingsScreen::preferredSizeChanged, window,
        [window, scrollArea, screen] { fitToCurrentPane(*window, *scrollArea, *screen); },
        Qt::QueuedConnection);
    fitToCurrentPane(*window, *scrollArea, *screen);
    // The window opens with no control focused, so that the first Tab shows the focus on the first
    // one (the shown pane's button) rather than moving it from a control nothing marks.
    window->setFocus(Qt::OtherFocusReason);
    // Where a new window would open, without a window manager to place it: the middle of the screen.
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

#include "WindowUnderOpenbox.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

#include <cstdlib>

namespace {

constexpr int patience = 30000;

// Counts the events of one type that reach the window or anything in it.
class SeenEvents : public QObject {
public:
    SeenEvents(QWidget& window, QEvent::Type type)
        : m_window(window)
        , m_type(type)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~SeenEvents() override { QCoreApplication::instance()->removeEventFilter(this); }

    int count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == m_type && widget && widget->window() == &m_window) {
            ++m_count;
        }
        return false;
    }

private:
    QWidget& m_window;
    QEvent::Type m_type;
    int m_count = 0;
};

std::string text(QPoint point)
{
    return std::to_string(point.x()) + "," + std::to_string(point.y());
}

} // namespace

WindowUnderOpenbox::WindowUnderOpenbox(QWidget& window)
    : m_window(window)
{
}

void WindowUnderOpenbox::settle()
{
    QCoreApplication::processEvents();
    // What the application asked of the server (a move, a message to the window manager) has
    // reached it...
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        xcb_connection_t* connection = x11->connection();
        free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    // ...and the window manager has handled it.
    m_user.windowManagerRoundTrip(patience);
    QCoreApplication::processEvents();
}

QPoint WindowUnderOpenbox::position()
{
    return m_user.rootPosition(static_cast<xcb_window_t>(m_window.winId())).value_or(QPoint(-1, -1));
}

std::string WindowUnderOpenbox::pointerHolder()
{
    if (!m_user.pointerIsGrabbedByAnother()) {
        return "pointer free";
    }
    // Let it go, so that the next step starts afresh.
    m_user.button(true);
    m_user.button(false);
    settle();
    return "pointer held by the window manager";
}

bool WindowUnderOpenbox::waitUntilManagedAndActive()
{
    const auto window = static_cast<xcb_window_t>(m_window.winId());
    return QTest::qWaitFor(
        [&] { return m_window.isVisible() && m_user.isManaged(window) && m_window.isActiveWindow(); },
        patience);
}

std::string WindowUnderOpenbox::clickOnBackground(QPoint point)
{
    SeenEvents releases(m_window, QEvent::MouseButtonRelease);
    const QPoint before = position();
    m_user.moveTo(before + point);
    m_user.button(true);
    m_user.button(false);
    if (!QTest::qWaitFor([&] { return releases.count() > 0; }, patience)) {
        return "click: never seen";
    }
    settle();
    m_user.moveTo(before + point + QPoint(100, 80));
    settle();
    const QPoint after = position();
    const std::string where = after == before ? "window stays" : "window follows the pointer";
    return "click: " + where + ", " + pointerHolder();
}

std::string WindowUnderOpenbox::dragOnBackground(QPoint point, QPoint by)
{
    SeenEvents releases(m_window, QEvent::MouseButtonRelease);
    const QPoint before = position();
    const QPoint start = before + point;
    m_user.moveTo(start);
    m_user.button(true);
    m_user.moveTo(start + QPoint(2, 1));
    settle();
    const bool movedEarly = position() != before;
    for (int step = 1; step <= 4; ++step) {
        m_user.moveTo(start + by * step / 4);
    }
    m_user.button(false);
    if (!QTest::qWaitFor([&] { return releases.count() > 0; }, patience)) {
        return "drag: release never seen";
    }
    // The window manager places the window when it is asked to: wait for it to get there.
    (void)QTest::qWaitFor(
        [&] {
            settle();
            return position() == before + by;
        },
        patience);
    const QPoint travelled = position() - before;
    const std::string where
        = travelled == by ? "window moved with the pointer" : "window moved by " + text(travelled);
    return std::string("drag: ") + (movedEarly ? "moved below the drag distance, " : "") + where + ", "
        + pointerHolder();
}

bool WindowUnderOpenbox::tap(std::uint32_t keySymbol, std::initializer_list<std::uint32_t> modifierSymbols)
{
    SeenEvents releases(m_window, QEvent::KeyRelease);
    m_user.tap(keySymbol, modifierSymbols);
    const bool seen
        = QTest::qWaitFor([&] { return releases.count() > int(modifierSymbols.size()); }, patience);
    settle();
    return seen;
}

std::string WindowUnderOpenbox::frame()
{
    const auto extents = m_user.frameExtents(static_cast<xcb_window_t>(m_window.winId()));
    if (extents == std::vector<std::uint32_t> { 0, 0, 0, 0 }) {
        return "no frame";
    }
    std::string described = "frame";
    for (const std::uint32_t extent : extents) {
        described += " " + std::to_string(extent);
    }
    return described;
}

#pragma once

#include "platform/async/TaskHandle.h"
#include "platform/combine/Scheduler.h"

#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QWidget>

#include <memory>
#include <vector>

class QImage;
class QLabel;
class QScreen;
class QTimer;

namespace platform {
class PopoverSurface;
} // namespace platform

namespace zk {
struct Duration;
class VisualEffectView;
} // namespace zk

namespace kiruvo {

class HeartView;

// The heads-up reminder: a translucent, rounded 220 × 220 panel a little above the middle of
// every screen, with the beating heart, "You have been active for" and the duration. It floats
// above other windows, never takes focus, lets clicks through to the windows beneath, and fades
// in and out over 0.5 s (at once under Reduce Motion). Where nothing composites, the window is cut
// to the panel's rounded shape, as its transparent corners would show black. On Wayland, where a
// new window would be placed by the compositor and take the focus, the panel is a picture of the
// compositor's overlay layer where it offers one, drawn again as the heart beats; elsewhere it
// stays a frameless window of fixed size that takes no focus. Each reminder builds new windows;
// the reminder closes them after its time.
//
// Main-thread only.
class HeadsUpWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int side = 220;
    static constexpr double cornerRadius = 30;
    static constexpr double fadeDuration = 0.5;
    static constexpr double fadeInDelay = 0.1;
    // How far above the middle of the usable screen area the panel sits, as a share of its height.
    static constexpr double raiseFraction = 0.12;

    // The panel's frame on a screen whose usable area (without panels and docks) is
    // `availableGeometry`, in global coordinates with the origin at the top left: centred
    // horizontally, and centred vertically then raised by 12 % of the area's height.
    static QRect frameFor(const QRect& availableGeometry, QSize size = QSize(side, side));

    // The duration every heads-up window shows; zero until the first heads-up reminder.
    static zk::Duration duration();

    // Closes the open windows and shows a new one, with `duration`, on every screen. The fades
    // wait on `scheduler`.
    static void showOnAllScreens(const zk::Duration& duration,
        platform::combine::Scheduler& scheduler = platform::combine::Scheduler::main());
    // Fades every open window out and closes it; returns at once.
    static void closeAll();
    // One window on one screen.
    static HeadsUpWindow* show(
        QScreen* screen, platform::combine::Scheduler& scheduler = platform::combine::Scheduler::main());
    // The windows shown and not yet closed, fading ones included, in order of showing.
    static std::vector<HeadsUpWindow*> openWindows();

    // Fades out, then closes and forgets the window (it deletes itself).
    void fadeOutAndClose();
    ~HeadsUpWindow() override;

    // Whether the panel shows as a picture of the compositor's overlay layer rather than a window.
    bool isShownOnSurface() const { return m_surface != nullptr; }

    QString durationText() const;
    HeartView* heartView() const { return m_heart; }
    zk::VisualEffectView* background() const { return m_background; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's shape where nothing composites: the pixels the rounded panel covers whole.
    static QRegion panelShape();

    HeadsUpWindow(QScreen* screen, platform::combine::Scheduler& scheduler);
    // Shows the panel on a surface of the display's own on the screen at `screenIndex`; false where
    // the display has none for it.
    bool showOnSurface(int screenIndex);
    QImage picture();
    void redrawSurface();
    void fadeIn();
    void finishClosing();

    zk::VisualEffectView* m_background;
    HeartView* m_heart;
    QWidget* m_heartPlace;
    QLabel* m_durationLabel;
    platform::combine::Scheduler* m_scheduler;
    // The fade under way, in or out.
    platform::async::TaskHandle m_fade;
    bool m_closing = false;
    std::unique_ptr<platform::PopoverSurface> m_surface;
    QTimer* m_redraw = nullptr;
};

} // namespace kiruvo

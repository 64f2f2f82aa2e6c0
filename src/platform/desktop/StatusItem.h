#pragma once

#include "platform/desktop/PanelGeometry.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QVariantAnimation;

namespace platform {

// The desktop's pink, the reminder's highlight of the status item.
inline QColor systemPinkColor()
{
    return QColor(0xFF, 0x2D, 0x55);
}

// The colour that reads on a panel of this background colour: black on light panels, white on dark
// ones (never black on dark).
QColor contrastingColor(const QColor& background);
// The contrast ratio of two colours as the web's accessibility guidelines measure it: 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);
// What a panel's foreground must reach against its background to be taken as readable: the
// guidelines' minimum for graphics and large text.
inline constexpr double readableContrast = 3.0;

// What is known of the colours of the panel the item sits on, each from its own source.
struct PanelColours {
    // The colour the tray asks its icons to draw in (an XEmbed tray's _NET_SYSTEM_TRAY_COLORS).
    std::optional<QColor> trayForeground = std::nullopt;
    // The panel's background as seen on the screen.
    std::optional<QColor> background = std::nullopt;
    // The panel's background as the desktop's colour scheme has it, where nothing else tells.
    std::optional<QColor> schemeBackground = std::nullopt;
    // The bar's background and the colour of its own text as the desktop's configuration names
    // them (sway's bars), where no application can read the screen.
    std::optional<QColor> configuredBackground = std::nullopt;
    std::optional<QColor> configuredForeground = std::nullopt;
};

// The colour to draw the title and template images in. The panel's own word counts first: the
// bar's configured colours, or the background seen on the screen; on either the panel's own
// foreground (the configured text colour, the tray's) while it reads there (a panel given a dark
// colour under a light theme may still name dark text), else the colour that contrasts with that
// background; then the tray's foreground alone; then the desktop's colour scheme for panels.
// Nothing where none of them tells: the application's own palette says nothing of the panel's, so
// the backend then draws a picture that reads on any panel.
std::optional<QColor> panelTextColor(const PanelColours& colours = {});

// The height of the bar a status item sits in, in points: sizes and offsets in points are measured
// against it.
inline constexpr double statusBarThickness = 22.0;

// What the tray item shows.
struct StatusItemAppearance {
    // A template unless `isTemplate` says otherwise: only its shape counts, and the backend draws
    // it in the panel's text colour (or the tint). Black on transparent is the expected form.
    QImage image;
    QString title;
    // Drawn at reduced opacity, as a disabled button is.
    bool dimmed = false;
    // The title and a template image recoloured in this colour (the reminder's highlight); none
    // draws them in the panel's text colour.
    std::optional<QColor> tint;
    bool visible = true;
    // Points; a positive offset draws the title higher, a negative one lower.
    std::optional<double> titleBaselineOffset;
    // What the figure is, in words, for the tooltip ("Current session: 25 minutes"); empty when
    // the title says enough.
    QString toolTip;
    // False for a picture already in its colours (a tinted copy): drawn as it is.
    bool isTemplate = true;

    friend bool operator==(const StatusItemAppearance& a, const StatusItemAppearance& b)
    {
        return a.image == b.image && a.isTemplate == b.isTemplate && a.title == b.title
            && a.dimmed == b.dimmed && a.tint == b.tint && a.visible == b.visible
            && a.titleBaselineOffset == b.titleBaselineOffset && a.toolTip == b.toolTip;
    }
};

// Draws a status item somewhere on the desktop and reports clicks on it. Main-thread only.
class StatusItemBackend {
public:
    using ClickHandler = std::function<void(Qt::MouseButton)>;

    virtual ~StatusItemBackend() = default;

    virtual void draw(const StatusItemAppearance& appearance) = 0;
    // The item's rectangle on screen, in global coordinates, when the desktop tells it.
    virtual std::optional<QRect> geometry() const = 0;
    // Whether the desktop has a place to show the item at all.
    virtual bool isAvailable() const = 0;
    // Moves the drawn image and title by this many points (x right, y down) without changing the
    // appearance: the frames of a shake. Backends that cannot move their picture ignore it.
    virtual void setContentOffset(QPointF offset) { static_cast<void>(offset); }

    // Hands the desktop the item's menu, for panels that draw the menu themselves (a D-Bus menu):
    // `aboutToShow` runs before such a panel shows it. Backends without one ignore it. Not owned;
    // nullptr takes it back.
    virtual void setMenu(QMenu* menu, std::function<void()> aboutToShow)
    {
        static_cast<void>(menu);
        static_cast<void>(aboutToShow);
    }
    // Whether the desktop has the menu now and may show it without asking the application.
    virtual bool exportsMenu() const { return false; }
    // Whether the desktop asks for the menu at a primary click: a panel's item that says it is a
    // menu (on Wayland) gets no click, only the request.
    virtual bool menuRequestIsPrimaryClick() const { return false; }

    // The status item installs this; the backend calls it for every click on the item.
    void setClickHandler(ClickHandler handler) { m_clickHandler = std::move(handler); }
    // The status item installs this; the backend calls it when the desktop asks for the item's
    // menu rather than reporting a click (a panel's "context menu" request).
    void setMenuRequestHandler(std::function<void()> handler) { m_menuRequestHandler = std::move(handler); }

protected:
    void reportClick(Qt::MouseButton button) const
    {
        if (m_clickHandler) {
            m_clickHandler(button);
        }
    }
    void reportMenuRequest() const
    {
        if (m_menuRequestHandler) {
            m_menuRequestHandler();
        }
    }

private:
    ClickHandler m_clickHandler;
    std::function<void()> m_menuRequestHandler;
};

// The application's item in the tray ("menu bar"): the model of what it shows, where it is and
// the clicks on it. No menu is attached to the tray icon itself: whoever owns the item pops its
// menu up at anchorRect() when clicked, so that left and right clicks behave the same everywhere.
//
// Main-thread only.
class StatusItem : public QObject {
    Q_OBJECT
public:
    explicit StatusItem(std::unique_ptr<StatusItemBackend> backend, QObject* parent = nullptr);
    ~StatusItem() override;

    const StatusItemAppearance& appearance() const { return m_appearance; }
    // Each setter redraws only when the value changes.
    void setAppearance(const StatusItemAppearance& appearance);
    void setImage(const QImage& image);
    // Keeps the title's baseline offset.
    void setTitle(const QString& title);
    // The title with the given baseline offset (points, positive moves it up; none: no offset).
    void setTitle(const QString& title, std::optional<double> baselineOffset);
    void setDimmed(bool dimmed);
    void setTint(std::optional<QColor> tint);
    void setVisible(bool visible);
    bool isVisible() const { return m_appearance.visible; }

    // Whether the item can be seen: it is visible and the desktop has a tray.
    bool isShownOnScreen() const;

    // Where popovers and the menu hang from, in global coordinates: the tray item's rectangle when
    // the desktop gives it, else the tray's corner of the panel (defaultTrayAnchor()).
    QRect anchorRect() const;

    StatusItemBackend& backend() const { return *m_backend; }
    // The item's menu, for desktops that show it themselves (StatusItemBackend::setMenu).
    void setMenu(QMenu* menu, std::function<void()> aboutToShow)
    {
        m_backend->setMenu(menu, std::move(aboutToShow));
    }

    // One shake of the image and title: key frames at 0, 1/4, 1/2, 3/4 and the end of `duration`
    // seconds at -distance, distance, -distance/2, distance/2 and 0 points, eased in and out,
    // along the vertical axis or the horizontal one. A shake under way starts again from the
    // beginning. Nothing moves while the desktop asks for reduced motion.
    void shake(double duration, double distance, bool vertical);
    // Where the shake has moved the content at this moment, in points; (0, 0) when still.
    QPointF shakeOffset() const { return m_shakeOffset; }
    // The running shake, for tests that step through it; none before the first shake.
    QVariantAnimation* shakeAnimationForTesting() const { return m_shakeAnimation; }

    // While set, a primary (left) click on the item goes to the interceptor instead of `clicked`,
    // for example to close a tip that hangs from the item first; the other buttons reach `clicked`
    // as ever. So does the desktop's request for the menu where that is what the panel sends for
    // the primary click (menuRequestIsPrimaryClick: swaybar on Wayland). The interceptor is handed
    // what passes it on: a plain left click (performClick) or the menu request. An empty function
    // removes it.
    using ClickInterceptor = std::function<void(const std::function<void()>& passOn)>;
    void setClickInterceptor(ClickInterceptor interceptor);
    // Acts as a plain left click that reached the item: `clicked` with no modifiers, past any
    // interceptor.
    void performClick();

    // Sources of the screens and the held modifiers, replaceable for tests.
    void setScreensSource(std::function<Screens()> source);
    void setModifierSource(std::function<Qt::KeyboardModifiers()> source);

signals:
    // A click on the item, with the keyboard modifiers held at that moment.
    void clicked(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    // The desktop asks for the item's menu (not a click: whatever the click settings, it is the
    // menu that is wanted).
    void menuRequested();

private:
    void redraw();
    void onClick(Qt::MouseButton button);
    void onMenuRequest();
    void setShakeOffset(QPointF offset);

    std::unique_ptr<StatusItemBackend> m_backend;
    ClickInterceptor m_clickInterceptor;
    QVariantAnimation* m_shakeAnimation = nullptr;
    QPointF m_shakeOffset;
    StatusItemAppearance m_appearance;
    std::function<Screens()> m_screens;
    std::function<Qt::KeyboardModifiers()> m_modifiers;
};

} // namespace platform

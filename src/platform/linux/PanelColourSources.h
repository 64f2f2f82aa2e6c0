#pragma once

#include "platform/desktop/StatusItem.h"

#include <QColor>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>

#include <functional>
#include <optional>

namespace platform {

class BusNameOwner;

// Where the colours of the panel that holds the status item can be learnt (PanelColours).

// The selection an XEmbed tray manager owns on Qt's X screen: _NET_SYSTEM_TRAY_S<screen>.
QByteArray systemTraySelectionName();

// The foreground colour that the display's XEmbed tray manager names for its icons
// (_NET_SYSTEM_TRAY_COLORS: CARDINAL[12], foreground, error, warning and success as 16-bit red,
// green and blue, on the window owning _NET_SYSTEM_TRAY_S<screen>). A panel that hosts
// StatusNotifierItems and XEmbed icons alike names it for both. Nothing off X11, without a tray
// manager or when it names none.
std::optional<QColor> systemTrayForeground();
// The foreground in a _NET_SYSTEM_TRAY_COLORS value; nothing unless it holds at least three values.
std::optional<QColor> trayForegroundFrom(const quint32* values, int count);

// The colour most of this picture has, taken as a panel's around the icons on it: the mean of
// the pixels in the most common of 4096 colour bins. With a mask of the picture's size, only the
// pixels the mask leaves fully transparent count. Nothing for an empty picture, or where the mask
// leaves no pixel.
std::optional<QColor> dominantColour(const QImage& picture, const QImage& mask = {});

// The pixels of the screen in this rectangle (global coordinates), where the platform lets an
// application read them (X11); an empty picture elsewhere.
QImage screenPixels(const QRect& area);

// How long a look at the panel waits once it is due (PanelSampler): the panel shows the item's new
// picture, or settles after a change, first.
inline constexpr int panelSamplingDelayMilliseconds = 1000;

// What a look at the panel found.
struct PanelLook {
    // The colours differ from those known before.
    bool changed = false;
    // The panel's background was found in the screen's pixels, or the platform shows no application
    // the screen (Wayland), so that looking again would learn nothing more.
    bool seen = false;
};

// Looks at the panel again: the tray manager's foreground, and the background `backgroundIn` finds
// in the screen's pixels in `area`, where there is an area and it finds one (else the background
// stays as it was).
PanelLook resamplePanelColours(PanelColours& colours, const std::optional<QRect>& area,
    const std::function<std::optional<QColor>(const QImage&)>& backgroundIn);

// Keeps what the desktop says of its panels in `colours` (the colour scheme's guess, and the bars'
// configured colours where sway names them), now and at each change, after which `changed` runs,
// for as long as `owner` lives. `colours` must live as long as `owner`.
void followDesktopPanelColours(QObject* owner, PanelColours& colours, std::function<void()> changed);

// The panel colour the desktop's colour scheme implies: GNOME Shell's bar is dark whatever the
// scheme; elsewhere the freedesktop appearance setting "color-scheme" (read through the settings
// portal, and followed) says dark or light. Nothing where neither tells. The portal is asked
// without waiting; `changed` follows its answer. Main-thread only.
class DesktopColourScheme final : public QObject {
    Q_OBJECT
public:
    static DesktopColourScheme& shared();

    std::optional<QColor> panelBackground() const;

    // The panel colour for a desktop name (XDG_CURRENT_DESKTOP) and a "color-scheme" value (0 no
    // preference, 1 dark, 2 light; nothing when unread).
    static std::optional<QColor> panelBackgroundFor(
        const QString& currentDesktop, std::optional<uint> colorScheme);

signals:
    void changed();

private:
    DesktopColourScheme();
    Q_SLOT void settingChanged(
        const QString& ns, const QString& key, const QDBusVariant& value, const QDBusMessage& message);

    BusNameOwner* m_portal = nullptr;
    std::optional<uint> m_colorScheme;
};

} // namespace platform

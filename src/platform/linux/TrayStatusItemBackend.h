#pragma once

#include "platform/desktop/StatusItem.h"
#include "platform/linux/PanelSampler.h"

#include <QAbstractNativeEventFilter>
#include <QColor>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QSystemTrayIcon>

namespace platform {

// Draws the status item as a freedesktop tray icon (QSystemTrayIcon). No context menu is attached:
// left, right and middle clicks (and double clicks, as left clicks) are reported, and the owner
// pops its own menu up.
//
// Trays show a small square, so the picture is square too (wider only when an image and a title
// stand side by side): the title is fitted into it on one or two lines, its unit letters as large
// as its digits, its letters narrowed where that lets them read larger, and the tooltip says what
// the figure is. The image is a template, drawn in the colour that contrasts with the
// panel or in the tint; a thin halo in the opposite shade keeps both readable where the panel
// differs from what was learnt of it, and where nothing tells the panel's colour the picture is
// light on a dark plate. The tray asks for the picture at the size it shows it, and gets it drawn
// at that size: letters scaled down from a larger picture blur into smudges.
//
// When the desktop has no tray at start-up it says so once in the log and keeps running: hot keys
// and D-Bus still reach the menu. On X11 a new tray manager (a panel started or restarted) has the
// panel looked at again.
//
// Main-thread only.
class TrayStatusItemBackend final : public QObject,
                                    public StatusItemBackend,
                                    private QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // The picture's height in pixels; panels scale it down to their own size, and drawing it
    // large keeps the title sharp.
    static constexpr int pictureHeight = 64;
    // The picture's height stands for a bar this many points high: image sizes, title offsets and
    // shake distances, all in points, are scaled by pictureHeight / barHeightInPoints.
    static constexpr double barHeightInPoints = statusBarThickness;

    explicit TrayStatusItemBackend(QObject* parent = nullptr);
    ~TrayStatusItemBackend() override;

    void draw(const StatusItemAppearance& appearance) override;
    std::optional<QRect> geometry() const override;
    bool isAvailable() const override;
    void setContentOffset(QPointF offset) override;

    // The tray icon's tooltip: what the figure is in words, else the plain title, else the
    // application's name.
    QString toolTip() const { return m_tray.toolTip(); }
    static QString toolTipText(const StatusItemAppearance& appearance);
    // The picture last handed to the tray.
    const QPixmap& picture() const { return m_picture; }

    // The colour of the title and the template image; unless set, the panel's (panelTextColor()):
    // the foreground the tray names, the tray's background seen under the icon where the screen
    // can be read (X11), sway's bar colours, the desktop's colour scheme, else none.
    void setTextColor(std::optional<QColor> color);
    // What is known of the panel's colours now.
    const PanelColours& panelColours() const { return m_panelColours; }
    // When the panel is looked at again.
    PanelSampler& panelSampler() { return m_panelSampler; }

    // The colour the title and template image are drawn in now; none: drawn to read on any panel.
    std::optional<QColor> textColor() const
    {
        return m_textColor ? m_textColor : panelTextColor(m_panelColours);
    }

    // The panel's colour in a picture of the screen under the icon (`area`), given the icon's own
    // picture as shown there (`shown`, of the same size): the colour most of the pixels have that
    // the picture leaves empty. Nothing where it leaves none.
    static std::optional<QColor> backgroundOf(const QImage& area, const QImage& shown);

    // The picture handed to the tray for an appearance: `height` pixels high, as wide as the image
    // and title need, its content moved by `contentOffset` points.
    // The title and a template image are drawn in `textColor`, with a thin halo in the opposite
    // shade; with no colour (the panel's is unknown) light on a dark plate, which reads on any panel.
    static QPixmap render(const StatusItemAppearance& appearance, int height,
        const std::optional<QColor>& textColor, QPointF contentOffset = {});

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    // The picture as the tray shows it in an icon of this many pixels.
    QImage shownIn(QSize pixels) const;
    // Whether the look saw the panel.
    bool samplePanelColours();
    void redraw();
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    QSystemTrayIcon m_tray;
    QPixmap m_picture;
    StatusItemAppearance m_appearance;
    std::optional<QColor> m_textColor;
    PanelColours m_panelColours;
    QPointF m_contentOffset;
    // The offset last drawn, in whole picture pixels: shake frames that move nothing are skipped.
    QPoint m_drawnOffset;
    PanelSampler m_panelSampler;
    // The atoms of a tray manager's announcement (MANAGER, and the tray's selection for this X
    // screen); none off X11.
    quint32 m_managerAtom = 0;
    quint32 m_traySelectionAtom = 0;
};

} // namespace platform

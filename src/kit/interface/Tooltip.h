#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QLabel;

namespace platform {
class PopoverSurface;
class StatusItem;
} // namespace platform

namespace zk {

// A small frameless tip of wrapped text that hangs below a point of the screen, typically the
// status item, without taking the keyboard or the pointer. On Wayland it is a picture of the
// compositor's overlay layer where the compositor offers one (platform::PopoverSurface), else a
// window of fixed size. It counts its showings under
// "ZK_Tooltip_" + identifier in the settings, and with showOnlyOnce it is never shown again once
// counted. A click on it closes it when closeOnClick, then runs onClick.
//
// Main-thread only.
class Tooltip : public QWidget {
    Q_OBJECT
public:
    Tooltip(const QString& text, bool closeOnClick, QMargins contentInsets, std::optional<int> maxWidth,
        std::function<void()> onClick, QString identifier, bool showOnlyOnce);
    ~Tooltip() override;

    const QString identifier;
    const bool showOnlyOnce;
    // When false, showing at a status item that is not on screen shows nothing.
    bool showEvenWhenMenuBarItemIsHidden = false;

    // Shows the tip at `anchor` (global coordinates), as positionAt() places it. Returns whether it
    // was shown.
    bool showRelativeTo(const QRect& anchor);
    // Shows the tip below the status item's anchor rectangle.
    bool showInInvisibleWindow(const platform::StatusItem& statusItem);

    // How often the tip of `identifier` has been shown.
    static std::int64_t shownCount(const QString& identifier);

    // The top left corner of a tip of `size` hung from `anchor` on a screen whose windows may use
    // `available` (the screen less its panels): centred under the anchor, 5 below it. An anchor in
    // a panel below, left or right of that area (the tray on a bottom or side panel) has the tip 5
    // above it, right of it or left of it instead. The tip stays within the area: never over a
    // panel, whatever point the anchor names.
    static QPoint positionAt(const QRect& anchor, const QSize& size, const QRect& available);

    QLabel& label() const { return *m_label; }

signals:
    void closed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Shows the tip on a surface of the display's own, at `position` on a screen of that size;
    // false where the display has none for it.
    bool showOnSurface(QPoint position, QSize screen, double devicePixelRatio);

    QLabel* m_label;
    std::function<void()> m_onClick;
    std::unique_ptr<platform::PopoverSurface> m_surface;
};

} // namespace zk

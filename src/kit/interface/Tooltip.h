#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

class QLabel;

namespace platform {
class StatusItem;
}

namespace zk {

// A small frameless tip of wrapped text that hangs below a point of the screen, typically the
// status item, without taking the keyboard or the pointer. It counts its showings under
// "ZK_Tooltip_" + identifier in the settings, and with showOnlyOnce it is never shown again once
// counted. A click on it closes it when closeOnClick, then runs onClick.
//
// Main-thread only.
class Tooltip : public QWidget {
    Q_OBJECT
public:
    Tooltip(const QString& text, bool closeOnClick, QMargins contentInsets, std::optional<int> maxWidth,
        std::function<void()> onClick, QString identifier, bool showOnlyOnce);

    const QString identifier;
    const bool showOnlyOnce;
    // When false, showing at a status item that is not on screen shows nothing.
    bool showEvenWhenMenuBarItemIsHidden = false;

    // Shows the tip centred below `anchor` (global coordinates). Returns whether it was shown.
    bool showRelativeTo(const QRect& anchor);
    // Shows the tip below the status item's anchor rectangle.
    bool showInInvisibleWindow(const platform::StatusItem& statusItem);

    // How often the tip of `identifier` has been shown.
    static std::int64_t shownCount(const QString& identifier);

    // The top left corner of a tip of `size` hung below `anchor` on a screen with `screen` as its
    // geometry: centred under the anchor, 5 below it; an anchor at x 0 or less (a hidden item) is
    // taken as 60 left of the screen's right edge. The tip stays on the screen.
    static QPoint positionBelow(const QRect& anchor, const QSize& size, const QRect& screen);

    QLabel& label() const { return *m_label; }

signals:
    void closed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QLabel* m_label;
    std::function<void()> m_onClick;
};

} // namespace zk

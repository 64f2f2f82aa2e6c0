#pragma once

#include "platform/desktop/StatusItem.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class QScreen;

namespace platform {

// When the status item's backend looks at the panel's colours again.
//
// A look costs synchronous round trips to the X server (the tray manager and its colours, the
// icon's place, the screen's pixels), which wake the application and the server alike. The figure
// is redrawn once a minute while a session runs, and a look after each of those draws would
// undo the application's sleep; yet a panel's colour changes only with the desktop's colour
// scheme, the panel's own settings (Xfce's), a change of screens or a new tray. So the panel is
// looked at a moment after the item is first shown, after the item's own changes other than its
// title and tooltip (a user's act, a reminder), after those desktop changes, and after any draw
// while no look has seen the panel yet; never after a draw that only changed the figure.
//
// Main-thread only.
class PanelSampler final : public QObject {
    Q_OBJECT
public:
    // `canLook`: whether there is a panel to look at now; asked only once a look is due, as it may
    // ask the X server. `look`: looks, and says whether it saw the panel (a look that found neither
    // the icon's place nor pixels under it tries again after the next draw).
    PanelSampler(std::function<bool()> canLook, std::function<bool()> look, QObject* parent = nullptr);

    // The item was drawn with this appearance.
    void drawn(const StatusItemAppearance& appearance);
    // Something the panel's colour follows changed (the desktop's colour scheme, the tray or its
    // host): a shown item looks again.
    void panelMayHaveChanged();
    // Whether a look waits for its delay (panelSamplingDelayMilliseconds).
    bool isPending() const { return m_delay.isActive(); }
    // Looks now, as the delay's end does.
    void lookNow();

    // Whether a draw changed more than the title (in either form) and the tooltip.
    static bool changesMoreThanTheTitle(
        const StatusItemAppearance& before, const StatusItemAppearance& after);

private:
    void followScreen(QScreen* screen);
    void lookSoon();

    std::function<bool()> m_canLook;
    std::function<bool()> m_look;
    QTimer m_delay;
    std::optional<StatusItemAppearance> m_drawn;
    // The last look did not see the panel.
    bool m_missed = false;
};

} // namespace platform

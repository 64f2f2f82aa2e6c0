#pragma once

#include "platform/desktop/StatusItem.h"

#include <vector>

namespace platform::fake {

// A status item backend for tests: it keeps every appearance it was asked to draw, answers a
// geometry and availability set by the test, and clicks when told to. Content offsets (the frames
// of a shake) are kept too.
class FakeStatusItemBackend final : public StatusItemBackend {
public:
    void draw(const StatusItemAppearance& appearance) override { m_drawn.push_back(appearance); }
    std::optional<QRect> geometry() const override { return m_geometry; }
    bool isAvailable() const override { return m_available; }
    void setContentOffset(QPointF offset) override { m_offsets.push_back(offset); }
    void setMenu(QMenu* menu, std::function<void()> aboutToShow) override
    {
        m_menu = menu;
        m_aboutToShow = std::move(aboutToShow);
    }
    bool exportsMenu() const override { return m_exportsMenu && m_menu; }
    bool menuRequestIsPrimaryClick() const override { return m_menuRequestIsPrimaryClick; }

    const std::vector<StatusItemAppearance>& drawn() const { return m_drawn; }
    const StatusItemAppearance& lastDrawn() const { return m_drawn.back(); }
    const std::vector<QPointF>& contentOffsets() const { return m_offsets; }
    QPointF contentOffset() const { return m_offsets.empty() ? QPointF() : m_offsets.back(); }

    void setGeometry(std::optional<QRect> geometry) { m_geometry = geometry; }
    void setAvailable(bool available) { m_available = available; }
    void click(Qt::MouseButton button) const { reportClick(button); }
    // The desktop asks for the menu, as a panel's "context menu" request does.
    void requestMenu() const { reportMenuRequest(); }
    // Whether the desktop takes the menu as a panel of D-Bus menus does; off by default.
    void setExportsMenu(bool exports) { m_exportsMenu = exports; }
    // Whether the desktop asks for the menu at a primary click, as for an item that is a menu.
    void setMenuRequestIsPrimaryClick(bool primary) { m_menuRequestIsPrimaryClick = primary; }
    QMenu* menu() const { return m_menu; }
    // What such a panel runs before it shows the menu.
    void prepareMenu() const
    {
        if (m_aboutToShow) {
            m_aboutToShow();
        }
    }

private:
    std::vector<StatusItemAppearance> m_drawn;
    std::vector<QPointF> m_offsets;
    std::optional<QRect> m_geometry;
    bool m_available = true;
    bool m_exportsMenu = false;
    bool m_menuRequestIsPrimaryClick = false;
    QMenu* m_menu = nullptr;
    std::function<void()> m_aboutToShow;
};

} // namespace platform::fake

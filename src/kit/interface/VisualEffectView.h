#pragma once

#include <QColor>
#include <QWidget>

namespace zk {

// A frosted-glass background: a rounded panel, drawn behind other content, of a dark or light
// half-transparent fill that follows the palette, as the desktop's own panels look. With
// `behindWindow` it shows what lies behind the window, which needs a top-level window with a
// translucent background and a compositing desktop; without a compositor the desktop shows the
// panel's fill on black, which stays readable. No blur is drawn: the desktop's compositor, where
// it blurs, does it for the whole window.
//
// Main-thread only.
class VisualEffectView : public QWidget {
public:
    // What the panel is for; each has its own tint and strength.
    enum class Material {
        // Behind content shown over the whole screen, such as a heads-up message.
        fullScreenUI,
        // A heads-up panel: dark whatever the palette.
        hudWindow,
        popover,
        windowBackground,
    };
    // What shows through the panel: the desktop behind the window, or the window's own content.
    // Both draw the same fill; behindWindow is only see-through in a translucent top-level window.
    enum class BlendingMode { behindWindow, withinWindow };
    // Whether the panel looks active (see-through) or inactive (nearly opaque).
    enum class State { followsWindowActiveState, active, inactive };

    explicit VisualEffectView(QWidget* parent = nullptr);

    Material material() const { return m_material; }
    void setMaterial(Material material);
    BlendingMode blendingMode() const { return m_blendingMode; }
    void setBlendingMode(BlendingMode mode);
    State state() const { return m_state; }
    void setState(State state);
    // A stronger tint, for a panel that should stand out.
    bool isEmphasized() const { return m_emphasized; }
    void setEmphasized(bool emphasized);
    double cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(double radius);
    // The opacity the whole panel is drawn at, on top of its fill's own transparency.
    double opacity() const { return m_opacity; }
    void setOpacity(double opacity);

    // Whether the panel draws as active now (for followsWindowActiveState, its window's state).
    bool isActive() const;
    // Whether the dark fill is used: for hudWindow always, else when the palette's window colour
    // is dark.
    bool isDark() const;
    // The colour the panel is filled with at this moment, before `opacity`.
    QColor fillColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Material m_material = Material::windowBackground;
    BlendingMode m_blendingMode = BlendingMode::behindWindow;
    State m_state = State::followsWindowActiveState;
    bool m_emphasized = false;
    double m_cornerRadius = 0;
    double m_opacity = 1;
};

} // namespace zk

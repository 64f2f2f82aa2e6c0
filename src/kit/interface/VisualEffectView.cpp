#include "kit/interface/VisualEffectView.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

// The tints of the dark and light fills: near the desktop's own dark and light window colours.
const QColor darkTint(30, 30, 32);
const QColor lightTint(242, 242, 246);

// How opaque each material's fill is while active; inactive panels are nearly opaque, so that
// their content stays readable over anything.
double activeAlpha(VisualEffectView::Material material)
{
    switch (material) {
    case VisualEffectView::Material::fullScreenUI:
        return 0.78;
    case VisualEffectView::Material::hudWindow:
        return 0.75;
    case VisualEffectView::Material::popover:
        return 0.88;
    case VisualEffectView::Material::windowBackground:
        return 0.94;
    }
    return 0.94;
}
constexpr double inactiveAlpha = 0.97;
constexpr double emphasisAlpha = 0.06;

double clampUnit(double value)
{
    return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 1.0;
}

} // namespace

VisualEffectView::VisualEffectView(QWidget* parent)
    : QWidget(parent)
{
    // A background only: its fill is its whole look, and it never takes the pointer or focus.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void VisualEffectView::setMaterial(Material material)
{
    m_material = material;
    update();
}

void VisualEffectView::setBlendingMode(BlendingMode mode)
{
    m_blendingMode = mode;
    update();
}

void VisualEffectView::setState(State state)
{
    m_state = state;
    update();
}

void VisualEffectView::setEmphasized(bool emphasized)
{
    m_emphasized = emphasized;
    update();
}

void VisualEffectView::setCornerRadius(double radius)
{
    m_cornerRadius = std::isfinite(radius) ? std::max(radius, 0.0) : 0.0;
    update();
}

void VisualEffectView::setOpacity(double opacity)
{
    m_opacity = clampUnit(opacity);
    update();
}

bool VisualEffectView::isActive() const
{
    switch (m_state) {
    case State::active:
        return true;
    case State::inactive:
        return false;
    case State::followsWindowActiveState:
        return isActiveWindow();
    }
    return true;
}

bool VisualEffectView::isDark() const
{
    return m_material == Material::hudWindow || palette().color(QPalette::Window).lightnessF() < 0.5;
}

QColor VisualEffectView::fillColor() const
{
    QColor fill = isDark() ? darkTint : lightTint;
    double alpha = isActive() ? activeAlpha(m_material) : inactiveAlpha;
    if (m_emphasized) {
        alpha += emphasisAlpha;
    }
    fill.setAlphaF(static_cast<float>(clampUnit(alpha)));
    return fill;
}

void VisualEffectView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    QPainterPath panel;
    const double radius = std::min({ m_cornerRadius, width() / 2.0, height() / 2.0 });
    panel.addRoundedRect(QRectF(rect()), radius, radius);
    painter.fillPath(panel, fillColor());
}

void VisualEffectView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ActivationChange) {
        update();
    }
}

} // namespace zk

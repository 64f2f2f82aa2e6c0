#include "app/reminders/HeartView.h"

#include "platform/async/Sleep.h"

#include <QColor>
#include <QGraphicsDropShadowEffect>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace kiruvo {

namespace {
// The heart is a little less tall than wide.
constexpr double heartAspect = 0.9;
// Qt's blur radius spreads about half as far as the same number as a shadow radius.
constexpr double blurPerShadowRadius = 2.0;
const QColor ownTopColor(255, 92, 138);
const QColor ownBottomColor(230, 20, 70);

QColor saturated(const QColor& color, double factor)
{
    float hue = 0;
    float saturation = 0;
    float value = 0;
    float alpha = 0;
    color.getHsvF(&hue, &saturation, &value, &alpha);
    return QColor::fromHsvF(hue, static_cast<float>(std::clamp(saturation * factor, 0.0, 1.0)), value, alpha);
}

double finiteOr(double value, double fallback)
{
    return std::isfinite(value) ? value : fallback;
}
} // namespace

void HeartView::setSaturation(double factor)
{
    m_saturation = std::max(finiteOr(factor, 1.0), 0.0);
    update();
}

void HeartView::setOpacity(double opacity)
{
    m_opacity = std::clamp(finiteOr(opacity, 1.0), 0.0, 1.0);
    update();
}

QColor HeartView::topColor() const
{
    return saturated(ownTopColor, m_saturation);
}

QColor HeartView::bottomColor() const
{
    return saturated(ownBottomColor, m_saturation);
}

double HeartView::scale(Size size)
{
    switch (size) {
    case Size::small:
        return 1.1;
    case Size::normal:
        return 1.25;
    case Size::large:
        return 1.35;
    }
    return 1.25;
}

std::vector<HeartView::BeatStep> HeartView::beatSteps(double beatLength, double beatDelay)
{
    const double l = beatLength;
    return {
        { Size::large, l * 0.25, false, l * 0.3 },
        { Size::small, l * 0.5, false, l * 0.25 },
        { Size::normal, l * 0.25, false, l * 0.25 },
        { Size::large, l * 0.25, false, l * 0.3 },
        { Size::small, springDuration, true, beatDelay },
    };
}

HeartView::HeartView(QWidget* parent, platform::combine::Scheduler& scheduler)
    : QWidget(parent)
    , m_scheduler(&scheduler)
    , m_shadow(new QGraphicsDropShadowEffect(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_shadow->setColor(QColor(0, 0, 0, static_cast<int>(std::lround(0.33 * 255))));
    m_shadow->setOffset(0, 0);
    m_shadow->setBlurRadius(shadowRadius() * blurPerShadowRadius);
    setGraphicsEffect(m_shadow);
    m_animation.setStartValue(m_currentScale);
    m_animation.setEndValue(m_currentScale);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_currentScale = value.toDouble();
        update();
    });
}

HeartView::~HeartView()
{
    stopBeating();
}

QSize HeartView::sizeHint() const
{
    // Room for the largest beat and its shadow.
    const int side
        = static_cast<int>(std::ceil(heartWidth * scale(Size::large) + 2 * 8 * blurPerShadowRadius / 2));
    return { side, side };
}

void HeartView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!isBeating()) {
        m_task = platform::async::TaskHandle::start([this](std::stop_token token) -> QCoro::Task<void> {
            // The view may be gone before the task's first turn.
            if (!token.stop_requested()) {
                co_await beat(token);
            }
        });
    }
}

void HeartView::hideEvent(QHideEvent* event)
{
    stopBeating();
    QWidget::hideEvent(event);
}

void HeartView::stopBeating()
{
    if (m_task) {
        m_task.cancel();
        m_task = {};
    }
    m_animation.stop();
}

QCoro::Task<void> HeartView::beat(std::stop_token token)
{
    // After every wait only the token is looked at before anything else: a hidden or destroyed
    // view cancels it, and then nothing of the view may be touched.
    while (!token.stop_requested()) {
        for (std::size_t index = 0; index < 5; ++index) {
            // The timings are read afresh at every step.
            const auto step = beatSteps(m_beatLength, m_beatDelay)[index];
            animateTo(step.target, step.animationDuration, step.spring);
            const bool elapsed = co_await platform::async::sleepFor(step.wait, token, *m_scheduler);
            if (!elapsed || token.stop_requested()) {
                co_return;
            }
        }
    }
}

void HeartView::animateTo(Size target, double duration, bool spring)
{
    m_size = target;
    m_shadow->setBlurRadius(shadowRadius() * blurPerShadowRadius);
    m_animation.stop();
    m_animation.setStartValue(m_currentScale);
    m_animation.setEndValue(scale(target));
    m_animation.setDuration(static_cast<int>(std::lround(duration * 1000)));
    if (spring) {
        // A spring that overshoots a little and settles, like a relaxed heart.
        QEasingCurve curve(QEasingCurve::OutBack);
        curve.setOvershoot(1.2);
        m_animation.setEasingCurve(curve);
    } else {
        m_animation.setEasingCurve(QEasingCurve::Linear);
    }
    m_animation.start();
}

QPainterPath HeartView::heartPath(const QRectF& bounds)
{
    const double w = bounds.width();
    const double h = bounds.height();
    const double x = bounds.left();
    const double y = bounds.top();
    QPainterPath path;
    path.moveTo(x + w * 0.5, y + h);
    path.cubicTo(x + w * 0.2, y + h * 0.78, x, y + h * 0.55, x, y + h * 0.3);
    path.cubicTo(x, y + h * 0.1, x + w * 0.14, y, x + w * 0.28, y);
    path.cubicTo(x + w * 0.4, y, x + w * 0.47, y + h * 0.08, x + w * 0.5, y + h * 0.18);
    path.cubicTo(x + w * 0.53, y + h * 0.08, x + w * 0.6, y, x + w * 0.72, y);
    path.cubicTo(x + w * 0.86, y, x + w, y + h * 0.1, x + w, y + h * 0.3);
    path.cubicTo(x + w, y + h * 0.55, x + w * 0.8, y + h * 0.78, x + w * 0.5, y + h);
    path.closeSubpath();
    return path;
}

void HeartView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double width = heartWidth * m_currentScale;
    const double height = width * heartAspect;
    const QRectF bounds((this->width() - width) / 2.0, (this->height() - height) / 2.0, width, height);
    painter.setOpacity(m_opacity);
    QLinearGradient fill(bounds.topLeft(), bounds.bottomLeft());
    fill.setColorAt(0, topColor());
    fill.setColorAt(1, bottomColor());
    painter.fillPath(heartPath(bounds), fill);
}

} // namespace kiruvo

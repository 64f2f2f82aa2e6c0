#include "app/reminders/HeartView.h"

#include "kit/interface/AnimationDriver.h"
#include "platform/async/Sleep.h"
#include "platform/desktop/ReduceMotion.h"

#include <QColor>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QImage>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace kiruvo {

namespace {
// The heart is a little less tall than wide.
constexpr double heartAspect = 0.9;
// Qt's blur radius spreads about half as far as the same number as a shadow radius.
constexpr double blurPerShadowRadius = 2.0;
const QColor ownTopColor(255, 92, 138);
const QColor ownBottomColor(230, 20, 70);
const QColor shadowColor(0, 0, 0, static_cast<int>(std::lround(0.33 * 255)));
// A spring has come to rest once its swing stays within a device pixel.
constexpr double restingPixels = 1.0;
// The tallest band of device rows drawn in one go (see paintEvent).
constexpr int bandDeviceRows = 64;
// What a screen without a known refresh rate is taken to refresh at.
constexpr double usualRefreshRate = 60;

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

std::size_t indexOf(HeartView::Size size)
{
    return static_cast<std::size_t>(size);
}

// The fourth picture, after one for each size.
constexpr std::size_t movingPicture = 3;

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

HeartView::HeartView(QWidget* parent, const zk::TimerSource& source)
    : QWidget(parent)
    , m_source(source.scheduler ? source : zk::TimerSource::main())
    , m_motion(HeartMotion::linear(scale(Size::normal), scale(Size::normal), 0, 0))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

HeartView::~HeartView()
{
    stopBeating();
}

QSize HeartView::sizeHint() const
{
    // Room for the largest beat and the whole of its shadow, which spreads about as far as its
    // blur radius.
    const int side
        = static_cast<int>(std::ceil(heartWidth * scale(Size::large) + 2 * 8 * blurPerShadowRadius));
    return { side, side };
}

void HeartView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Exposure told before this showing says nothing of it.
    ++m_showings;
    m_exposureCheckPending = false;
    watchExposure();
    startBeating();
}

void HeartView::watchExposure()
{
    QWindow* shownIn = window()->windowHandle();
    if (shownIn == m_exposure) {
        return;
    }
    if (m_exposure) {
        m_exposure->removeEventFilter(this);
    }
    m_exposure = shownIn;
    if (m_exposure) {
        m_exposure->installEventFilter(this);
    }
}

bool HeartView::eventFilter(QObject* watched, QEvent* event)
{
    // A window manager that unmaps a window (another workspace) takes it off the screen without
    // hiding its widgets: only the window's exposure tells. A window hidden and shown again at once
    // still has the end of its first showing to tell, so the exposure is read once every waiting
    // event has been told.
    if (watched == m_exposure && event->type() == QEvent::Expose && !m_exposureCheckPending) {
        m_exposureCheckPending = true;
        QMetaObject::invokeMethod(
            this,
            [this, showing = m_showings] {
                if (showing != m_showings) {
                    return;
                }
                m_exposureCheckPending = false;
                if (!isVisible() || !m_exposure) {
                    return;
                }
                if (!m_exposure->isExposed()) {
                    stopBeating();
                } else if (!isBeating()) {
                    startBeating();
                }
            },
            Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void HeartView::startBeating()
{
    if (platform::ReduceMotion::isEnabled()) {
        rest(Size::normal);
        return;
    }
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
    m_frame = {};
    m_moving = false;
}

void HeartView::rest(Size size)
{
    stopBeating();
    m_size = size;
    m_currentScale = scale(size);
    m_motion = HeartMotion::linear(m_currentScale, m_currentScale, m_source.now(), 0);
    update();
}

QCoro::Task<void> HeartView::beat(std::stop_token token)
{
    // After every wait only the token is looked at before anything else: a hidden or destroyed
    // view cancels it, and then nothing of the view may be touched.
    while (!token.stop_requested()) {
        for (std::size_t index = 0; index < 5; ++index) {
            if (platform::ReduceMotion::isEnabled()) {
                // The desktop asked for stillness meanwhile: the heart stops where a beat starts.
                m_task = {};
                rest(Size::normal);
                co_return;
            }
            // The timings are read afresh at every step.
            const auto step = beatSteps(m_beatLength, m_beatDelay)[index];
            animateTo(step.target, step.animationDuration, step.spring);
            const bool elapsed = co_await platform::async::sleepFor(step.wait, token, *m_source.scheduler);
            if (!elapsed || token.stop_requested()) {
                co_return;
            }
        }
    }
}

void HeartView::animateTo(Size target, double duration, bool spring)
{
    const double now = m_source.now();
    // A movement still under way hands its place and speed on to the next.
    const double from = m_motion.value(now);
    const double velocity = m_motion.velocity(now);
    const Size shown = m_size;
    m_size = target;
    m_motion = spring ? HeartMotion::spring(from, scale(target), now, velocity)
                      : HeartMotion::linear(from, scale(target), now, duration);
    if (shown != target && (shown == Size::large || target == Size::large)) {
        // The shadow's size changes with the picture.
        redraw(shown, m_currentScale);
        redraw(target, from);
    }
    m_currentScale = from;
    scheduleFrame(nextFrameDelay(now));
}

double HeartView::frameInterval() const
{
    // The screen's refresh rate, and no faster than the application's other animations.
    const QScreen* shownOn = screen();
    const double rate = shownOn && shownOn->refreshRate() > 1 ? shownOn->refreshRate() : usualRefreshRate;
    return 1.0 / std::min(rate, zk::AnimationDriver::maximumRate);
}

double HeartView::devicePixelsPerScale() const
{
    return heartWidth * devicePixelRatioF();
}

void HeartView::scheduleFrame(double delay)
{
    m_moving = true;
    m_frame = m_source.scheduler->schedule(delay, [this] { drawFrame(); });
}

void HeartView::drawFrame()
{
    m_moving = false;
    const double now = m_source.now();
    const double pixels = devicePixelsPerScale();
    const bool atRest = m_motion.isAtRest(now, restingPixels / pixels);
    const double value = atRest ? m_motion.to : m_motion.value(now);
    if (value != m_currentScale) {
        redraw(m_size, m_currentScale);
        m_currentScale = value;
        redraw(m_size, m_currentScale);
        ++m_framesDrawn;
    }
    if (atRest) {
        return;
    }
    scheduleFrame(nextFrameDelay(now));
}

double HeartView::nextFrameDelay(double now) const
{
    // The next frame comes when the edges (half the width's change each) will have moved a pixel;
    // a spring speeds up from rest, so its speed a few frames on counts too.
    const double refresh = frameInterval();
    const double speed
        = std::max(std::abs(m_motion.velocity(now)), std::abs(m_motion.velocity(now + 3 * refresh)));
    const double edgeSpeed = speed * devicePixelsPerScale() / 2;
    const double step
        = std::clamp(edgeSpeed > 0 ? pixelsPerFrame / edgeSpeed : longestFrameGap, refresh, longestFrameGap);
    if (m_motion.curve != HeartMotion::Curve::linear) {
        return step;
    }
    // A line's frames are spread evenly, the last at its very end.
    const double remaining = m_motion.end() - now;
    if (remaining <= 0) {
        return refresh;
    }
    const double frames = std::max(1.0, std::floor(remaining / step));
    return std::max(remaining / frames, refresh);
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

const HeartView::Picture& HeartView::picture(Size size, double devicePixelRatio) const
{
    return picture(indexOf(size), devicePixelRatio);
}

std::size_t HeartView::pictureFor(Size size, double shownScale)
{
    // At rest the picture of the size itself; moving, a larger one made smaller, which stays
    // sharper than a smaller one made larger.
    if (size == Size::large || shownScale == scale(size)) {
        return indexOf(size);
    }
    return movingPicture;
}

const HeartView::Picture& HeartView::picture(std::size_t index, double devicePixelRatio) const
{
    // Every heart with the same colours on screens of the same scale shares its pictures: a new
    // reminder's heart draws nothing anew.
    static std::map<std::tuple<std::size_t, double, double, double>, Picture> pictures;
    Picture& kept = pictures[{ index, devicePixelRatio, m_saturation, m_opacity }];
    if (!kept.pixmap.isNull()) {
        return kept;
    }
    // The moving picture has the largest shape with the shadow of the other sizes.
    const Size shape = index == movingPicture ? Size::large : static_cast<Size>(index);
    const bool largeShadow = index == indexOf(Size::large);
    const QSize side = sizeHint();
    const QSize pixels(static_cast<int>(std::ceil(side.width() * devicePixelRatio)),
        static_cast<int>(std::ceil(side.height() * devicePixelRatio)));

    // The heart alone...
    QImage heart(pixels, QImage::Format_ARGB32_Premultiplied);
    heart.setDevicePixelRatio(devicePixelRatio);
    heart.fill(Qt::transparent);
    {
        QPainter painter(&heart);
        painter.setRenderHint(QPainter::Antialiasing);
        const double width = heartWidth * scale(shape);
        const double height = width * heartAspect;
        const QRectF bounds((side.width() - width) / 2.0, (side.height() - height) / 2.0, width, height);
        painter.setOpacity(m_opacity);
        QLinearGradient fill(bounds.topLeft(), bounds.bottomLeft());
        fill.setColorAt(0, topColor());
        fill.setColorAt(1, bottomColor());
        painter.fillPath(heartPath(bounds), fill);
    }

    // ...then under it its shadow, blurred once here by Qt's own drop shadow.
    QGraphicsScene scene;
    auto* item = scene.addPixmap(QPixmap::fromImage(heart));
    auto* shadow = new QGraphicsDropShadowEffect;
    shadow->setColor(shadowColor);
    shadow->setOffset(0, 0);
    shadow->setBlurRadius((largeShadow ? 8 : 4) * blurPerShadowRadius);
    item->setGraphicsEffect(shadow);
    QImage result(pixels, QImage::Format_ARGB32_Premultiplied);
    result.setDevicePixelRatio(devicePixelRatio);
    result.fill(Qt::transparent);
    {
        QPainter painter(&result);
        const QRectF area(QPointF(0, 0), QSizeF(side));
        scene.render(&painter, area, area);
    }

    // Only what shows is kept, so that a frame repaints no more than that.
    int top = result.height();
    int bottom = -1;
    int left = result.width();
    int right = -1;
    for (int y = 0; y < result.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(result.constScanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            if (qAlpha(line[x]) != 0) {
                top = std::min(top, y);
                bottom = y;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    if (bottom < 0) {
        top = bottom = left = right = 0;
    }
    const QRect shown(QPoint(left, top), QPoint(right, bottom));
    QImage cut = result.copy(shown);
    cut.setDevicePixelRatio(devicePixelRatio);
    kept.pixmap = QPixmap::fromImage(cut);
    kept.area = QRectF(QPointF(shown.topLeft()) / devicePixelRatio, QSizeF(shown.size()) / devicePixelRatio);
    return kept;
}

QRectF HeartView::drawnArea(Size size, double scale) const
{
    const std::size_t index = pictureFor(size, scale);
    const QRectF area = picture(index, devicePixelRatioF()).area;
    const double factor = scale / HeartView::scale(index == movingPicture ? Size::large : size);
    const QPointF canvasCentre = QRectF(QPointF(0, 0), QSizeF(sizeHint())).center();
    const QPointF viewCentre = QRectF(rect()).center();
    return QRectF(viewCentre + (area.topLeft() - canvasCentre) * factor, area.size() * factor);
}

void HeartView::redraw(Size size, double scale)
{
    // The area left and the area entered, with a pixel for the smoothing at the edges.
    update(drawnArea(size, scale).toAlignedRect().adjusted(-1, -1, 1, 1));
}

void HeartView::paintEvent(QPaintEvent* event)
{
    const double ratio = devicePixelRatioF();
    const Picture& shown = picture(pictureFor(m_size, m_currentScale), ratio);
    const QRectF target = drawnArea(m_size, m_currentScale);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, target.size() != shown.area.size());
    // Drawn in bands of a few dozen device rows: Qt hands fills taller than about a hundred rows
    // to a pool of threads, which costs more wake-ups than a heart's frame is worth.
    const QRect dirty = event->rect() & target.toAlignedRect();
    const int bandRows = std::max(1, static_cast<int>(std::floor(bandDeviceRows / ratio)));
    for (int top = dirty.top(); top <= dirty.bottom(); top += bandRows) {
        painter.setClipRect(
            QRect(dirty.left(), top, dirty.width(), std::min(bandRows, dirty.bottom() + 1 - top)));
        painter.drawPixmap(target, shown.pixmap, QRectF(shown.pixmap.rect()));
    }
}

} // namespace kiruvo

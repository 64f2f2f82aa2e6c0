#include "platform/desktop/StatusItem.h"

#include "platform/desktop/ReduceMotion.h"

#include <QEasingCurve>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QVariantAnimation>

#include <cmath>

namespace platform {

QColor contrastingColor(const QColor& background)
{
    // Relative luminance with the sRGB weights; the panel's own transparency does not count.
    const double luminance
        = 0.2126 * background.redF() + 0.7152 * background.greenF() + 0.0722 * background.blueF();
    return luminance > 0.5 ? QColor(Qt::black) : QColor(Qt::white);
}

namespace {

double relativeLuminance(const QColor& color)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b)
{
    const double first = relativeLuminance(a);
    const double second = relativeLuminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

std::optional<QColor> panelTextColor(const PanelColours& colours)
{
    const auto readableOn = [](const std::optional<QColor>& foreground, const QColor& background) {
        return foreground && contrastRatio(*foreground, background) >= readableContrast
            ? *foreground
            : contrastingColor(background);
    };
    // The configuration first: where it is known, the screen is not the bar's (Xwayland's).
    if (colours.configuredBackground) {
        return readableOn(colours.configuredForeground, *colours.configuredBackground);
    }
    if (colours.background) {
        return readableOn(colours.trayForeground, *colours.background);
    }
    if (colours.trayForeground) {
        return *colours.trayForeground;
    }
    if (colours.schemeBackground) {
        return contrastingColor(*colours.schemeBackground);
    }
    return std::nullopt;
}

StatusItem::StatusItem(std::unique_ptr<StatusItemBackend> backend, QObject* parent)
    : QObject(parent)
    , m_backend(std::move(backend))
    , m_screens(currentScreens)
    , m_modifiers([] { return QGuiApplication::queryKeyboardModifiers(); })
{
    m_backend->setClickHandler([this](Qt::MouseButton button) { onClick(button); });
    m_backend->setMenuRequestHandler([this] { onMenuRequest(); });
    redraw();
}

StatusItem::~StatusItem()
{
    // The animation is a child and would outlive the backend it draws through.
    delete m_shakeAnimation;
    m_shakeAnimation = nullptr;
    m_backend->setClickHandler({});
    m_backend->setMenuRequestHandler({});
    m_backend->setMenu(nullptr, {});
}

void StatusItem::setAppearance(const StatusItemAppearance& appearance)
{
    if (appearance == m_appearance) {
        return;
    }
    m_appearance = appearance;
    redraw();
}

void StatusItem::setImage(const QImage& image)
{
    StatusItemAppearance changed = m_appearance;
    changed.image = image;
    setAppearance(changed);
}

void StatusItem::setTitle(const QString& title)
{
    StatusItemAppearance changed = m_appearance;
    changed.title = title;
    setAppearance(changed);
}

void StatusItem::setTitle(const QString& title, std::optional<double> baselineOffset)
{
    StatusItemAppearance changed = m_appearance;
    changed.title = title;
    changed.titleBaselineOffset = baselineOffset;
    setAppearance(changed);
}

void StatusItem::setDimmed(bool dimmed)
{
    StatusItemAppearance changed = m_appearance;
    changed.dimmed = dimmed;
    setAppearance(changed);
}

void StatusItem::setTint(std::optional<QColor> tint)
{
    StatusItemAppearance changed = m_appearance;
    changed.tint = tint;
    setAppearance(changed);
}

void StatusItem::setVisible(bool visible)
{
    StatusItemAppearance changed = m_appearance;
    changed.visible = visible;
    setAppearance(changed);
}

bool StatusItem::isShownOnScreen() const
{
    return m_appearance.visible && m_backend->isAvailable();
}

QRect StatusItem::anchorRect() const
{
    if (const auto geometry = m_backend->geometry();
        geometry && geometry->isValid() && !geometry->isEmpty()) {
        return *geometry;
    }
    return defaultTrayAnchor(m_screens(), QGuiApplication::layoutDirection());
}

void StatusItem::setScreensSource(std::function<Screens()> source)
{
    m_screens = source ? std::move(source) : currentScreens;
}

void StatusItem::setModifierSource(std::function<Qt::KeyboardModifiers()> source)
{
    m_modifiers = source ? std::move(source) : [] { return QGuiApplication::queryKeyboardModifiers(); };
}

void StatusItem::shake(double duration, double distance, bool vertical)
{
    if (ReduceMotion::isEnabled()) {
        return;
    }
    if (!std::isfinite(duration) || duration <= 0 || !std::isfinite(distance)) {
        return;
    }
    if (m_shakeAnimation == nullptr) {
        m_shakeAnimation = new QVariantAnimation(this);
        // The platform's ease-in-ease-out timing curve.
        QEasingCurve easeInOut(QEasingCurve::BezierSpline);
        easeInOut.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
        m_shakeAnimation->setEasingCurve(easeInOut);
        connect(m_shakeAnimation, &QVariantAnimation::finished, this, [this] { setShakeOffset(QPointF()); });
    }
    m_shakeAnimation->stop();
    disconnect(m_shakeAnimation, &QVariantAnimation::valueChanged, this, nullptr);
    m_shakeAnimation->setDuration(std::max(1, static_cast<int>(std::lround(duration * 1000.0))));
    m_shakeAnimation->setKeyValues({
        { 0.0, -distance },
        { 0.25, distance },
        { 0.5, -distance / 2 },
        { 0.75, distance / 2 },
        { 1.0, 0.0 },
    });
    connect(
        m_shakeAnimation, &QVariantAnimation::valueChanged, this, [this, vertical](const QVariant& value) {
            const double along = value.toDouble();
            setShakeOffset(vertical ? QPointF(0, along) : QPointF(along, 0));
        });
    m_shakeAnimation->start();
    // The first frame is drawn at once, also when it equals the value left by an earlier shake.
    const double first = m_shakeAnimation->currentValue().toDouble();
    setShakeOffset(vertical ? QPointF(0, first) : QPointF(first, 0));
}

void StatusItem::setShakeOffset(QPointF offset)
{
    if (offset == m_shakeOffset) {
        return;
    }
    m_shakeOffset = offset;
    m_backend->setContentOffset(offset);
}

void StatusItem::setClickInterceptor(ClickInterceptor interceptor)
{
    m_clickInterceptor = std::move(interceptor);
}

void StatusItem::performClick()
{
    emit clicked(Qt::LeftButton, Qt::NoModifier);
}

void StatusItem::onClick(Qt::MouseButton button)
{
    if (m_clickInterceptor && button == Qt::LeftButton) {
        // A copy: the interceptor commonly removes itself.
        const auto interceptor = m_clickInterceptor;
        const QPointer<StatusItem> self(this);
        interceptor([self] {
            if (self) {
                self->performClick();
            }
        });
        return;
    }
    emit clicked(button, m_modifiers());
}

void StatusItem::onMenuRequest()
{
    if (m_clickInterceptor && m_backend->menuRequestIsPrimaryClick()) {
        const auto interceptor = m_clickInterceptor;
        const QPointer<StatusItem> self(this);
        interceptor([self] {
            if (self) {
                emit self->menuRequested();
            }
        });
        return;
    }
    emit menuRequested();
}

void StatusItem::redraw()
{
    m_backend->draw(m_appearance);
}

} // namespace platform

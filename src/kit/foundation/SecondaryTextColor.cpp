#include "kit/foundation/SecondaryTextColor.h"

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

double linearComponent(double value)
{
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double relativeLuminance(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return 0.2126 * linearComponent(rgb.redF()) + 0.7152 * linearComponent(rgb.greenF())
        + 0.0722 * linearComponent(rgb.blueF());
}

QColor mix(const QColor& from, const QColor& to, double amount)
{
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    const auto blend = [amount](double x, double y) { return static_cast<float>(x + (y - x) * amount); };
    return QColor::fromRgbF(
        blend(a.redF(), b.redF()), blend(a.greenF(), b.greenF()), blend(a.blueF(), b.blueF()));
}

// How far toward the background secondary text goes when the contrast allows it.
constexpr double preferredFade = 0.4;
constexpr int fadeSteps = 40;

void applySecondaryColors(QWidget& widget)
{
    // The palette the widget would have without ours: its parent's, else the application's.
    const QPalette base
        = widget.parentWidget() ? widget.parentWidget()->palette() : QApplication::palette(&widget);
    widget.setPalette(secondaryTextPalette(base));
}

// Renews the colours when the scheme changes under an open window.
class SchemeFollower : public QObject {
public:
    explicit SchemeFollower(QWidget& widget)
        : QObject(&widget)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A new scheme reaches a widget with a palette of its own as a palette change from its
        // parent (or, for a window, as the application's). Setting the same palette again sends
        // no further change, so this settles after one round.
        const QEvent::Type type = event->type();
        if (type == QEvent::ApplicationPaletteChange || type == QEvent::PaletteChange
            || type == QEvent::ParentChange) {
            if (auto* widget = qobject_cast<QWidget*>(watched)) {
                // After the parents have taken the new palette, which they do in no fixed order.
                QMetaObject::invokeMethod(
                    widget, [widget] { applySecondaryColors(*widget); }, Qt::QueuedConnection);
            }
        }
        return false;
    }
};

} // namespace

double contrastRatio(const QColor& first, const QColor& second)
{
    const double a = relativeLuminance(first);
    const double b = relativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor secondaryTextColor(const QPalette& palette, QPalette::ColorRole text, QPalette::ColorRole background,
    QPalette::ColorGroup group)
{
    const QColor foreground = palette.color(group, text);
    const QColor behind = palette.color(group, background);
    for (int step = fadeSteps; step > 0; --step) {
        const QColor candidate = mix(foreground, behind, preferredFade * step / fadeSteps);
        if (contrastRatio(candidate, behind) >= minimumSecondaryTextContrast) {
            return candidate;
        }
    }
    // A scheme whose own text is already faint: nothing fainter is readable.
    return foreground.toRgb();
}

QPalette secondaryTextPalette(const QPalette& base)
{
    QPalette palette = base;
    for (const QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive }) {
        palette.setColor(group, QPalette::WindowText,
            secondaryTextColor(base, QPalette::WindowText, QPalette::Window, group));
        palette.setColor(
            group, QPalette::Text, secondaryTextColor(base, QPalette::Text, QPalette::Base, group));
    }
    // Marks the disabled colours as set too, so that they stay the scheme's own.
    palette.setColor(
        QPalette::Disabled, QPalette::WindowText, base.color(QPalette::Disabled, QPalette::WindowText));
    palette.setColor(QPalette::Disabled, QPalette::Text, base.color(QPalette::Disabled, QPalette::Text));
    return palette;
}

void useSecondaryTextColor(QWidget& widget)
{
    applySecondaryColors(widget);
    if (!widget.findChild<SchemeFollower*>(QString(), Qt::FindDirectChildrenOnly)) {
        widget.installEventFilter(new SchemeFollower(widget));
    }
}

} // namespace zk

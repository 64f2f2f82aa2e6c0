#include "kit/interface/CocoaButton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QShortcut>

#include <algorithm>

namespace zk {

QString CocoaButton::rawValue(KeyEquivalent key)
{
    return key == KeyEquivalent::escape ? QStringLiteral("\x1b") : QStringLiteral("\r");
}

std::optional<CocoaButton::KeyEquivalent> CocoaButton::keyEquivalentFromRawValue(const QString& raw)
{
    if (raw == rawValue(KeyEquivalent::escape)) {
        return KeyEquivalent::escape;
    }
    if (raw == rawValue(KeyEquivalent::return_)) {
        return KeyEquivalent::return_;
    }
    return std::nullopt;
}

QColor CocoaButton::destructiveColor()
{
    QColor red = QColor(255, 59, 48).toHsv();
    red.setHsvF(red.hsvHueF(), red.hsvSaturationF() * 0.7, red.valueF(), red.alphaF());
    return red.toRgb();
}

CocoaButton::CocoaButton(QWidget* parent)
    : CocoaButton(Configuration(), parent)
{
}

CocoaButton::CocoaButton(const Configuration& configuration, QWidget* parent)
    : QPushButton(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QPushButton::clicked, this, [this] {
        if (m_action) {
            auto action = m_action;
            action();
        }
    });
    update(configuration);
}

void CocoaButton::update(const Configuration& configuration)
{
    if (!configuration.attributedTitle) {
        setText(configuration.title.value_or(QString()));
        if (!configuration.title) {
            setTitleColor(QColor());
        }
    }
    if (!configuration.title) {
        const auto attributed = configuration.attributedTitle.value_or(AttributedTitle {});
        setText(attributed.text);
        setTitleColor(attributed.color);
    }
    setSizePolicy(
        configuration.isResizable ? QSizePolicy::Preferred : QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_keyEquivalent = configuration.keyEquivalent;
    setDefault(m_keyEquivalent == KeyEquivalent::return_);
    // The key presses the button anywhere in its window.
    delete m_shortcut;
    m_shortcut = nullptr;
    if (m_keyEquivalent) {
        m_shortcut = new QShortcut(
            QKeySequence(m_keyEquivalent == KeyEquivalent::escape ? Qt::Key_Escape : Qt::Key_Return), this);
        connect(m_shortcut, &QShortcut::activated, this, [this] {
            if (isEnabled()) {
                click();
            }
        });
    }
    setBezelStyle(configuration.bezelStyle);
    if (configuration.hasDestructiveAction && !configuration.attributedTitle) {
        setTitleColor(destructiveColor());
    } else if (!configuration.hasDestructiveAction && configuration.title && !configuration.attributedTitle) {
        setTitleColor(QColor());
    }
    if (configuration.controlSize) {
        QFont font = QApplication::font();
        const double base = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
        switch (*configuration.controlSize) {
        case ControlSize::mini:
            font.setPointSizeF(base * 9.0 / 13.0);
            break;
        case ControlSize::small:
            font.setPointSizeF(base * 11.0 / 13.0);
            break;
        case ControlSize::regular:
            break;
        case ControlSize::large:
            font.setPointSizeF(base * 15.0 / 13.0);
            break;
        }
        setFont(font);
    }
    m_action = configuration.action;
}

void CocoaButton::setBezelStyle(BezelStyle style)
{
    m_bezelStyle = style;
    setFlat(style != BezelStyle::rounded);
    if (style == BezelStyle::helpButton) {
        // Round and as wide as it is high, with its question mark when it has no title.
        if (text().isEmpty()) {
            setText(QStringLiteral("?"));
        }
        setAccessibleName(tr("Help"));
        const int side = std::max(sizeHint().height(), fontMetrics().height() + 6);
        setFixedSize(side, side);
        setStyleSheet(QStringLiteral("border-radius: %1px;").arg(side / 2));
    } else {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setStyleSheet(QString());
    }
}

void CocoaButton::setTitleColor(const QColor& color)
{
    m_titleColor = color;
    QPalette palette = QApplication::palette(this);
    if (color.isValid()) {
        palette.setColor(QPalette::ButtonText, color);
    }
    setPalette(palette);
}

} // namespace zk

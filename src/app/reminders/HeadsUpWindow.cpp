#include "app/reminders/HeadsUpWindow.h"

#include "app/engine/SharedFormatters.h"
#include "app/reminders/HeartView.h"
#include "kit/foundation/core/Duration.h"
#include "kit/interface/VisualEffectView.h"
#include "platform/desktop/ReduceMotion.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kiruvo {

namespace {

zk::Duration& sharedDuration()
{
    static zk::Duration duration;
    return duration;
}

std::vector<QPointer<HeadsUpWindow>>& openList()
{
    static std::vector<QPointer<HeadsUpWindow>> windows;
    return windows;
}

constexpr double backgroundOpacity = 0.9;
constexpr double heartSaturation = 1.5;
constexpr double heartOpacity = 0.8;
constexpr int groupOffset = 20;
constexpr int textSpacing = 8;
constexpr double durationFontScale = 1.3;

} // namespace

QRect HeadsUpWindow::frameFor(const QRect& availableGeometry, QSize size)
{
    const double centreX = availableGeometry.x() + availableGeometry.width() / 2.0;
    const double centreY = availableGeometry.y() + availableGeometry.height() / 2.0;
    // Upward is towards smaller y here.
    const double top = centreY - size.height() / 2.0 - availableGeometry.height() * raiseFraction;
    const double left = centreX - size.width() / 2.0;
    return QRect(
        static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top)), size.width(), size.height());
}

zk::Duration HeadsUpWindow::duration()
{
    return sharedDuration();
}

void HeadsUpWindow::showOnAllScreens(const zk::Duration& duration)
{
    sharedDuration() = duration;
    closeAll();
    for (QScreen* screen : QGuiApplication::screens()) {
        show(screen);
    }
}

void HeadsUpWindow::closeAll()
{
    for (const auto& window : openWindows()) {
        window->fadeOutAndClose();
    }
}

HeadsUpWindow* HeadsUpWindow::show(QScreen* screen)
{
    auto* window = new HeadsUpWindow(screen);
    openList().emplace_back(window);
    window->fadeIn();
    return window;
}

std::vector<HeadsUpWindow*> HeadsUpWindow::openWindows()
{
    auto& list = openList();
    list.erase(std::remove_if(list.begin(), list.end(), [](const auto& window) { return window.isNull(); }),
        list.end());
    std::vector<HeadsUpWindow*> result;
    for (const auto& window : list) {
        result.push_back(window.data());
    }
    return result;
}

HeadsUpWindow::HeadsUpWindow(QScreen* screen)
    : QWidget(nullptr,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput
            | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint)
    , m_background(new zk::VisualEffectView(this))
    , m_heart(new HeartView(this))
    , m_durationLabel(new QLabel(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Kiruvo"));

    // Frosted glass behind everything, outside the layout.
    m_background->setMaterial(zk::VisualEffectView::Material::fullScreenUI);
    m_background->setBlendingMode(zk::VisualEffectView::BlendingMode::behindWindow);
    m_background->setState(zk::VisualEffectView::State::active);
    m_background->setEmphasized(true);
    m_background->setCornerRadius(cornerRadius);
    m_background->setOpacity(backgroundOpacity);
    m_background->setGeometry(0, 0, side, side);
    m_background->lower();
    m_heart->setSaturation(heartSaturation);
    m_heart->setOpacity(heartOpacity);

    auto* caption = new QLabel(QStringLiteral("You have been active for"), this);
    caption->setAlignment(Qt::AlignCenter);
    caption->setWordWrap(true);
    m_durationLabel->setText(
        QString::fromStdString(SharedFormatters::hoursMinutesInSentenceText(sharedDuration())));
    m_durationLabel->setAlignment(Qt::AlignCenter);
    m_durationLabel->setWordWrap(true);
    QFont titleFont = m_durationLabel->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * durationFontScale);
    m_durationLabel->setFont(titleFont);
    for (QLabel* label : { caption, m_durationLabel }) {
        QPalette palette = label->palette();
        QColor text = palette.color(QPalette::WindowText);
        text.setAlphaF(0.85f);
        palette.setColor(QPalette::WindowText, text);
        label->setPalette(palette);
    }

    auto* text = new QVBoxLayout;
    text->setSpacing(textSpacing);
    text->addWidget(caption);
    text->addWidget(m_durationLabel);

    auto* layout = new QVBoxLayout(this);
    // The group sits 20 px below the centre: twice that on top, nothing below.
    layout->setContentsMargins(12, 2 * groupOffset, 12, 0);
    layout->addStretch();
    layout->addWidget(m_heart, 0, Qt::AlignHCenter);
    layout->addLayout(text);
    layout->addStretch();

    setFixedSize(side, side);
    if (screen != nullptr) {
        setScreen(screen);
        setGeometry(frameFor(screen->availableGeometry()));
    }
}

QString HeadsUpWindow::durationText() const
{
    return m_durationLabel->text();
}

void HeadsUpWindow::fadeIn()
{
    if (platform::ReduceMotion::isEnabled()) {
        setWindowOpacity(1.0);
        QWidget::show();
        return;
    }
    setWindowOpacity(0.0);
    QWidget::show();
    QTimer::singleShot(static_cast<int>(fadeInDelay * 1000), this, [this] {
        if (m_closing) {
            return;
        }
        auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
        fade->setDuration(static_cast<int>(fadeDuration * 1000));
        fade->setStartValue(windowOpacity());
        fade->setEndValue(1.0);
        m_fade = fade;
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    });
}

void HeadsUpWindow::fadeOutAndClose()
{
    if (m_closing) {
        return;
    }
    m_closing = true;
    if (m_fade) {
        m_fade->stop();
    }
    if (platform::ReduceMotion::isEnabled()) {
        finishClosing();
        return;
    }
    auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
    fade->setDuration(static_cast<int>(fadeDuration * 1000));
    fade->setStartValue(windowOpacity());
    fade->setEndValue(0.0);
    fade->setEasingCurve(QEasingCurve::InOutQuad);
    connect(fade, &QAbstractAnimation::finished, this, &HeadsUpWindow::finishClosing);
    m_fade = fade;
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void HeadsUpWindow::finishClosing()
{
    hide();
    setWindowOpacity(1.0);
    auto& list = openList();
    list.erase(std::remove(list.begin(), list.end(), QPointer<HeadsUpWindow>(this)), list.end());
    deleteLater();
}

} // namespace kiruvo

#include "app/reminders/HeadsUpWindow.h"

#include "app/engine/SharedFormatters.h"
#include "app/reminders/HeartView.h"
#include "kit/foundation/core/Duration.h"
#include "kit/foundation/core/MediaTimingFunction.h"
#include "kit/interface/VisualEffectView.h"
#include "kit/interface/WindowFade.h"
#include "platform/desktop/PopoverSurface.h"
#include "platform/desktop/WindowTranslucency.h"

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
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
// How often the picture on the overlay layer is drawn again, for the heart's beat.
constexpr int redrawMilliseconds = 33;

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

QRegion HeadsUpWindow::panelShape()
{
    // The pixels the panel covers whole, as it is drawn: a pixel of its smoothed edge, part
    // transparent, would show as a dark rim where nothing blends it.
    QPainterPath panel;
    panel.addRoundedRect(QRectF(0, 0, side, side), cornerRadius, cornerRadius);
    QImage coverage(side, side, QImage::Format_Alpha8);
    coverage.fill(0);
    QPainter painter(&coverage);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(panel, Qt::black);
    painter.end();
    QRegion shape;
    for (int y = 0; y < side; ++y) {
        const uchar* row = coverage.constScanLine(y);
        int left = 0;
        while (left < side && row[left] != 0xff) {
            ++left;
        }
        int right = side - 1;
        while (right >= left && row[right] != 0xff) {
            --right;
        }
        if (left <= right) {
            shape += QRect(left, y, right - left + 1, 1);
        }
    }
    return shape;
}

zk::Duration HeadsUpWindow::duration()
{
    return sharedDuration();
}

void HeadsUpWindow::showOnAllScreens(const zk::Duration& duration, platform::combine::Scheduler& scheduler)
{
    sharedDuration() = duration;
    closeAll();
    for (QScreen* screen : QGuiApplication::screens()) {
        show(screen, scheduler);
    }
}

void HeadsUpWindow::closeAll()
{
    for (const auto& window : openWindows()) {
        window->fadeOutAndClose();
    }
}

HeadsUpWindow* HeadsUpWindow::show(QScreen* screen, platform::combine::Scheduler& scheduler)
{
    auto* window = new HeadsUpWindow(screen, scheduler);
    openList().emplace_back(window);
    if (screen != nullptr) {
        window->showOnSurface(static_cast<int>(QGuiApplication::screens().indexOf(screen)));
    }
    window->fadeIn();
    return window;
}

HeadsUpWindow::~HeadsUpWindow() = default;

bool HeadsUpWindow::showOnSurface(int screenIndex)
{
    m_surface = platform::PopoverSurface::create();
    if (!m_surface) {
        return false;
    }
    if (!m_surface->showInMiddle(picture(), screenIndex, raiseFraction)) {
        m_surface.reset();
        return false;
    }
    // The widget shows, fades and closes as ever, without a window of its own: the surface shows
    // its picture, which follows the heart.
    setAttribute(Qt::WA_DontShowOnScreen, true);
    m_redraw = new QTimer(this);
    m_redraw->setInterval(redrawMilliseconds);
    connect(m_redraw, &QTimer::timeout, this, &HeadsUpWindow::redrawSurface);
    m_redraw->start();
    QPointer<HeadsUpWindow> self(this);
    m_surface->onClosed = [self] {
        // The compositor took it away (its screen went): nothing more to draw.
        if (self && self->m_redraw) {
            self->m_redraw->stop();
        }
    };
    return true;
}

QImage HeadsUpWindow::picture()
{
    if (layout()) {
        layout()->activate();
    }
    const QScreen* shownOn = screen();
    const int scale = std::max(1, static_cast<int>(std::ceil(shownOn ? shownOn->devicePixelRatio() : 1.0)));
    QImage image(size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    render(&image);
    return image;
}

void HeadsUpWindow::redrawSurface()
{
    if (m_surface && !m_surface->replacePicture(picture())) {
        m_redraw->stop();
    }
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

HeadsUpWindow::HeadsUpWindow(QScreen* screen, platform::combine::Scheduler& scheduler)
    : QWidget(nullptr,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput
            | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint)
    , m_background(new zk::VisualEffectView(this))
    , m_heart(new HeartView(this))
    , m_heartPlace(new QWidget(this))
    , m_durationLabel(new QLabel(this))
    , m_scheduler(&scheduler)
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
    // The layout keeps the heart's place; the heart, with its shadow spreading wider, is laid
    // over it.
    m_heartPlace->setFixedSize(HeartView::layoutSide, HeartView::layoutSide);
    m_heartPlace->installEventFilter(this);
    layout->addWidget(m_heartPlace, 0, Qt::AlignHCenter);
    layout->addLayout(text);
    layout->addStretch();

    setFixedSize(side, side);
    if (!platform::WindowTranslucency::isAvailable()) {
        // Nothing blends the transparent corners with the desktop, which would show them black:
        // the window itself takes the panel's rounded shape.
        setMask(panelShape());
    }
    if (screen != nullptr) {
        setScreen(screen);
        setGeometry(frameFor(screen->availableGeometry()));
    }
}

QString HeadsUpWindow::durationText() const
{
    return m_durationLabel->text();
}

bool HeadsUpWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_heartPlace && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        QRect frame(QPoint(0, 0), m_heart->sizeHint());
        frame.moveCenter(m_heartPlace->geometry().center());
        m_heart->setGeometry(frame);
    }
    return QWidget::eventFilter(watched, event);
}

void HeadsUpWindow::fadeIn()
{
    // A heads-up window never takes focus: it is only brought to the front.
    m_fade = platform::async::TaskHandle::start(
        [window = QPointer<QWidget>(this), scheduler = m_scheduler](std::stop_token token) {
            return zk::showWithFadeIn(window, true, false, zk::MediaTimingFunction::defaultFunction(),
                fadeDuration, 0, std::move(token), *scheduler);
        });
}

void HeadsUpWindow::fadeOutAndClose()
{
    if (m_closing) {
        return;
    }
    m_closing = true;
    // A fade-in still waiting to start must not start after this fade-out.
    m_fade.cancel();
    m_fade = platform::async::TaskHandle::start(
        [window = QPointer<HeadsUpWindow>(this), scheduler = m_scheduler](
            std::stop_token) -> QCoro::Task<void> {
            // Made in a statement of its own: g++ 12 destroys the temporaries of a co_await's
            // operand twice.
            auto fading = zk::fadeOut(QPointer<QWidget>(window.data()), fadeDuration, 0,
                zk::MediaTimingFunction::defaultFunction(), {}, *scheduler);
            co_await fading;
            if (window) {
                window->finishClosing();
            }
        });
}

void HeadsUpWindow::finishClosing()
{
    if (m_redraw) {
        m_redraw->stop();
    }
    m_surface.reset();
    hide();
    zk::setWindowOpacity(*this, 1.0);
    auto& list = openList();
    list.erase(std::remove(list.begin(), list.end(), QPointer<HeadsUpWindow>(this)), list.end());
    deleteLater();
}

} // namespace kiruvo

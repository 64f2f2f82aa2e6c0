#include "app/windows/WelcomeScreen.h"

#include "app/reminders/HeartView.h"
#include "kit/interface/WelcomePopover.h"
#include "kit/interface/WindowFlyAway.h"
#include "libraries/launch-at-login/Toggle.h"
#include "platform/async/TaskHandle.h"
#include "platform/desktop/ReduceMotion.h"
#include "platform/desktop/StatusItem.h"

#include <QGraphicsOpacityEffect>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kiruvo {

namespace {

// Where the heart sits on the icon: right of and above its centre, at the icon's full size.
constexpr QPoint heartOffset(30, -8);
// Qt's standard spacing stands for the default padding.
constexpr int padding = 16;
constexpr int pageFadeMilliseconds = 250;

// Sizes in device-independent pixels, which the design's points are.
QLabel* makeText(const QString& text, int pixelSize, QFont::Weight weight, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

// The flight into the status item and the greeting from it. It runs on by itself: the window (and
// the screen that started it) is gone before it ends. Takes plain arguments and copies them
// before the first suspension: g++ 12 destroys some by-value coroutine parameters of class type
// twice.
QCoro::Task<void> animateIntoStatusItem(
    QWidget* windowArgument, platform::StatusItem* itemArgument, const zk::TimerSource& sourceArgument)
{
    const QPointer<QWidget> window(windowArgument);
    const QPointer<platform::StatusItem> item(itemArgument);
    const zk::TimerSource source = sourceArgument;
    if (window) {
        std::optional<QRect> target;
        if (item && item->isShownOnScreen()) {
            target = item->backend().geometry();
        }
        co_await zk::animateInto(window, target, *source.scheduler);
    }
    co_await zk::showWelcomePopover(item.data(), source);
}

} // namespace

WelcomeScreen::WelcomeScreen(double buttonWidthValue, std::function<QWidget*()> hostingWindowValue,
    Environment environment, QWidget* parent)
    : QWidget(parent)
    , buttonWidth(buttonWidthValue)
    , hostingWindow(std::move(hostingWindowValue))
    , m_environment(std::move(environment))
{
    if (!m_environment.timerSource.scheduler) {
        m_environment.timerSource = zk::TimerSource::main();
    }
    setFixedSize(width, height);

    auto* layout = new QVBoxLayout(this);
    layout->setAlignment(Qt::AlignHCenter);
    // Twice the default padding, less 20 at the top.
    layout->setContentsMargins(2 * padding, 2 * padding - 20, 2 * padding, 2 * padding);
    layout->addWidget(makeHeader());
    layout->addStretch();
    m_firstPage = makeFirstPage();
    m_lastPage = makeLastPage();
    m_lastPage->hide();
    layout->addWidget(m_firstPage, 1);
    layout->addWidget(m_lastPage, 1);
}

WelcomeScreen::~WelcomeScreen() = default;

QWidget* WelcomeScreen::makeHeader()
{
    auto* header = new QWidget(this);
    auto* layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignHCenter);

    m_icon = new QWidget(header);
    m_picture = new QLabel(m_icon);
    m_heart = new HeartView(m_icon, m_environment.timerSource);
    setIconSide(iconSide);
    // Decoration only: nothing for a screen reader to announce.
    m_icon->setAccessibleName(QString());
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);

    m_title = makeText(QStringLiteral("Welcome to Kiruvo"), 30, QFont::Black, header);
    m_title->setContentsMargins(0, 0, 0, 5);
    m_description = makeText(QStringLiteral("Kiruvo makes you aware of how long you have been using your "
                                            "computer and helps you remember to take breaks, without being "
                                            "annoying."),
        14, QFont::Normal, header);
    layout->addWidget(m_title);
    layout->addWidget(m_description);
    return header;
}

void WelcomeScreen::setIconSide(int side)
{
    m_iconSide = side;
    m_icon->setFixedSize(side, side);
    m_picture->setPixmap(QIcon(QString::fromLatin1(appIcon)).pixmap(QSize(side, side)));
    m_picture->setGeometry(0, 0, side, side);
    // The heart keeps its size (it beats within its square) and its place on a smaller icon.
    const QSize heartSize = m_heart->sizeHint();
    const QPoint offset = heartOffset * side / iconSide;
    m_heart->setGeometry(QRect(
        QPoint(side / 2 + offset.x() - heartSize.width() / 2, side / 2 + offset.y() - heartSize.height() / 2),
        heartSize));
}

int WelcomeScreen::neededHeight(int atWidth) const
{
    // Before the window is shown nothing has laid the pages out again since the icon or the page
    // changed: every part and layout forgets the sizes it keeps first.
    for (QWidget* part : findChildren<QWidget*>()) {
        part->updateGeometry();
    }
    for (QLayout* nested : findChildren<QLayout*>()) {
        nested->invalidate();
    }
    layout()->invalidate();
    return layout()->totalHeightForWidth(atWidth);
}

QSize WelcomeScreen::fitInto(const QSize& available)
{
    const int fittedWidth = std::min(width, available.width());
    const int room = std::min(height, available.height());
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // Both pages must fit: the first, with the greeting, is the taller, yet the last's text may
    // wrap onto more lines.
    const auto needed = [&] {
        int most = 0;
        for (const bool last : { false, true }) {
            m_title->setVisible(!last);
            m_description->setVisible(!last);
            m_firstPage->setVisible(!last);
            m_lastPage->setVisible(last);
            most = std::max(most, neededHeight(fittedWidth));
        }
        m_title->setVisible(!m_isLastPage);
        m_description->setVisible(!m_isLastPage);
        m_firstPage->setVisible(!m_isLastPage);
        m_lastPage->setVisible(m_isLastPage);
        return most;
    };
    int side = iconSide;
    setIconSide(side);
    while (side > leastIconSide && needed() > room) {
        side = std::max(leastIconSide, side - 8);
        setIconSide(side);
    }
    const QSize fitted(fittedWidth, room);
    setFixedSize(fitted);
    return fitted;
}

QPushButton* WelcomeScreen::makeButton(const QString& title)
{
    auto* button = new QPushButton(title, this);
    button->setMinimumWidth(static_cast<int>(buttonWidth));
    // The large control size.
    button->setMinimumHeight(32);
    return button;
}

QWidget* WelcomeScreen::makeFirstPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 10);
    m_launchAtLogin = new LaunchAtLogin::Toggle(page);
    layout->addWidget(m_launchAtLogin, 0, Qt::AlignHCenter);
    layout->addStretch();
    m_continue = makeButton(QStringLiteral("Continue"));
    connect(m_continue, &QPushButton::clicked, this, &WelcomeScreen::showLastPage);
    layout->addWidget(m_continue, 0, Qt::AlignHCenter);
    return page;
}

QWidget* WelcomeScreen::makeLastPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 10);
    m_feedback
        = makeText(QStringLiteral("If you have any feedback, bug reports, or feature requests, use the "
                                  "feedback button in the app. I quickly respond to all submissions."),
            13, QFont::Normal, page);
    m_feedback->setContentsMargins(padding + 20, padding, padding + 20, padding);
    layout->addWidget(m_feedback);
    layout->addStretch();
    m_getStarted = makeButton(QStringLiteral("Get Started"));
    m_getStarted->setDefault(true);
    connect(m_getStarted, &QPushButton::clicked, this, &WelcomeScreen::getStarted);
    layout->addWidget(m_getStarted, 0, Qt::AlignHCenter);
    return page;
}

void WelcomeScreen::showLastPage()
{
    if (m_isLastPage) {
        return;
    }
    m_isLastPage = true;
    m_title->hide();
    m_description->hide();
    m_firstPage->hide();
    m_lastPage->show();
    m_getStarted->setFocus();
    if (platform::ReduceMotion::isEnabled()) {
        return;
    }
    auto* fade = new QGraphicsOpacityEffect(m_lastPage);
    m_lastPage->setGraphicsEffect(fade);
    auto* animation = new QPropertyAnimation(fade, "opacity", m_lastPage);
    animation->setDuration(pageFadeMilliseconds);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    connect(animation, &QPropertyAnimation::finished, m_lastPage,
        [page = m_lastPage] { page->setGraphicsEffect(nullptr); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void WelcomeScreen::getStarted()
{
    if (m_hasStarted) {
        return;
    }
    m_hasStarted = true;
    const QPointer<QWidget> window = hostingWindow ? hostingWindow() : nullptr;
    const QPointer<platform::StatusItem> item
        = m_environment.statusBarButton ? m_environment.statusBarButton() : nullptr;
    platform::async::TaskHandle::start([window, item, source = m_environment.timerSource](std::stop_token) {
        return animateIntoStatusItem(window.data(), item.data(), source);
    });
}

void WelcomeScreen::keyPressEvent(QKeyEvent* event)
{
    // Return is the last page's default action, wherever the focus is. The first page binds
    // nothing to it: its "Continue" is reached by Tab and pressed with Space.
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && m_isLastPage && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        getStarted();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace kiruvo

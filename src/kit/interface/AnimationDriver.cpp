#include "kit/interface/AnimationDriver.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace zk {

AnimationDriver::AnimationDriver(QObject* parent)
    : QAnimationDriver(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { advance(); });
}

AnimationDriver::~AnimationDriver()
{
    m_timer.stop();
}

void AnimationDriver::installForApplication()
{
    static auto* driver = new AnimationDriver(QCoreApplication::instance());
    driver->install();
}

int AnimationDriver::frameIntervalMilliseconds()
{
    double rate = maximumRate;
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && screen->refreshRate() > 1) {
        rate = std::min(rate, screen->refreshRate());
    }
    return static_cast<int>(std::ceil(1000.0 / rate));
}

void AnimationDriver::start()
{
    QAnimationDriver::start();
    m_timer.start(frameIntervalMilliseconds());
}

void AnimationDriver::stop()
{
    m_timer.stop();
    QAnimationDriver::stop();
}

} // namespace zk

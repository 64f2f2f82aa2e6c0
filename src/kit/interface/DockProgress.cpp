#include "kit/interface/DockProgress.h"

#include "platform/desktop/LauncherEntry.h"

#include <cmath>
#include <cstdlib>

namespace zk {

namespace {

struct SharedState {
    QPointer<Progress> instance;
    double progress = 0;
    double previousShown = 0;
    QMetaObject::Connection fractionObserver;
    QMetaObject::Connection finishedObserver;
    QMetaObject::Connection destroyedObserver;
    DockProgress::Style style = DockProgress::Bar {};
};

SharedState& state()
{
    static SharedState shared;
    return shared;
}

void dropObservers()
{
    QObject::disconnect(state().fractionObserver);
    QObject::disconnect(state().finishedObserver);
    QObject::disconnect(state().destroyedObserver);
}

} // namespace

double DockProgress::progress()
{
    return state().progress;
}

void DockProgress::setProgress(double progress)
{
    SharedState& shared = state();
    shared.progress = progress;
    if (shared.previousShown == 0 || std::abs(progress - shared.previousShown) > 0.01) {
        shared.previousShown = progress;
        redraw();
    }
}

void DockProgress::resetProgress()
{
    setProgress(0);
    state().previousShown = 0;
    redraw();
}

Progress* DockProgress::progressInstance()
{
    return state().instance.data();
}

void DockProgress::setProgressInstance(Progress* progress)
{
    SharedState& shared = state();
    dropObservers();
    shared.instance = progress;
    if (!progress) {
        resetProgress();
        return;
    }
    shared.fractionObserver = QObject::connect(
        progress, &Progress::fractionCompletedChanged, progress, [progress](double fraction) {
            if (!progress->isCancelled() && !progress->isFinished()) {
                setProgress(fraction);
            }
        });
    shared.finishedObserver = QObject::connect(progress, &Progress::finishedChanged, progress, [progress] {
        if (!progress->isCancelled() && progress->isFinished()) {
            setProgress(1.0);
        }
    });
    shared.destroyedObserver
        = QObject::connect(progress, &QObject::destroyed, [] { setProgressInstance(nullptr); });
}

const DockProgress::Style& DockProgress::style()
{
    return state().style;
}

void DockProgress::setStyle(Style style)
{
    state().style = std::move(style);
}

QString DockProgress::badgeText(int value)
{
    const long magnitude = std::labs(long(value));
    const QString sign = value < 0 ? QStringLiteral("-") : QString();
    if (magnitude <= 999) {
        return QString::number(value);
    }
    if (magnitude <= 9999) {
        return sign + QString::number(magnitude / 1000) + QStringLiteral("k");
    }
    return sign + QStringLiteral("9k+");
}

void DockProgress::resetForTesting()
{
    dropObservers();
    state() = SharedState {};
}

void DockProgress::redraw()
{
    const SharedState& shared = state();
    platform::LauncherEntryState entry;
    // Below 0 or from 1 on, the icon is shown plain.
    entry.progressVisible = shared.progress >= 0 && shared.progress < 1;
    entry.progress = entry.progressVisible ? shared.progress : 0;
    if (const auto* badge = std::get_if<Badge>(&shared.style); badge && badge->badgeValue) {
        entry.count = badge->badgeValue();
        entry.countVisible = entry.progressVisible;
    }
    platform::LauncherEntry::shared().update(entry);
}

} // namespace zk

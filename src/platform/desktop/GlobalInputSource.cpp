#include "platform/desktop/GlobalInputSource.h"

#include "platform/linux/XInput2GlobalInputSource.h"

#include <QGuiApplication>
#include <QPointer>

#include <memory>

namespace platform {

namespace {

GlobalInputSource* installedSource = nullptr;

// A desktop that keeps each application's input to itself.
class UnavailableGlobalInputSource : public GlobalInputSource {
public:
    explicit UnavailableGlobalInputSource(QString reason)
        : m_reason(std::move(reason))
    {
    }
    bool isAvailable() const override { return false; }
    QString unavailableReason() const override { return m_reason; }
    void start() override { }
    void stop() override { }

private:
    QString m_reason;
};

std::unique_ptr<GlobalInputSource> makeStandard()
{
    if (QGuiApplication::platformName() == QStringLiteral("wayland")) {
        return std::make_unique<UnavailableGlobalInputSource>(
            QStringLiteral("Input in other applications cannot be watched on Wayland: the desktop keeps each "
                           "application's input to itself."));
    }
    return std::make_unique<XInput2GlobalInputSource>();
}

} // namespace

GlobalInputSource& GlobalInputSource::shared()
{
    if (installedSource != nullptr) {
        return *installedSource;
    }
    // Owned by the application object, so that its socket notifier goes while the event dispatcher is
    // there; never destroyed at the process's exit, which may come without the application object
    // ending (Qt's platform plugin calls exit() when the display goes away).
    static QPointer<GlobalInputSource> standard;
    if (!standard) {
        standard = makeStandard().release();
        standard->setParent(QCoreApplication::instance());
    }
    return *standard;
}

void GlobalInputSource::setShared(GlobalInputSource* source)
{
    installedSource = source;
}

} // namespace platform

#include "kit/foundation/SettingsWindowOpener.h"

#include "platform/Logger.h"

namespace zk {

namespace {
std::function<void()>& opener()
{
    static std::function<void()> instance;
    return instance;
}
} // namespace

void SettingsWindowOpener::setOpener(std::function<void()> newOpener)
{
    opener() = std::move(newOpener);
}

bool SettingsWindowOpener::hasOpener()
{
    return static_cast<bool>(opener());
}

void SettingsWindowOpener::open()
{
    if (!opener()) {
        platform::log(
            platform::LogLevel::Warning, platform::lcDesktop(), "The settings window is not available yet.");
        return;
    }
    // A copy, so that the opener may replace itself.
    auto current = opener();
    current();
}

} // namespace zk

#include "platform/desktop/GlobalHotKeys.h"

#include "platform/linux/X11GlobalHotKeys.h"

#include <QCoreApplication>
#include <QPointer>

namespace platform {

namespace {

// Where no application may take keys for itself: every grab fails, nothing is taken elsewhere.
class UnavailableGlobalHotKeys final : public GlobalHotKeys {
public:
    using GlobalHotKeys::GlobalHotKeys;
    bool isAvailable() const override { return false; }
    bool grab(std::uint32_t, const HotKeyCombination&) override { return false; }
    void ungrab(std::uint32_t) override { }
    bool isTakenElsewhere(const HotKeyCombination&) override { return false; }
};

GlobalHotKeys* installedHotKeys = nullptr;
QPointer<GlobalHotKeys> defaultHotKeys;

} // namespace

GlobalHotKeys::GlobalHotKeys(QObject* parent)
    : QObject(parent)
{
}

GlobalHotKeys::~GlobalHotKeys()
{
    if (installedHotKeys == this) {
        installedHotKeys = nullptr;
    }
}

GlobalHotKeys& GlobalHotKeys::shared()
{
    if (installedHotKeys) {
        return *installedHotKeys;
    }
    if (!defaultHotKeys) {
        // Owned by the application object, so that its grabs go before the connection does.
        GlobalHotKeys* hotKeys = X11GlobalHotKeys::create(QCoreApplication::instance());
        defaultHotKeys = hotKeys ? hotKeys : new UnavailableGlobalHotKeys(QCoreApplication::instance());
    }
    return *defaultHotKeys;
}

void GlobalHotKeys::setShared(GlobalHotKeys* hotKeys)
{
    installedHotKeys = hotKeys;
}

} // namespace platform

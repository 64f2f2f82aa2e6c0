#include "kit/foundation/RunOnce.h"

#include "libraries/defaults/Defaults.h"

namespace zk {

namespace {

bool isSet(platform::UserDefaults& suite, const std::string& key)
{
    // Anything that does not read as a Boolean counts as not set: the work it guards has not been
    // seen to complete.
    return Defaults::read<bool>(suite, key).value_or(false);
}

void markSet(platform::UserDefaults& suite, const std::string& key)
{
    Defaults::write<bool>(suite, key, true);
}

} // namespace

bool areRunOnceFlagsUnknown(const std::shared_ptr<platform::UserDefaults>& suite)
{
    return suite->isWaitingForFile();
}

std::string runOnceKey(const std::string& identifier)
{
    return "ZK_App_runOnce__" + identifier;
}

bool runOnce(const std::string& identifier, const std::shared_ptr<platform::UserDefaults>& suite)
{
    const std::string key = runOnceKey(identifier);
    if (areRunOnceFlagsUnknown(suite) || isSet(*suite, key)) {
        return false;
    }
    markSet(*suite, key);
    return true;
}

bool runOnce(const std::string& identifier, const std::function<void()>& work,
    const std::shared_ptr<platform::UserDefaults>& suite)
{
    const std::string key = runOnceKey(identifier);
    if (areRunOnceFlagsUnknown(suite) || isSet(*suite, key)) {
        return false;
    }
    if (work) {
        work();
    }
    markSet(*suite, key);
    return true;
}

bool hasRunOnce(const std::string& identifier, const std::shared_ptr<platform::UserDefaults>& suite)
{
    return isSet(*suite, runOnceKey(identifier));
}

} // namespace zk

#include "kit/foundation/core/WindowInfo.h"

#include "platform/linux/X11WindowList.h"

#include <QtGlobal>

#include <fstream>

namespace zk {

namespace {

std::string commandName(std::int32_t processIdentifier)
{
    if (processIdentifier <= 0) {
        return {};
    }
    std::ifstream comm("/proc/" + std::to_string(processIdentifier) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

} // namespace

std::optional<std::vector<WindowInfo>> WindowInfo::list()
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return std::nullopt;
    }
    const auto windows = platform::x11ClientWindows();
    if (!windows) {
        return std::nullopt;
    }
    std::vector<WindowInfo> result;
    result.reserve(windows->size());
    for (const auto& window : *windows) {
        WindowInfo info;
        info.identifier = window.window;
        info.name = window.name;
        info.owner
            = Owner { commandName(window.processIdentifier), window.processIdentifier, window.windowClass };
        info.bounds = window.bounds;
        info.layer = window.isAbove ? 3 : window.isBelow ? -1 : 0;
        info.alpha = window.alpha;
        info.isOnScreen = window.isViewable;
        result.push_back(std::move(info));
    }
    return result;
}

} // namespace zk

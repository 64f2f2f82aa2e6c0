#include "platform/fake/FakeGlobalHotKeys.h"

#include <algorithm>

namespace platform::fake {

FakeGlobalHotKeys::FakeGlobalHotKeys(QObject* parent)
    : GlobalHotKeys(parent)
{
    setShared(this);
}

FakeGlobalHotKeys::~FakeGlobalHotKeys() = default;

bool FakeGlobalHotKeys::grab(std::uint32_t id, const HotKeyCombination& combination)
{
    const bool refused = !available || m_grabs.contains(id)
        || std::find(heldElsewhere.begin(), heldElsewhere.end(), combination) != heldElsewhere.end();
    calls.push_back((refused ? "refused " : "grab ") + std::to_string(id));
    if (refused) {
        return false;
    }
    m_grabs[id] = combination;
    return true;
}

void FakeGlobalHotKeys::ungrab(std::uint32_t id)
{
    if (m_grabs.erase(id) > 0) {
        calls.push_back("ungrab " + std::to_string(id));
    }
}

bool FakeGlobalHotKeys::isTakenElsewhere(const HotKeyCombination& combination)
{
    return std::find(heldElsewhere.begin(), heldElsewhere.end(), combination) != heldElsewhere.end();
}

bool FakeGlobalHotKeys::isGrabbed(const HotKeyCombination& combination) const
{
    return std::any_of(
        m_grabs.begin(), m_grabs.end(), [&](const auto& grab) { return grab.second == combination; });
}

std::vector<std::uint32_t> FakeGlobalHotKeys::idsOf(const HotKeyCombination& combination) const
{
    std::vector<std::uint32_t> ids;
    for (const auto& [id, grabbed] : m_grabs) {
        if (grabbed == combination) {
            ids.push_back(id);
        }
    }
    return ids;
}

bool FakeGlobalHotKeys::press(const HotKeyCombination& combination)
{
    const std::vector<std::uint32_t> ids = idsOf(combination);
    for (const std::uint32_t id : ids) {
        Q_EMIT pressed(id);
    }
    return !ids.empty();
}

bool FakeGlobalHotKeys::release(const HotKeyCombination& combination)
{
    const std::vector<std::uint32_t> ids = idsOf(combination);
    for (const std::uint32_t id : ids) {
        Q_EMIT released(id);
    }
    return !ids.empty();
}

} // namespace platform::fake

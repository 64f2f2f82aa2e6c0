#pragma once

#include "platform/desktop/GlobalHotKeys.h"

#include <map>
#include <string>
#include <vector>

namespace platform::fake {

// Hot keys that a test presses; installs itself as the shared hot keys for its lifetime. Other
// clients' grabs are the combinations in `heldElsewhere`: grabbing one fails, and the probe
// answers that it is taken. Main-thread only.
class FakeGlobalHotKeys final : public GlobalHotKeys {
    Q_OBJECT
public:
    explicit FakeGlobalHotKeys(QObject* parent = nullptr);
    ~FakeGlobalHotKeys() override;

    bool isAvailable() const override { return available; }
    bool grab(std::uint32_t id, const HotKeyCombination& combination) override;
    void ungrab(std::uint32_t id) override;
    bool isTakenElsewhere(const HotKeyCombination& combination) override;

    // Emits pressed (or released) for every grab of the combination; false when none has it.
    bool press(const HotKeyCombination& combination);
    bool release(const HotKeyCombination& combination);

    const std::map<std::uint32_t, HotKeyCombination>& grabs() const { return m_grabs; }
    bool isGrabbed(const HotKeyCombination& combination) const;

    bool available = true;
    std::vector<HotKeyCombination> heldElsewhere;
    // "grab <id>", "refused <id>", "ungrab <id>", in order.
    std::vector<std::string> calls;

private:
    std::vector<std::uint32_t> idsOf(const HotKeyCombination& combination) const;

    std::map<std::uint32_t, HotKeyCombination> m_grabs;
};

} // namespace platform::fake

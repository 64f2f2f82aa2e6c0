#pragma once

#include "platform/desktop/LoginItemService.h"

#include <set>
#include <string>
#include <vector>

namespace platform::fake {

// A login-item service that holds its state in memory and records every call. By default it
// answers at once; with `deferCompletions` the completions wait until the test calls
// completePending(), as a desktop that asks the user does. Main-thread only.
class FakeLoginItemService final : public LoginItemService {
public:
    enum class Call { registerApp, unregisterApp, removeLoginItem };

    Status currentStatus = Status::notRegistered;
    // When set, register and unregister fail with this text and change nothing.
    std::string failure;
    bool deferCompletions = false;
    // Earlier versions' items that are switched on.
    std::set<std::string> enabledLoginItems;

    Status status() const override { return currentStatus; }
    void registerApp(Completion completion) override;
    void unregisterApp(Completion completion) override;
    bool isLoginItemEnabled(const std::string& identifier) const override;
    bool removeLoginItem(const std::string& identifier) override;

    // Runs the completions held back, oldest first.
    void completePending();

    const std::vector<Call>& calls() const { return m_calls; }
    const std::vector<std::string>& removedLoginItems() const { return m_removed; }

private:
    void answer(Status target, Completion completion);

    std::vector<Call> m_calls;
    std::vector<std::string> m_removed;
    std::vector<std::function<void()>> m_pending;
};

} // namespace platform::fake

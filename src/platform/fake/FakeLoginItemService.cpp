#include "platform/fake/FakeLoginItemService.h"

namespace platform::fake {

void FakeLoginItemService::registerApp(Completion completion)
{
    m_calls.push_back(Call::registerApp);
    answer(Status::enabled, std::move(completion));
}

void FakeLoginItemService::unregisterApp(Completion completion)
{
    m_calls.push_back(Call::unregisterApp);
    answer(Status::notRegistered, std::move(completion));
}

void FakeLoginItemService::answer(Status target, Completion completion)
{
    auto run = [this, target, completion = std::move(completion)] {
        if (!failure.empty()) {
            completion(failure);
            return;
        }
        currentStatus = target;
        completion(std::nullopt);
    };
    if (deferCompletions) {
        m_pending.push_back(std::move(run));
    } else {
        run();
    }
}

void FakeLoginItemService::completePending()
{
    auto pending = std::move(m_pending);
    m_pending.clear();
    for (auto& run : pending) {
        run();
    }
}

bool FakeLoginItemService::isLoginItemEnabled(const std::string& identifier) const
{
    return enabledLoginItems.count(identifier) > 0;
}

bool FakeLoginItemService::removeLoginItem(const std::string& identifier)
{
    m_calls.push_back(Call::removeLoginItem);
    m_removed.push_back(identifier);
    enabledLoginItems.erase(identifier);
    return true;
}

} // namespace platform::fake

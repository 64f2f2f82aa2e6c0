#pragma once

#include "platform/desktop/NotificationCenter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::fake {

// A notification center that answers at once from what the test set up and records every call in
// order. Main-thread only.
class FakeNotificationCenter final : public NotificationCenter {
public:
    struct Call {
        enum class Kind { requestAuthorization, post, removeAllDelivered };
        Kind kind;
        // The summary of a post.
        std::string summary;
        Urgency urgency = Urgency::normal;
        // The body of a post.
        std::string body;
    };

    bool grantsAuthorization = true;
    // When set, post() fails with this error name.
    std::string failPostsWithErrorName;

    QCoro::Task<bool> requestAuthorization() override;
    QCoro::Task<PostResult> post(Request request) override;
    QCoro::Task<void> removeAllDelivered() override;

    const std::vector<Call>& calls() const { return m_calls; }
    // What is shown at the moment, oldest first.
    const std::vector<std::string>& shownSummaries() const { return m_shown; }

private:
    std::vector<Call> m_calls;
    std::vector<std::string> m_shown;
    std::uint32_t m_nextIdentifier = 1;
};

} // namespace platform::fake

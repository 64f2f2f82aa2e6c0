#include "platform/fake/FakeNotificationCenter.h"

namespace platform::fake {

QCoro::Task<bool> FakeNotificationCenter::requestAuthorization()
{
    m_calls.push_back({ Call::Kind::requestAuthorization, {}, {}, {} });
    co_return grantsAuthorization;
}

QCoro::Task<NotificationCenter::PostResult> FakeNotificationCenter::post(Request request)
{
    m_calls.push_back({ Call::Kind::post, request.summary, request.urgency, request.body });
    PostResult result;
    if (!failPostsWithErrorName.empty()) {
        result.errorName = failPostsWithErrorName;
        result.errorMessage = "The notification could not be shown.";
        co_return result;
    }
    m_shown.push_back(request.summary);
    result.identifier = m_nextIdentifier++;
    co_return result;
}

QCoro::Task<void> FakeNotificationCenter::removeAllDelivered()
{
    m_calls.push_back({ Call::Kind::removeAllDelivered, {}, {}, {} });
    m_shown.clear();
    co_return;
}

} // namespace platform::fake

#include "kit/interface/ErrorCaptureTask.h"

namespace zk {

platform::async::TaskHandle errorCaptureTask(
    platform::async::TaskHandle::Body body, std::function<void(ErrorPtr error)> setError)
{
    return platform::async::TaskHandle::start(
        [body = std::move(body), setError = std::move(setError)](std::stop_token token) -> QCoro::Task<void> {
            ErrorPtr failure;
            try {
                co_await body(token);
            } catch (...) {
                failure = ExceptionError::from(std::current_exception());
            }
            if (failure && !failure->isCancelled() && setError) {
                setError(std::move(failure));
            }
        });
}

} // namespace zk

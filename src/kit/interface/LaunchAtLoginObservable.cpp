#include "kit/interface/LaunchAtLoginObservable.h"

#include "kit/foundation/AppErrorBuilder.h"
#include "kit/foundation/ErrorPresentation.h"
#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"
#include "platform/desktop/LoginItemService.h"

#include <memory>

namespace zk {

namespace {

platform::LoginItemService& mainAppService()
{
    return platform::LoginItemService::mainAppService();
}

} // namespace

LaunchAtLoginObservable& LaunchAtLoginObservable::shared()
{
    static auto* instance = new LaunchAtLoginObservable();
    return *instance;
}

bool LaunchAtLoginObservable::isEnabled() const
{
    using Status = platform::LoginItemService::Status;
    const Status status = mainAppService().status();
    switch (status) {
    case Status::enabled:
        return true;
    case Status::notRegistered:
    case Status::notFound:
        return false;
    case Status::requiresApproval:
        reportError(makeAppError("SMAppService#status == .requiresApproval"));
        return false;
    }
    // A value outside the cases above, from a service that knows more states than this program.
    reportError(GeneralError("Received a new enum case. Please handle it."));
    return false;
}

void LaunchAtLoginObservable::setEnabled(bool value)
{
    emit objectWillChange();
    auto completion = [value](const platform::LoginItemService::Failure& failure) {
        if (failure) {
            const auto error = std::make_shared<GeneralError>(*failure);
            reportError(*error, { { "newValue", value } });
            presentAsModal(error);
        }
        emit shared().objectWillChange();
    };
    if (value) {
        mainAppService().registerApp(std::move(completion));
    } else {
        mainAppService().unregisterApp(std::move(completion));
    }
}

} // namespace zk

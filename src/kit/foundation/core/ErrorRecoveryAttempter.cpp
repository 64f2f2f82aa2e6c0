#include "kit/foundation/core/ErrorRecoveryAttempter.h"

namespace zk {

ErrorRecoveryAttempter::ErrorRecoveryAttempter(std::vector<Option> recoveryOptions)
    : m_recoveryOptions(std::move(recoveryOptions))
{
}

bool ErrorRecoveryAttempter::attemptRecovery(long long optionIndex) const
{
    if (optionIndex < 0 || optionIndex >= static_cast<long long>(m_recoveryOptions.size())) {
        return false;
    }
    const Option& option = m_recoveryOptions[static_cast<std::size_t>(optionIndex)];
    return option.action ? option.action() : false;
}

void ErrorRecoveryAttempter::attemptRecovery(
    long long optionIndex, const std::function<void(bool recovered)>& didRecover) const
{
    const bool recovered = attemptRecovery(optionIndex);
    if (didRecover) {
        didRecover(recovered);
    }
}

} // namespace zk

#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zk {

// Turns titled actions into the recovery options of an error: the error's alert shows the titles
// as buttons and runs the chosen action. There is no attempter without options (an empty list is
// valid).
class ErrorRecoveryAttempter {
public:
    struct Option {
        std::string title;
        // True when the recovery succeeded.
        std::function<bool()> action;
    };

    ErrorRecoveryAttempter() = delete;
    explicit ErrorRecoveryAttempter(std::vector<Option> recoveryOptions);

    const std::vector<Option>& recoveryOptions() const { return m_recoveryOptions; }

    // Runs the option at `optionIndex` and returns its outcome; false, running nothing, for an
    // index outside the options (negative included).
    bool attemptRecovery(long long optionIndex) const;
    // The same, then tells `didRecover` the outcome when one is given.
    void attemptRecovery(long long optionIndex, const std::function<void(bool recovered)>& didRecover) const;

private:
    std::vector<Option> m_recoveryOptions;
};

} // namespace zk

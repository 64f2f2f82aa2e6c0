#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Starts a desktop helper program (the desktop's settings) that lives on by itself.
// Tests install a starter that records instead. Main-thread only.
class DetachedProcess {
public:
    using Starter
        = std::function<bool(const std::string& program, const std::vector<std::string>& arguments)>;

    // False when the program could not be started; that is logged here.
    static bool start(const std::string& program, const std::vector<std::string>& arguments);

    // An empty starter restores the real one.
    static void setStarterForTesting(Starter starter);
};

} // namespace platform

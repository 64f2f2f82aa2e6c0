#pragma once

#include <string>
#include <vector>

// For a test of what a real window manager does with our windows: the running test runs again, in a
// child test program on an X server of its own (Xvfb) with openbox managing its windows, and the
// child tells what it saw in lines (report()). Its windows and input never meet another test's.
class OpenboxSession {
public:
    struct Outcome {
        // Why the session could not be set up; empty when it was.
        std::string failure;
        // What the child reported.
        std::vector<std::string> lines;
        // The child's error output, for a failing test to show.
        std::string errors;
    };

    // Whether openbox is installed (a test without it is skipped).
    static bool isAvailable();
    // Whether this program is the child started by runCurrentTest().
    static bool isChild();
    // Runs the running test in a child under openbox and returns what it reported.
    static Outcome runCurrentTest();
    // Runs it so and fails it unless the child reported exactly these lines.
    static void expectCurrentTestReports(const std::vector<std::string>& lines);
    // In the child: one line for the parent.
    static void report(const std::string& line);
};

#pragma once

// For a test that needs a fresh program (one that binds process-wide state, such as the settings
// keys' store, at its first use): the test runs once more, alone, in a test program of its own,
// and answers for it, whatever ran before it in its program.
class SeparateTestProcess {
public:
    // Runs the running test alone in a child test program and fails it, with the child's output,
    // unless it passed there. Only the caller's test is run: the caller returns afterwards.
    static void runCurrentTest();
    // Whether this program runs this test alone (started by runCurrentTest() or by ctest): there
    // the test runs itself.
    static bool isRunningAlone();
};

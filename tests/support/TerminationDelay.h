#pragma once

#include <gtest/gtest.h>

// Whether the application acts on a SIGTERM sent now within a second, with its real signal handling
// (the signal pipe and will-terminate), serving this thread's events meanwhile; how long it took
// when not.
::testing::AssertionResult terminatesWithinASecond();

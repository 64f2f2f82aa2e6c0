#pragma once

// How long the application takes to act on a SIGTERM sent now, with its real signal handling (the
// signal pipe and will-terminate): milliseconds from the signal to the quit, serving this thread's
// events meanwhile; -1 when it has not quit within `timeoutMs`.
int terminationDelayMilliseconds(int timeoutMs = 60000);

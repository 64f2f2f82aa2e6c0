// Read by moc before each header it scans. moc's preprocessor stops on <concepts> when that is the
// first standard header a file pulls in (libstdc++'s configuration macros are not yet defined), so
// a header's include order must not decide whether the build works.
#include <cstddef>

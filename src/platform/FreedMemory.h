#pragma once

namespace platform {

// Hands the heap's free memory back to the system. The allocator keeps what a large answer
// (thousands of sessions built, marshalled and sent) freed for reuse, so the process would stay
// that much bigger for the rest of its life; call this once such a passing peak is over. It takes
// a few milliseconds; nothing happens where the C library has no such operation.
void releaseFreedMemory();

} // namespace platform

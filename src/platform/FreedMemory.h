#pragma once

namespace platform {

// Hands the heap's free memory back to the system. The allocator keeps what a large answer
// (thousands of sessions built, marshalled and sent) freed for reuse, so the process would stay
// that much bigger for the rest of its life; call this once such a passing peak is over. It takes
// a few milliseconds; nothing happens where the C library has no such operation.
void releaseFreedMemory();

// Has every thread allocate from the one heap the main thread uses, unless the user chose
// otherwise (MALLOC_ARENA_MAX). The allocator otherwise gives each thread that allocates a heap of
// its own, and what a short-lived worker (the history decoded at start) freed stays with that heap
// for the process's life. Call first thing in main(), before any thread starts.
void shareOneHeapBetweenThreads();

} // namespace platform

#pragma once
// The threads a process starts, bounded under an address-space limit.

namespace qira {

// Under an address-space limit (RLIMIT_AS) what each thread reserves counts
// against it: glibc gives every thread that allocates a heap of its own (64 MB
// of address space each, up to eight per core), Mesa's software driver starts a
// rasterizer thread per core, and Qt starts pooled threads in the middle of
// painting, where a thread that cannot be had hangs or ends the program. With
// such a limit this bounds them, once, first thing in main (before any thread
// exists): one heap for all threads, at most kLimitedThreads driver threads
// (unless LP_NUM_THREADS is set) and kLimitedThreads pooled threads, started now
// and kept, so that their stacks are counted from the start and none has to be
// started later. False, and nothing changed, without a limit.
inline constexpr int kLimitedThreads = 2;
bool BoundThreadReservesUnderAddressLimit();

}  // namespace qira

#pragma once
// Keeps the service's resident memory flat over thousands of jobs. Each job
// allocates and frees tens of megabytes (photo, mask, cut-out, PNG) on whichever
// thread runs it; glibc's default of raising the mmap threshold after such frees
// lets those blocks settle in per-thread heaps that are never given back.

namespace allocator {

// Call once at start-up, before other threads exist.
void configure();
// Call after a job: returns freed heap pages to the system.
void releaseFreed();

} // namespace allocator

#pragma once
// How the service uses memory. A job allocates and frees some hundred megabytes
// in blocks of up to tens of megabytes (photo, mask, cut-out, PNG) on whichever
// thread runs it. Pages fresh from the system cost far more to touch the first
// time than the work done in them, so freed memory stays in one heap for the
// next job, with no block mapped on its own, and goes back to the system only
// when the service is idle. One heap for all threads keeps the resident size
// flat over thousands of jobs.

namespace allocator {

// Call once at start-up, before other threads exist.
void configure();
// Returns freed heap pages to the system; call when the service goes idle.
void releaseFreed();

} // namespace allocator

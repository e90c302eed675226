#pragma once
// libtorch asks the system for fresh memory for every activation of every layer
// (hundreds of blocks of 4-270 MB per forward pass). Large blocks are mapped
// anew each time, and touching fresh pages costs this network about twice its
// arithmetic. The network's block sizes repeat exactly from one pass to the
// next, so freed blocks are kept and handed out again, the smallest that fits
// (up to four times the size asked for).
//
// Only isnetengine.cpp uses this (it is the only code that includes torch).

#include <cstddef>

namespace tensorcache {

// Routes libtorch's CPU allocations through the cache. Idempotent and thread
// safe; call before the first forward pass. Blocks are kept up to `limitBytes`
// in all; beyond that, freed blocks go back to the system.
void install(std::size_t limitBytes);

// Bytes held for reuse right now (not counting blocks in use).
std::size_t cachedBytes();

// Gives every kept block back to the system (e.g. when the service goes idle).
void release();

} // namespace tensorcache

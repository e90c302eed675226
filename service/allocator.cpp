#include "allocator.h"

#include <cstdlib> // defines __GLIBC__ on glibc systems

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace allocator {

void configure()
{
#if defined(__GLIBC__)
    // Blocks from 256 KB up are mapped and unmapped directly (a fixed threshold
    // also stops glibc from raising it), and one arena serves all threads.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    mallopt(M_ARENA_MAX, 1);
#endif
}

void releaseFreed()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace allocator

#include "allocator.h"

#include <cstdlib> // defines __GLIBC__ on glibc systems

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace allocator {

void configure()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
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

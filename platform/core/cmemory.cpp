#include "cmemory.h"

#include <cstdlib> // defines __GLIBC__ on glibc systems

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void CMemory::keepFreedMemory()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

void CMemory::releaseFreed()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

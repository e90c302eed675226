#pragma once
// Photos, cut-outs and masks of tens of megabytes are allocated and freed all the
// time, on the GUI thread and the pool alike. Pages fresh from the system cost
// far more to touch the first time than the work done in them, and mapping and
// unmapping them makes every thread wait for the others, which showed as pauses
// of the GUI thread. So freed memory stays in the heap for the next picture and
// goes back to the system only when the program asks for it.
class CMemory
{
public:
    // Call first thing in main(), before other threads exist.
    static void keepFreedMemory();
    // Gives the freed pages back to the system (e.g. when a batch is left).
    static void releaseFreed();
};

#pragma once
// libtorch asks the system for fresh memory for every activation of every layer
// (hundreds of blocks of 1-270 MB per forward pass), and touching fresh pages
// costs this network about twice its arithmetic. A network with one input shape
// asks for the same blocks in the same order on every pass, so the first pass of
// each network is recorded and later passes are served from one arena laid out
// for that sequence: blocks alive at the same time never share bytes, the others
// do. The arena is about the pass's peak of live activations; a cache of freed
// blocks by size held 60 % more for the float network, as blocks of one size
// cannot serve another.
//
// Blocks still alive when the recording pass ends (weights a network packs on
// first use) are the network's, not the pass's, and stay out of the plan.
//
// Any large allocation that does not match the recording (another size, another
// order, or arena bytes still held by a live tensor) is served by the system, so
// a pass that differs from the first is slower, never wrong. Blocks under 1 MB
// always go to the system: malloc recycles them cheaply.
//
// Only isnetengine.cpp uses this (it is the only code that includes torch).

#include <cstddef>
#include <memory>
#include <vector>

namespace tensorcache {

// Routes libtorch's CPU allocations through here. Idempotent and thread safe;
// call before the first pass.
void install();

// A block of a recorded pass: its size and the allocation events (counted over
// allocations and frees) at which it was made and freed.
struct Block
{
    std::size_t size = 0;
    std::size_t born = 0;
    std::size_t dies = 0;
};
// Where each block lies in an arena of `total` bytes: blocks whose lifetimes
// [born, dies) overlap get disjoint bytes. Largest blocks are placed first, each
// at the lowest offset free for its lifetime.
std::vector<std::size_t> layout(const std::vector<Block>& blocks, std::size_t& total);

// One network's recorded pass. Owned by its engine; outlives its passes.
class Plan
{
public:
    Plan();
    ~Plan();
    Plan(const Plan&) = delete;
    Plan& operator=(const Plan&) = delete;

    // Arena bytes the recorded pass needs; 0 before the first pass has ended.
    std::size_t arenaSize() const;

    struct Impl; // opaque: the recording and the pass in progress

private:
    friend class Pass;
    std::unique_ptr<Impl> d;
};

// One forward pass of `plan`'s network on the calling thread, from construction to
// destruction: the first of a plan records, later ones are served from the
// calling thread's arena (which grows to the largest plan run on the thread, so a
// float and an int8 network on one worker share it). Passes do not nest.
class Pass
{
public:
    explicit Pass(Plan& plan);
    ~Pass();
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

private:
    int m_unwinding; // exceptions in flight at construction
};

// Arena bytes held by all threads.
std::size_t arenaBytes();

// Frees the calling thread's arena unless a live tensor still uses it (e.g. when
// the service goes idle); the next pass allocates it again.
void release();

} // namespace tensorcache

#include "tensorcache.h"

#include "allocator.h"

#include <c10/core/CPUAllocator.h>
#include <c10/core/impl/alloc_cpu.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <numeric>
#include <unordered_map>
#include <utility>

#include <sys/mman.h>

namespace tensorcache {

struct Plan::Impl
{
    std::vector<Block> blocks;
    std::vector<std::size_t> offsets;
    std::size_t total = 0;
    bool recorded = false;
    // The pass in progress.
    bool useArena = false;
    bool diverged = false;
    std::size_t next = 0;
    std::size_t events = 0;
};

namespace {

constexpr std::size_t kMinPlanned = 1 << 20;
constexpr std::size_t kAlign = 64;
constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();

struct Arena
{
    char* base = nullptr;
    std::size_t size = 0;
    std::vector<std::pair<std::size_t, std::size_t>> live; // [from, to) of blocks in use
    bool orphaned = false;                                 // its thread has ended
};

// A large block of a pass that is still alive: in an arena, from the heap while
// its plan records, or mapped on its own when the pass differs from the recording.
struct Handed
{
    Arena* arena = nullptr;
    std::size_t offset = 0;
    std::size_t mapped = 0; // its size when mapped on its own
    Plan::Impl* recording = nullptr;
    std::size_t index = 0;
};

// Arenas, and blocks of passes that differ from their recording, are mapped from
// the system directly: the heap keeps what is freed (see allocator.h).
char* map(std::size_t size, int flags = 0)
{
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | flags, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    return static_cast<char*>(p);
}

void unmap(void* p, std::size_t size)
{
    if (p)
        munmap(p, size);
}

// Guards everything below and every Arena and Plan::Impl while a pass uses them.
std::mutex g_mutex;
std::unordered_map<void*, Handed> g_handed;
std::atomic<std::size_t> g_arenaBytes{0};

void destroy(Arena* arena)
{
    unmap(arena->base, arena->size);
    g_arenaBytes -= arena->size;
    delete arena;
}

struct ThreadState
{
    Arena* arena = nullptr;
    Plan::Impl* pass = nullptr;
    ~ThreadState()
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (arena && arena->live.empty())
            destroy(arena);
        else if (arena)
            arena->orphaned = true; // freed with its last block
    }
};
thread_local ThreadState t_state;

void* take(std::size_t n)
{
    Plan::Impl* plan = t_state.pass;
    if (n < kMinPlanned || !plan)
        return c10::alloc_cpu(n);
    const std::size_t size = (n + kAlign - 1) / kAlign * kAlign;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto mapped = [&] {
        void* p = map(size);
        g_handed[p] = Handed{nullptr, 0, size, nullptr, 0};
        return p;
    };
    if (!plan->recorded) {
        // From the heap, which reuses the pass's freed blocks within the pass.
        void* p = c10::alloc_cpu(size);
        g_handed[p] = Handed{nullptr, 0, 0, plan, plan->blocks.size()};
        plan->blocks.push_back(Block{size, plan->events++, kNever});
        return p;
    }
    const std::size_t k = plan->next++;
    plan->diverged = plan->diverged || k >= plan->blocks.size() || plan->blocks[k].size != size;
    if (plan->diverged || !plan->useArena)
        return mapped();
    Arena* arena = t_state.arena;
    const std::size_t from = plan->offsets[k], to = from + size;
    for (const auto& [a, b] : arena->live)
        if (a < to && from < b)
            return mapped(); // a tensor of an earlier pass still holds these bytes
    arena->live.emplace_back(from, to);
    void* p = arena->base + from;
    g_handed[p] = Handed{arena, from, 0, nullptr, 0};
    return p;
}

void give(void* p)
{
    if (!p)
        return;
    {
        std::unique_lock<std::mutex> lock(g_mutex);
        const auto it = g_handed.find(p);
        if (it != g_handed.end()) {
            const Handed h = it->second;
            g_handed.erase(it);
            if (h.arena) {
                auto& live = h.arena->live;
                live.erase(std::find_if(live.begin(), live.end(),
                                        [&](const auto& r) { return r.first == h.offset; }));
                if (h.arena->orphaned && live.empty())
                    destroy(h.arena);
                return;
            }
            if (h.recording)
                h.recording->blocks[h.index].dies = h.recording->events++;
            if (h.mapped) {
                lock.unlock();
                unmap(p, h.mapped);
                return;
            }
        }
    }
    c10::free_cpu(p);
}

class PassAllocator final : public c10::Allocator
{
public:
    // The context is the data pointer itself: ideep allocates through raw_allocate,
    // which requires it.
    c10::DataPtr allocate(std::size_t n) const override
    {
        void* p = take(n);
        return {p, p, &give, c10::Device(c10::DeviceType::CPU)};
    }
    c10::DeleterFnPtr raw_deleter() const override { return &give; }
};

std::once_flag installed;

} // namespace

void install()
{
    std::call_once(installed, [] {
        // Never deleted: tensors freed during static destruction still reach it.
        c10::SetCPUAllocator(new PassAllocator, /*priority=*/100);
    });
}

std::vector<std::size_t> layout(const std::vector<Block>& blocks, std::size_t& total)
{
    std::vector<std::size_t> order(blocks.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return blocks[a].size > blocks[b].size; });
    std::vector<std::size_t> offsets(blocks.size(), 0), placed;
    std::vector<std::pair<std::size_t, std::size_t>> busy;
    total = 0;
    for (const std::size_t i : order) {
        const Block& block = blocks[i];
        busy.clear();
        for (const std::size_t j : placed)
            if (blocks[j].born < block.dies && block.born < blocks[j].dies)
                busy.emplace_back(offsets[j], offsets[j] + blocks[j].size);
        std::sort(busy.begin(), busy.end());
        std::size_t at = 0;
        for (const auto& [from, to] : busy) {
            if (at + block.size <= from)
                break;
            at = std::max(at, to);
        }
        offsets[i] = at;
        total = std::max(total, at + block.size);
        placed.push_back(i);
    }
    return offsets;
}

Plan::Plan() : d(std::make_unique<Impl>()) {}

Plan::~Plan() = default;

std::size_t Plan::arenaSize() const
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return d->recorded ? d->total : 0;
}

Pass::Pass(Plan& plan) : m_unwinding(std::uncaught_exceptions())
{
    Plan::Impl& p = *plan.d;
    std::lock_guard<std::mutex> lock(g_mutex);
    p.next = 0;
    p.events = 0;
    p.diverged = false;
    p.useArena = false;
    if (p.recorded) {
        Arena*& arena = t_state.arena;
        if (!arena)
            arena = new Arena;
        if (arena->size < p.total && arena->live.empty()) {
            unmap(arena->base, arena->size);
            g_arenaBytes -= arena->size;
            arena->base = nullptr;
            arena->size = 0;
            // Populated as it is mapped, cheaper than a fault per page inside the
            // network's layers. (Large pages would spare the TLB, but where the
            // kernel compacts memory for them on demand the first pass stalled for
            // seconds.)
            arena->base = map(p.total, MAP_POPULATE); // throws when out of memory
            arena->size = p.total;
            g_arenaBytes += arena->size;
        }
        p.useArena = arena->size >= p.total;
    }
    t_state.pass = &p;
}

Pass::~Pass()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    Plan::Impl& p = *t_state.pass;
    t_state.pass = nullptr;
    if (p.recorded) {
        // Another sequence than the recorded one: record again next time.
        if (p.diverged)
            p = Plan::Impl{};
        return;
    }
    // A block still alive belongs to the network, not to the pass (weights it
    // packs on first use): later passes do not ask for it, so it is left out.
    std::vector<bool> kept(p.blocks.size(), false);
    for (auto& [ptr, handed] : g_handed)
        if (handed.recording == &p) {
            kept[handed.index] = true;
            handed.recording = nullptr;
        }
    // A pass cut short by an exception made only part of its blocks.
    if (std::uncaught_exceptions() > m_unwinding) {
        p = Plan::Impl{};
        return;
    }
    std::size_t n = 0;
    for (std::size_t i = 0; i < p.blocks.size(); ++i)
        if (!kept[i])
            p.blocks[n++] = p.blocks[i];
    p.blocks.resize(n);
    p.offsets = layout(p.blocks, p.total);
    p.recorded = true;
    // The heap would keep the recorded blocks beside the arena that replaces them.
    allocator::releaseFreed();
}

std::size_t arenaBytes()
{
    return g_arenaBytes;
}

void release()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    Arena*& arena = t_state.arena;
    if (arena && arena->live.empty()) {
        destroy(arena);
        arena = nullptr;
    }
}

} // namespace tensorcache

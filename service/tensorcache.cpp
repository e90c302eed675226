#include "tensorcache.h"

#include <c10/core/CPUAllocator.h>
#include <c10/core/impl/alloc_cpu.h>

#include <map>
#include <mutex>
#include <unordered_map>

namespace tensorcache {
namespace {

// Small blocks are cheap for malloc to recycle; caching them would only add
// lock traffic.
constexpr std::size_t kMinCached = 1 << 20;
constexpr std::size_t kGranule = 1 << 16;
// A request may take a free block up to this many times its size: the int8 network
// (activations a quarter of the float one's) then runs in the float network's
// blocks instead of keeping a set of its own. The smallest fitting block is taken,
// so a network that repeats its sizes still gets exact ones.
constexpr std::size_t kMaxOversize = 4;

class CachingAllocator final : public c10::Allocator
{
public:
    explicit CachingAllocator(std::size_t limit) : m_limit(limit) {}

    c10::DataPtr allocate(std::size_t n) const override
    {
        void* p = n < kMinCached ? c10::alloc_cpu(n) : const_cast<CachingAllocator*>(this)->take(n);
        return {p, p, &CachingAllocator::deleter, c10::Device(c10::DeviceType::CPU)};
    }

    c10::DeleterFnPtr raw_deleter() const override { return &CachingAllocator::deleter; }

    std::size_t cached()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_cached;
    }

    void releaseAll()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& [size, block] : m_free)
            c10::free_cpu(block);
        m_free.clear();
        m_cached = 0;
    }

    static CachingAllocator* instance;

private:
    static void deleter(void* p) { instance->give(p); }

    void* take(std::size_t n)
    {
        const std::size_t size = (n + kGranule - 1) / kGranule * kGranule;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const auto it = m_free.lower_bound(size);
            if (it != m_free.end() && it->first <= size * kMaxOversize) {
                const auto [kept, p] = *it;
                m_free.erase(it);
                m_cached -= kept;
                m_inUse.emplace(p, kept);
                return p;
            }
        }
        void* p = c10::alloc_cpu(size); // throws c10::Error when out of memory
        std::lock_guard<std::mutex> lock(m_mutex);
        m_inUse.emplace(p, size);
        return p;
    }

    void give(void* p)
    {
        if (!p)
            return;
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto it = m_inUse.find(p);
        if (it != m_inUse.end()) {
            const std::size_t size = it->second;
            m_inUse.erase(it);
            if (m_cached + size <= m_limit) {
                m_free.emplace(size, p);
                m_cached += size;
                return;
            }
        }
        lock.unlock();
        c10::free_cpu(p); // a small block, or the cache is full
    }

    const std::size_t m_limit;
    std::mutex m_mutex;
    std::multimap<std::size_t, void*> m_free;
    std::unordered_map<void*, std::size_t> m_inUse;
    std::size_t m_cached = 0;
};

CachingAllocator* CachingAllocator::instance = nullptr;
std::once_flag installed;

} // namespace

void install(std::size_t limitBytes)
{
    std::call_once(installed, [limitBytes] {
        // Never deleted: tensors freed during static destruction still reach it.
        CachingAllocator::instance = new CachingAllocator(limitBytes);
        c10::SetCPUAllocator(CachingAllocator::instance, /*priority=*/100);
    });
}

std::size_t cachedBytes()
{
    return CachingAllocator::instance ? CachingAllocator::instance->cached() : 0;
}

void release()
{
    if (CachingAllocator::instance)
        CachingAllocator::instance->releaseAll();
}

} // namespace tensorcache

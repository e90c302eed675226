#include "qbufferrecycler.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {

void* allocateBlock(std::size_t bytes)
{
#ifdef Q_OS_LINUX
    // Aligned to a huge page and marked for huge pages: a 2 MB page faults in once
    // instead of 512 times.
    constexpr std::size_t hugePage = std::size_t(2) << 20;
    void* p = nullptr;
    if (posix_memalign(&p, hugePage, bytes) != 0)
        return nullptr;
    madvise(p, bytes, MADV_HUGEPAGE);
    return p;
#else
    return cv::fastMalloc(bytes);
#endif
}

void freeBlock(void* p)
{
#ifdef Q_OS_LINUX
    std::free(p);
#else
    cv::fastFree(p);
#endif
}

} // namespace

QBufferRecycler* QBufferRecycler::instance()
{
    // Never destroyed: matrices and images may be released during static destruction.
    static auto* recycler = new QBufferRecycler;
    return recycler;
}

cv::Mat QBufferRecycler::createMat(int rows, int cols, int type)
{
    cv::Mat mat;
    mat.allocator = instance();
    mat.create(rows, cols, type);
    return mat;
}

QImage QBufferRecycler::createImage(int width, int height, QImage::Format format)
{
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    if (width <= 0 || height <= 0 || depth <= 0)
        return {};
    const qint64 bytesPerLine = ((qint64(width) * depth + 31) / 32) * 4;
    if (bytesPerLine > INT_MAX)
        return {};
    const std::size_t bytes = std::size_t(bytesPerLine) * std::size_t(height);
    void* buffer = nullptr;
    try {
        buffer = instance()->take(bytes);
    } catch (const cv::Exception&) { // out of memory
    }
    if (!buffer)
        return {};
    auto cleanup = [](void* info) {
        auto* block = static_cast<std::pair<void*, std::size_t>*>(info);
        instance()->give(block->first, block->second);
        delete block;
    };
    return QImage(static_cast<uchar*>(buffer), width, height, int(bytesPerLine), format, cleanup,
                  new std::pair<void*, std::size_t>(buffer, bytes));
}

void QBufferRecycler::setCapacity(std::size_t bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_capacity = bytes;
    trimTo(m_capacity);
}

std::size_t QBufferRecycler::idleBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_idleBytes;
}

cv::UMatData* QBufferRecycler::allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                                        cv::AccessFlag, cv::UMatUsageFlags) const
{
    // Row steps as OpenCV's own allocator lays them out: dense, last dimension first.
    std::size_t total = CV_ELEM_SIZE(type);
    for (int i = dims - 1; i >= 0; --i) {
        if (step) {
            if (data && step[i] != cv::Mat::AUTO_STEP)
                total = step[i];
            else
                step[i] = total;
        }
        total *= std::size_t(sizes[i]);
    }
    void* buffer = data ? data : take(total);
    if (!buffer)
        CV_Error(cv::Error::StsNoMem, "out of memory for a picture buffer");
    auto* u = new cv::UMatData(this);
    u->data = u->origdata = static_cast<uchar*>(buffer);
    u->size = total;
    if (data)
        u->flags |= cv::UMatData::USER_ALLOCATED;
    return u;
}

bool QBufferRecycler::allocate(cv::UMatData* data, cv::AccessFlag, cv::UMatUsageFlags) const
{
    return data != nullptr;
}

void QBufferRecycler::deallocate(cv::UMatData* u) const
{
    if (!u)
        return;
    if (!(u->flags & cv::UMatData::USER_ALLOCATED))
        give(u->origdata, u->size);
    delete u;
}

void* QBufferRecycler::take(std::size_t bytes) const
{
    if (bytes < kMinRecycledBytes)
        return cv::fastMalloc(std::max<std::size_t>(bytes, 1));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_idle.find(bytes);
        if (it != m_idle.end()) {
            void* buffer = it->second.second;
            m_idle.erase(it);
            m_idleBytes -= bytes;
            return buffer;
        }
    }
    return allocateBlock(bytes);
}

void QBufferRecycler::give(void* buffer, std::size_t bytes) const
{
    if (!buffer)
        return;
    if (bytes < kMinRecycledBytes) {
        cv::fastFree(buffer);
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_idle.emplace(bytes, std::make_pair(++m_sequence, buffer));
    m_idleBytes += bytes;
    trimTo(m_capacity);
}

void QBufferRecycler::trimTo(std::size_t capacity) const
{
    while (m_idleBytes > capacity) {
        auto oldest = std::min_element(m_idle.begin(), m_idle.end(), [](const auto& a, const auto& b) {
            return a.second.first < b.second.first;
        });
        m_idleBytes -= oldest->first;
        freeBlock(oldest->second.second);
        m_idle.erase(oldest);
    }
}

#pragma once

#include <QImage>

#include <opencv2/core.hpp>

#include <cstddef>
#include <map>
#include <mutex>

// Storage for the large pictures the editor makes over and over (overlays, masks,
// merged cut-outs, converted images of one photo's size). A freshly mapped buffer
// costs a page fault per page on first touch, which for a 24-megapixel picture
// takes several times longer than filling it; so freed large buffers are kept and
// handed to the next picture of the same byte size. Small buffers go straight to
// the ordinary allocator.
//
// Thread-safe; buffers may be freed on another thread than the one that made them.
class QBufferRecycler : public cv::MatAllocator
{
public:
    // Buffers from this size up are recycled.
    static constexpr std::size_t kMinRecycledBytes = std::size_t(8) << 20;

    static QBufferRecycler* instance();

    // A matrix (contents undefined) whose storage returns here when released.
    static cv::Mat createMat(int rows, int cols, int type);
    // A QImage (contents undefined, rows 32-bit aligned) whose buffer returns here
    // when its last copy goes; a null image when the size is invalid or memory is short.
    static QImage createImage(int width, int height, QImage::Format format);

    // Keeps at most this many bytes of idle buffers (oldest dropped first).
    void setCapacity(std::size_t bytes);
    std::size_t idleBytes() const;

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                           cv::AccessFlag flags, cv::UMatUsageFlags usage) const override;
    bool allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const override;
    void deallocate(cv::UMatData* data) const override;

private:
    QBufferRecycler() = default;
    void* take(std::size_t bytes) const;
    void give(void* buffer, std::size_t bytes) const;
    void trimTo(std::size_t capacity) const; // caller holds m_mutex

    mutable std::mutex m_mutex;
    // Idle buffers by byte size, with the order they came back in for eviction.
    mutable std::multimap<std::size_t, std::pair<quint64, void*>> m_idle;
    mutable std::size_t m_idleBytes = 0;
    mutable quint64 m_sequence = 0;
    std::size_t m_capacity = std::size_t(512) << 20;
};

#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>

namespace kestrix {

// How far the load of an image has come, for one reader that works on its
// bytes while they arrive. The loader announces the block the image goes
// into (Begin), the count of bytes in it after each chunk (Advance), and a
// failure (Fail); the reader takes the block (Block), waits for the bytes it
// needs (WaitFor) and says when it no longer reads the block (Release).
class LoadWatermark {
public:
    // Loader: the image goes into block; none of its bytes are in yet.
    void Begin(std::span<const uint8_t> block);
    // Loader: the first count bytes of the block are in (count never shrinks).
    void Advance(int64_t count);
    // Loader: the load failed and the rest never comes. Returns once the
    // reader has released the block (at once when it never took it), so that
    // the block can then be freed. Calling it again does nothing more.
    void Fail();

    // Reader: waits for Begin and gives the block, or none when the load
    // failed first. A reader given the block must Release it.
    std::optional<std::span<const uint8_t>> Block();
    // Reader: waits until at least the first count bytes are in (count at
    // most the block's size); returns how many are in, or -1 when the load
    // failed.
    int64_t WaitFor(int64_t count) const;
    // Reader: how many bytes are in now; does not wait.
    int64_t Loaded() const noexcept { return m_loaded.load(std::memory_order_acquire); }
    // Reader: it reads the block no more.
    void Release();
    // The count of bytes the reader waits for now, 0 when it is not waiting.
    int64_t Wanted() const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::span<const uint8_t> m_block;
    std::atomic<int64_t> m_loaded{0};
    mutable int64_t m_wanted = 0;
    bool m_begun = false;
    bool m_failed = false;
    bool m_reading = false;
};

// Takes a watermark's block for as long as it lives, and releases it.
class LoadWatermarkReader {
public:
    explicit LoadWatermarkReader(LoadWatermark& watermark) : m_watermark(watermark), m_block(watermark.Block()) {}
    ~LoadWatermarkReader()
    {
        if (m_block)
            m_watermark.Release();
    }
    LoadWatermarkReader(const LoadWatermarkReader&) = delete;
    LoadWatermarkReader& operator=(const LoadWatermarkReader&) = delete;

    // The block, or none when the load failed before it began.
    const std::optional<std::span<const uint8_t>>& Block() const noexcept { return m_block; }

private:
    LoadWatermark& m_watermark;
    std::optional<std::span<const uint8_t>> m_block;
};

}  // namespace kestrix

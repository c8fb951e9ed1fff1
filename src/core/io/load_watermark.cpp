#include "load_watermark.h"

namespace kestrix {

void LoadWatermark::Begin(std::span<const uint8_t> block)
{
    {
        const std::lock_guard lock(m_mutex);
        m_block = block;
        m_begun = true;
    }
    m_changed.notify_all();
}

void LoadWatermark::Advance(int64_t count)
{
    bool wake = false;
    {
        // Under the lock, so that a reader about to wait cannot miss it.
        const std::lock_guard lock(m_mutex);
        m_loaded.store(count, std::memory_order_release);
        // The reader is woken only once what it waits for is in.
        wake = m_wanted != 0 && count >= m_wanted;
    }
    if (wake)
        m_changed.notify_all();
}

void LoadWatermark::Fail()
{
    std::unique_lock lock(m_mutex);
    m_failed = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_reading; });
}

std::optional<std::span<const uint8_t>> LoadWatermark::Block()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_begun || m_failed; });
    if (m_failed)
        return std::nullopt;
    m_reading = true;
    return m_block;
}

int64_t LoadWatermark::WaitFor(int64_t count) const
{
    if (const int64_t loaded = m_loaded.load(std::memory_order_acquire); loaded >= count)
        return loaded;
    std::unique_lock lock(m_mutex);
    m_wanted = count;
    m_changed.wait(lock, [this, count] { return m_failed || m_loaded.load(std::memory_order_acquire) >= count; });
    m_wanted = 0;
    return m_failed ? -1 : m_loaded.load(std::memory_order_acquire);
}

int64_t LoadWatermark::Wanted() const
{
    const std::lock_guard lock(m_mutex);
    return m_wanted;
}

void LoadWatermark::Release()
{
    {
        const std::lock_guard lock(m_mutex);
        m_reading = false;
    }
    m_changed.notify_all();
}

}  // namespace kestrix

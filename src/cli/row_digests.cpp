#include "row_digests.h"

#include "digest.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace kestrix {

RowDigests::RowDigests(std::span<const uint8_t> image, std::size_t count, RangeOf rangeOf, std::size_t aheadBatches)
    : m_image(image), m_count(count), m_rangeOf(std::move(rangeOf)),
      m_ahead(std::max<std::size_t>(aheadBatches, 1) * kBatch), m_ringSize(std::min(m_count, m_ahead)),
      m_ring(std::make_unique_for_overwrite<Slot[]>(m_ringSize)), m_finished(m_ahead / kBatch)
{
    const std::size_t batches = (count + kBatch - 1) / kBatch;
    const std::size_t workers = std::min<std::size_t>({batches, kMostWorkers, std::thread::hardware_concurrency()});
    try {
        for (std::size_t k = 0; k < std::max<std::size_t>(workers, 1) && count > 0; ++k)
            m_workers.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
    }
    m_alone = m_workers.empty();
}

RowDigests::~RowDigests()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

RowDigests::Hex RowDigests::At(std::size_t i)
{
    if (m_alone || i != m_next)
        return Of(m_image, m_rangeOf(i));
    if (i >= m_doneSeen) {
        std::unique_lock lock(m_mutex);
        m_writerWaits = true;
        m_changed.wait(lock, [this, i] { return m_done > i; });
        m_writerWaits = false;
        m_doneSeen = m_done;
    }
    // The digests below m_doneSeen were stored before m_done was read
    // under the lock, and their places are not written again before they
    // are taken.
    const Slot& slot = m_ring[i % m_ringSize];
    const Hex digest = slot.Has ? Hex(slot.Text) : std::nullopt;
    m_next = i + 1;
    if (m_next % kBatch == 0) {
        {
            const std::lock_guard lock(m_mutex);
            m_asked = m_next;
        }
        m_changed.notify_all();
    }
    return digest;
}

RowDigests::Hex RowDigests::Of(std::span<const uint8_t> image, Range range)
{
    const auto [start, end] = range;
    if (start < 0 || end < start || end > static_cast<int64_t>(image.size()))
        return std::nullopt;
    const std::string text =
        Sha256Hex(image.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
    std::array<char, 64> hex{};
    std::copy_n(text.begin(), std::min(text.size(), hex.size()), hex.begin());
    return hex;
}

// Takes the next batch not yet taken, once it lies within m_ahead rows of the
// writer, and digests it; batches finish in any order, m_done counts the rows
// from the first whose batches all have.
void RowDigests::Work()
{
    for (;;) {
        std::size_t first = 0;
        std::size_t last = 0;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] {
                return m_stop || m_taken == m_count ||
                       m_taken + std::min(kBatch, m_count - m_taken) <= m_asked + m_ahead;
            });
            if (m_stop || m_taken == m_count)
                return;
            first = m_taken;
            last = m_taken = first + std::min(kBatch, m_count - first);
        }
        for (std::size_t k = first; k < last; ++k) {
            const Hex digest = Of(m_image, m_rangeOf(k));
            Slot& slot = m_ring[k % m_ringSize];
            slot.Has = digest.has_value();
            if (digest)
                slot.Text = *digest;
        }
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            m_finished[first / kBatch % m_finished.size()] = true;
            while (m_done < m_count && m_finished[m_done / kBatch % m_finished.size()]) {
                m_finished[m_done / kBatch % m_finished.size()] = false;
                m_done = std::min(m_count, m_done + kBatch);
            }
            wake = m_writerWaits;
        }
        if (wake)
            m_changed.notify_all();
    }
}

}  // namespace kestrix

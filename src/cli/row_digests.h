#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <utility>
#include <vector>

namespace kestrix {

// The SHA-256 texts of rows' byte ranges, worked out in row order a batch of
// rows at a time on threads of their own (up to one per core) from the moment
// it is made, while the rest of the output is made and the rows before are
// written out. It keeps a bounded number of digests not yet asked for (by
// default 65536: a listing of no more rows is digested whole while the
// writer is still busy elsewhere).
class RowDigests {
public:
    // A row's bytes [start, end) of the image; a range not inside the image
    // has no digest.
    using Range = std::pair<int64_t, int64_t>;

    // Row i's range, asked from the digests' threads: what it reads must not
    // change while the rows are asked for.
    using RangeOf = std::function<Range(std::size_t i)>;

    // The digests of count rows, started at once, at most aheadBatches
    // batches of kBatch rows ahead of the rows asked for; image must stay
    // while the rows are asked for.
    RowDigests(std::span<const uint8_t> image, std::size_t count, RangeOf rangeOf, std::size_t aheadBatches = 128);
    // Stops the threads; digests not asked for are dropped.
    ~RowDigests();
    RowDigests(const RowDigests&) = delete;
    RowDigests& operator=(const RowDigests&) = delete;

    // The number of rows.
    std::size_t Count() const noexcept { return m_count; }

    // Row i's SHA-256 as 64 hexadecimal digits, or none when its range is not
    // inside the image. Held in place, so that no text is made on one thread
    // and freed on the other.
    using Hex = std::optional<std::array<char, 64>>;

    // The digest of range of image, worked out now.
    static Hex Of(std::span<const uint8_t> image, Range range);

    // Row i's digest, waiting for it; rows asked for out of order are worked
    // out at once. Asked from one thread only.
    Hex At(std::size_t i);

    // The threads meet once a batch of rows, not once a row: rows may be a few
    // bytes each.
    static constexpr std::size_t kBatch = 512;

private:
    static constexpr std::size_t kMostWorkers = 4;

    void Work();

    std::span<const uint8_t> m_image;
    std::size_t m_count;
    RangeOf m_rangeOf;
    // A digest's place, written by a worker before the writer reads it: left
    // unset when made, so that a ring of many rows costs no memory before it
    // fills.
    struct Slot {
        std::array<char, 64> Text;
        bool Has;
    };

    // The rows digested ahead of the writer at most, and their places.
    std::size_t m_ahead;
    std::size_t m_ringSize;
    std::unique_ptr<Slot[]> m_ring;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Under the lock: the rows taken by a worker, the rows digested, the rows
    // the writer has taken, and which of the batches from m_done on have
    // finished (a batch is never more than m_ahead rows past the writer).
    std::size_t m_taken = 0;
    std::size_t m_done = 0;
    std::size_t m_asked = 0;
    std::vector<char> m_finished;
    bool m_writerWaits = false;
    bool m_stop = false;
    // The writer's own: the row it takes next, and m_done as it last read it.
    std::size_t m_next = 0;
    std::size_t m_doneSeen = 0;
    // No worker could be started: the writer digests each row itself.
    bool m_alone = false;
    std::vector<std::thread> m_workers;
};

}  // namespace kestrix

#pragma once

#include "picture_type.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace kestrix {

// Runs the decode checks of found pictures on worker threads (one per core)
// while the search that finds them goes on: the verdicts change no walk. The
// thread that adds checks runs none of them.
class PictureCheckPool {
public:
    // check decides each picture (see PictureDecodeCheck); an empty check
    // takes every picture for complete and starts no thread.
    explicit PictureCheckPool(PictureDecodeCheck check);
    // Cancels the checks still running and waits for the workers.
    ~PictureCheckPool();
    PictureCheckPool(const PictureCheckPool&) = delete;
    PictureCheckPool& operator=(const PictureCheckPool&) = delete;

    // Queues the check of bytes (which must stay alive until Finish returns);
    // returns its ticket for Verdict, counting from 0.
    std::size_t Add(PictureType type, std::span<const uint8_t> bytes);

    // Waits for every queued check, calling keepGoing at least every 10 ms.
    // When keepGoing answers false, the checks are cancelled (the check is
    // told to stop, those not started are skipped) and the result is false
    // once every worker has stopped; true when every check ran.
    bool Finish(const std::function<bool()>& keepGoing);

    // The verdict of a ticket after Finish returned true: Complete, Damaged or
    // Unchecked (a check answering Truncated, or throwing, gives Damaged).
    PictureStatus Verdict(std::size_t ticket) const { return m_tasks[ticket].Status; }

private:
    struct Task {
        PictureType Type;
        std::span<const uint8_t> Bytes;
        PictureStatus Status = PictureStatus::Complete;
    };

    void Work();
    PictureStatus Run(const Task& task) const noexcept;
    void Stop();

    PictureDecodeCheck m_check;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_allDone;
    // Appending to a deque leaves the tasks already held where they are, so a
    // worker runs its task outside the lock while the search adds more.
    std::deque<Task> m_tasks;
    std::size_t m_next = 0;
    std::size_t m_done = 0;
    bool m_closing = false;
    std::atomic<bool> m_cancel{false};
    std::vector<std::thread> m_workers;
};

}  // namespace kestrix

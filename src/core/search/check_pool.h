#pragma once

#include "item_type.h"

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

// Runs the decode checks of found items on worker threads (one per core,
// started with the first check and woken a batch of checks at a time) while
// the search that finds them goes on: the verdicts change no walk. The thread
// that adds checks runs none of them.
class CheckPool {
public:
    // A check: the verdict on an item of type from its bytes (Complete,
    // Damaged or Unchecked); once cancel turns true the answer no longer
    // matters and it should return soon.
    using Check =
        std::function<ItemStatus(ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel)>;

    CheckPool() = default;
    // Cancels the checks still running and waits for the workers.
    ~CheckPool();
    CheckPool(const CheckPool&) = delete;
    CheckPool& operator=(const CheckPool&) = delete;

    // Queues check of the item of type whose bytes are bytes (check, and what
    // it reads, must stay alive and unchanged until Finish returns); returns
    // its ticket for Verdict, counting from 0.
    std::size_t Add(const Check& check, ItemType type, std::span<const uint8_t> bytes);

    // While held, no worker starts a check (one under way goes on). The
    // search holds them while it runs beside a load that has the other core,
    // so that it keeps up with the load, and lets them run while it waits for
    // bytes and once the load is done. Finish lets them run.
    void Hold(bool held);

    // Waits for every queued check, calling keepGoing at least every 10 ms.
    // When keepGoing answers false, the checks are cancelled (the check is
    // told to stop, those not started are skipped) and the result is false
    // once every worker has stopped; true when every check ran.
    bool Finish(const std::function<bool()>& keepGoing);

    // The verdict of a ticket after Finish returned true: Complete, Damaged or
    // Unchecked (a check answering Truncated, or throwing, gives Damaged).
    ItemStatus Verdict(std::size_t ticket) const { return m_tasks[ticket].Status; }

private:
    // Plain data, so that queueing tens of thousands of checks allocates
    // next to nothing.
    struct Task {
        const Check* Run;
        std::span<const uint8_t> Bytes;
        ItemType Type;
        ItemStatus Status = ItemStatus::Complete;
    };

    void Work();
    ItemStatus Run(const Task& task) const noexcept;
    void Stop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_allDone;
    // Appending to a deque leaves the tasks already held where they are, so a
    // worker runs its task outside the lock while the search adds more.
    std::deque<Task> m_tasks;
    std::size_t m_next = 0;
    std::size_t m_done = 0;
    bool m_closing = false;
    bool m_held = false;
    std::atomic<bool> m_cancel{false};
    std::vector<std::thread> m_workers;
};

}  // namespace kestrix

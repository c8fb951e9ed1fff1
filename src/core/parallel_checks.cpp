#include "parallel_checks.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrix {
namespace {

// While the checks run, the front end runs at least this often.
constexpr auto kCheckYieldInterval = std::chrono::milliseconds(10);

}  // namespace

bool RunChecksOnWorkers(std::size_t count,
                        const std::function<void(std::size_t k, const std::atomic<bool>& cancel)>& check,
                        const std::function<bool()>& keepGoing)
{
    if (count == 0)
        return true;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::condition_variable allDone;
    std::size_t running = 0;
    const auto work = [&] {
        for (std::size_t k; (k = next++) < count && !cancel.load(std::memory_order_relaxed);)
            check(k, cancel);
        const std::lock_guard lock(mutex);
        if (--running == 0)
            allDone.notify_all();
    };
    const std::size_t workers = std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), count);
    std::vector<std::thread> threads;
    threads.reserve(workers);
    running = workers;
    for (std::size_t k = 0; k < workers; ++k)
        threads.emplace_back(work);
    bool finished = true;
    {
        std::unique_lock lock(mutex);
        while (!allDone.wait_for(lock, kCheckYieldInterval, [&] { return running == 0; })) {
            lock.unlock();
            const bool carryOn = keepGoing();
            lock.lock();
            if (!carryOn) {
                cancel = true;
                finished = false;
                allDone.wait(lock, [&] { return running == 0; });
                break;
            }
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    return finished;
}

}  // namespace kestrix

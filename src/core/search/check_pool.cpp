#include "check_pool.h"

#include <chrono>

namespace kestrix {
namespace {

// While the checks finish, the front end runs at least this often.
constexpr auto kCheckYieldInterval = std::chrono::milliseconds(10);
// Checks queued before a sleeping worker is woken.
constexpr std::size_t kWakeBatch = 16;

}  // namespace

CheckPool::~CheckPool()
{
    m_cancel = true;
    Stop();
}

std::size_t CheckPool::Add(const Check& check, ItemType type, std::span<const uint8_t> bytes)
{
    const std::lock_guard lock(m_mutex);
    m_tasks.push_back({&check, bytes, type});
    if (m_workers.empty()) {
        const unsigned count = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned k = 0; k < count; ++k)
            m_workers.emplace_back([this] { Work(); });
    }
    // A worker is woken for a batch of checks, not for each: waking one costs
    // about as much as a small check. Finish wakes them for the rest.
    if (!m_held && m_tasks.size() - m_next >= kWakeBatch)
        m_wake.notify_one();
    return m_tasks.size() - 1;
}

void CheckPool::Hold(bool held)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_held == held)
            return;
        m_held = held;
    }
    if (!held)
        m_wake.notify_all();
}

bool CheckPool::Finish(const std::function<bool()>& keepGoing)
{
    bool finished = true;
    {
        std::unique_lock lock(m_mutex);
        m_closing = true;
        m_held = false;
        m_wake.notify_all();
        while (!m_allDone.wait_for(lock, kCheckYieldInterval, [this] { return m_done == m_tasks.size(); })) {
            lock.unlock();
            const bool carryOn = !keepGoing || keepGoing();
            lock.lock();
            if (!carryOn) {
                m_cancel = true;
                m_wake.notify_all();
                finished = false;
                break;
            }
        }
    }
    Stop();
    return finished;
}

void CheckPool::Work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_cancel || m_closing || (!m_held && m_next < m_tasks.size()); });
        if (m_cancel)
            return;
        if (m_next == m_tasks.size())
            return;
        Task& task = m_tasks[m_next++];
        lock.unlock();
        task.Status = Run(task);
        lock.lock();
        if (++m_done == m_tasks.size())
            m_allDone.notify_all();
    }
}

ItemStatus CheckPool::Run(const Task& task) const noexcept
{
    try {
        const ItemStatus status = (*task.Run)(task.Type, task.Bytes, m_cancel);
        return status == ItemStatus::Truncated ? ItemStatus::Damaged : status;
    } catch (...) {
        // A picture the decoder cannot even hold does not decode in full.
        return ItemStatus::Damaged;
    }
}

void CheckPool::Stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        if (worker.joinable())
            worker.join();
    m_workers.clear();
}

}  // namespace kestrix

#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

namespace kestrix {

// Runs check(k, cancel) for every k in 0 .. count - 1, in no fixed order, on
// worker threads (one per core, never more than count); the calling thread runs
// none of them and calls keepGoing at least every 10 ms while they work. When
// keepGoing answers false, cancel turns true (a check should then return soon),
// the checks not yet started are skipped, and the call returns false once every
// worker has stopped; true when every check ran. check must not throw.
bool RunChecksOnWorkers(std::size_t count,
                        const std::function<void(std::size_t k, const std::atomic<bool>& cancel)>& check,
                        const std::function<bool()>& keepGoing);

}  // namespace kestrix

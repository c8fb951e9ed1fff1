#pragma once

#include "format_table.h"
#include "load_watermark.h"
#include "walk_result.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <type_traits>

namespace kestrix {

// Thrown out of a search when the image stops loading before its end.
struct LoadStopped {};

// The bytes of an image a search reads while they may still be loading: it
// waits for the bytes it needs, and walks once the bytes a walk reads are in.
class ArrivingImage {
public:
    // arriving: the image's load while it is under way, or null (all is in).
    ArrivingImage(std::span<const uint8_t> image, const LoadWatermark* arriving) noexcept
        : m_image(image), m_size(static_cast<int64_t>(image.size())), m_arriving(arriving),
          m_loaded(arriving != nullptr ? 0 : m_size)
    {
    }

    // Waits until the bytes before end (at most the image's end) are in;
    // returns how many are. Throws LoadStopped when the load failed.
    int64_t Need(int64_t end)
    {
        end = std::min(end, m_size);
        if (m_loaded >= end)
            return m_loaded;
        if (const int64_t loaded = m_arriving->Loaded(); loaded >= end)
            return m_loaded = loaded;
        if (m_waitHook)
            m_waitHook(true);
        // Waiting for more than is needed spares the loader and the search a
        // wake-up for every chunk the search would take as soon as it is in.
        const int64_t loaded = m_arriving->WaitFor(std::min(m_size, end + kWaitAhead));
        if (loaded >= 0)
            m_loaded = loaded;
        if (m_waitHook)
            m_waitHook(false);
        if (loaded < 0)
            throw LoadStopped{};
        return loaded;
    }

    // Whether bytes of the image are still to come; does not wait.
    bool Loading() noexcept
    {
        if (m_loaded < m_size)
            m_loaded = std::max<int64_t>(m_loaded, m_arriving->Loaded());
        return m_loaded < m_size;
    }

    // hook(true) is called before Need waits for the load, hook(false) after.
    void SetWaitHook(std::function<void(bool waiting)> hook) { m_waitHook = std::move(hook); }

    // walk (giving a WalkResult or a FormatWalk) over the bytes from start to
    // end, once the bytes it reads are in: the same answer as over all of
    // them. A walk starts once kWalkLead bytes are in, and its answer stands
    // only when it read kWalkMargin short of the bytes it was given (else it
    // walks again over twice as many): no walk then reads near the end of
    // what it was given, so none can tell that end from the image's.
    template <typename Walk>
    std::invoke_result_t<const Walk&, std::span<const uint8_t>> WalkLoaded(int64_t start, int64_t end, const Walk& walk)
    {
        for (int64_t want = std::min(end, start + kWalkLead);;) {
            const int64_t loaded = std::min(end, Need(want));
            auto walked =
                walk(m_image.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(loaded - start)));
            if (loaded == end || ResultOf(walked).Examined + kWalkMargin <= loaded - start)
                return walked;
            want = std::min(end, start + 2 * (loaded - start));
        }
    }

private:
    static constexpr int64_t kWalkLead = int64_t{1} << 20;
    static constexpr int64_t kWalkMargin = int64_t{64} << 10;
    static constexpr int64_t kWaitAhead = int64_t{256} << 10;

    static const WalkResult& ResultOf(const WalkResult& walk) noexcept { return walk; }
    static const WalkResult& ResultOf(const FormatWalk& walk) noexcept { return walk.Walk; }

    std::span<const uint8_t> m_image;
    int64_t m_size;
    const LoadWatermark* m_arriving;
    // The bytes known to be in.
    int64_t m_loaded;
    std::function<void(bool)> m_waitHook;
};

}  // namespace kestrix

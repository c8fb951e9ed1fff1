#include "gif_structure.h"

#include <array>
#include <cstring>

namespace kestrix {
namespace {

constexpr int kMaxCodeBits = 12;
constexpr int kTableSize = 1 << kMaxCodeBits;

uint16_t Le16(const uint8_t* p) noexcept
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

int32_t ColourTableBytes(uint8_t packed) noexcept
{
    return 3 << ((packed & 0x07) + 1);
}

// Runs the LZW code stream of one image only as far as to know how many pixels
// it gives: every table entry is represented by the length of its string.
class LzwPixelCounter {
public:
    enum class State : uint8_t { Counting, Whole, EndedShort, Damaged };

    LzwPixelCounter(int minCodeSize, int64_t pixelsNeeded) : m_needed(pixelsNeeded)
    {
        if (minCodeSize < 1 || minCodeSize >= kMaxCodeBits) {
            m_state = State::Damaged;
            return;
        }
        m_clear = 1 << minCodeSize;
        m_minCodeSize = minCodeSize;
        for (int code = 0; code < m_clear; ++code)
            m_lengths[static_cast<std::size_t>(code)] = 1;
        Reset();
        if (m_needed <= 0)
            m_state = State::Whole;
    }

    State Current() const noexcept { return m_state; }

    void Feed(const uint8_t* data, int32_t count) noexcept
    {
        for (int32_t i = 0; i < count && m_state == State::Counting; ++i) {
            m_bits |= uint32_t{data[i]} << m_bitCount;
            m_bitCount += 8;
            while (m_bitCount >= m_width && m_state == State::Counting) {
                const int code = static_cast<int>(m_bits & ((1u << m_width) - 1));
                m_bits >>= m_width;
                m_bitCount -= m_width;
                Take(code);
            }
        }
    }

    // The sub-blocks have ended: whatever was not counted yet never comes.
    void Finish() noexcept
    {
        if (m_state == State::Counting)
            m_state = State::EndedShort;
    }

private:
    void Reset() noexcept
    {
        m_next = m_clear + 2;
        m_width = m_minCodeSize + 1;
        m_previous = -1;
    }

    void Take(int code) noexcept
    {
        if (code == m_clear) {
            Reset();
            return;
        }
        if (code == m_clear + 1) {
            m_state = State::EndedShort;
            return;
        }
        uint32_t length = 0;
        if (code < m_next) {
            length = m_lengths[static_cast<std::size_t>(code)];
        } else if (code == m_next && m_previous >= 0) {
            length = m_lengths[static_cast<std::size_t>(m_previous)] + 1;
        } else {
            m_state = State::Damaged;
            return;
        }
        if (m_previous >= 0 && m_next < kTableSize) {
            m_lengths[static_cast<std::size_t>(m_next)] = m_lengths[static_cast<std::size_t>(m_previous)] + 1;
            ++m_next;
            // Not == : with a minimum code size of 1 the first free code is
            // already 1 << width, and the width grows at the first entry.
            if (m_next >= (1 << m_width) && m_width < kMaxCodeBits)
                ++m_width;
        }
        m_previous = code;
        m_produced += length;
        if (m_produced >= m_needed)
            m_state = State::Whole;
    }

    std::array<uint32_t, kTableSize> m_lengths{};
    int64_t m_needed = 0;
    int64_t m_produced = 0;
    uint32_t m_bits = 0;
    int m_bitCount = 0;
    int m_minCodeSize = 0;
    int m_clear = 0;
    int m_next = 0;
    int m_width = 0;
    int m_previous = -1;
    State m_state = State::Counting;
};

}  // namespace

GifLayout ReadGifLayout(std::span<const uint8_t> bytes)
{
    GifLayout layout;
    const uint8_t* d = bytes.data();
    const int64_t n = static_cast<int64_t>(bytes.size());
    if (n < 6 || (std::memcmp(d, "GIF87a", 6) != 0 && std::memcmp(d, "GIF89a", 6) != 0)) {
        layout.Fault = PictureFault::NotRecognised;
        return layout;
    }
    auto fail = [&layout](PictureFault fault) {
        layout.Fault = fault;
        return layout;
    };
    if (n < 13)
        return fail(PictureFault::CutShort);
    layout.ScreenWidth = Le16(d + 6);
    layout.ScreenHeight = Le16(d + 8);
    int64_t p = 13;
    if ((d[10] & 0x80) != 0)
        p += ColourTableBytes(d[10]);
    if (p > n)
        return fail(PictureFault::CutShort);

    uint8_t disposal = 0;
    while (p < n && d[p] != 0x3B) {
        if (d[p] == 0x21) {
            // A graphic control extension: label F9, a sub-block of 4 bytes whose first is packed.
            if (p + 3 < n && d[p + 1] == 0xF9 && d[p + 2] >= 1)
                disposal = static_cast<uint8_t>((d[p + 3] >> 2) & 0x07);
            p += 2;
            while (p < n && d[p] != 0)
                p += 1 + d[p];
            if (p >= n)
                return fail(PictureFault::CutShort);
            ++p;
        } else if (d[p] == 0x2C) {
            if (p + 10 > n)
                return fail(PictureFault::CutShort);
            const GifImageRect rect{Le16(d + p + 1), Le16(d + p + 3), Le16(d + p + 5), Le16(d + p + 7), disposal};
            disposal = 0;
            const uint8_t flags = d[p + 9];
            p += 10;
            if ((flags & 0x80) != 0)
                p += ColourTableBytes(flags);
            else if ((d[10] & 0x80) == 0)
                layout.EveryImageHasColours = false;
            if (p >= n)
                return fail(PictureFault::CutShort);
            LzwPixelCounter counter(d[p++], int64_t{rect.Width} * rect.Height);
            while (p < n && d[p] != 0) {
                const int32_t count = d[p];
                if (p + 1 + count > n)
                    return fail(PictureFault::CutShort);
                counter.Feed(d + p + 1, count);
                p += 1 + count;
            }
            if (p >= n)
                return fail(PictureFault::CutShort);
            ++p;
            counter.Finish();
            if (counter.Current() == LzwPixelCounter::State::Damaged)
                return fail(PictureFault::Damaged);
            if (counter.Current() != LzwPixelCounter::State::Whole)
                return fail(PictureFault::CutShort);
            layout.Images.push_back(rect);
        } else {
            break;
        }
    }
    if (layout.Images.empty())
        return fail(PictureFault::Damaged);
    return layout;
}

}  // namespace kestrix

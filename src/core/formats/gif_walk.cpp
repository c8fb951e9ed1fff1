#include "gif_walk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace kestrix {
namespace {

constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImage = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr int64_t kScreenEnd = 13;
// Image descriptor: separator, left, top, width, height, packed field.
constexpr int64_t kDescriptorSize = 10;
// LZW bytes read between two looks at the cancel flag.
constexpr int64_t kCancelCheckInterval = int64_t{1} << 20;

int64_t ColourTableSize(uint8_t packed) noexcept
{
    return (packed & 0x80) != 0 ? int64_t{3} << ((packed & 0x07) + 1) : 0;
}

// Whether the first sub-block of an extension of label has the size its kind
// fixes: graphic control 4, application 11, plain text 12; any for the others.
bool KnownExtensionBlockFits(uint8_t label, uint8_t size) noexcept
{
    switch (label) {
    case 0xF9: return size == 4;
    case 0xFF: return size == 11;
    case 0x01: return size == 12;
    default: return true;
    }
}

constexpr int kMaxCodeBits = 12;
constexpr int kTableSize = 1 << kMaxCodeBits;

// Runs the LZW code stream of one image only as far as to know how many pixels
// it gives: every table entry is represented by the length of its string.
class LzwPixelCounter {
public:
    enum class State : uint8_t { Counting, Whole, EndedShort, Damaged };

    LzwPixelCounter(int minCodeSize, int64_t pixelsNeeded) : m_needed(pixelsNeeded)
    {
        if (minCodeSize < 1 || minCodeSize > kLargestMinCodeSize) {
            m_state = State::Damaged;
            return;
        }
        m_clear = 1 << minCodeSize;
        m_minCodeSize = minCodeSize;
        for (int code = 0; code < m_clear; ++code)
            m_lengths[static_cast<std::size_t>(code)] = 1;
        m_lengths[static_cast<std::size_t>(m_clear)] = 0;
        m_lengths[static_cast<std::size_t>(m_clear) + 1] = 0;
        Reset();
    }

    State Current() const noexcept { return m_state; }
    // Every pixel given, or the end code read: any further code is no data.
    bool Done() const noexcept { return m_ended || m_produced >= m_needed; }

    // Every code up to the end code must be valid, also past the last pixel:
    // decoders read them all, and an invalid one throws a reader off the
    // blocks that follow.
    void Feed(const uint8_t* data, int32_t count) noexcept
    {
        if (m_state != State::Counting || m_ended)
            return;
        // The loop works on locals, so that the codes stay in registers.
        Registers r{m_bits, m_bitCount, m_width, m_next, m_previousLength, m_produced};
        const uint8_t* p = data;
        const uint8_t* const end = data + count;
        // While eight bytes are left, one load tops the bits up to at least
        // 56, enough for four codes of 12 bits: the loop then branches only
        // on rare codes. The bytes are taken whole; bits of the next byte may
        // sit above bitCount, and the next load puts the same bits there.
        while (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, sizeof word);
            r.Bits |= word << r.BitCount;
            p += (63 - r.BitCount) >> 3;
            r.BitCount |= 56;
            for (int k = 0; k < 4; ++k)
                if (!Take(r)) {
                    Store(r);
                    return;
                }
        }
        for (;;) {
            while (r.BitCount <= 56 && p < end) {
                r.Bits |= uint64_t{*p++} << r.BitCount;
                r.BitCount += 8;
            }
            if (r.BitCount < r.Width)
                break;
            while (r.BitCount >= r.Width)
                if (!Take(r)) {
                    Store(r);
                    return;
                }
        }
        Store(r);
    }

    // The sub-blocks have ended: whatever was not counted yet never comes.
    void Finish() noexcept
    {
        if (m_state == State::Counting)
            m_state = m_produced >= m_needed ? State::Whole : State::EndedShort;
    }

private:
    struct Registers {
        uint64_t Bits;
        int BitCount;
        int Width;
        int Next;
        // The string length of the code before, 0 right after a clear code.
        uint32_t PreviousLength;
        int64_t Produced;
    };

    // Reads one code from r (r.BitCount >= r.Width); false once the codes have
    // ended, well or badly. The new table entry is the string before plus the
    // first letter of this one, so its length is known before the code is
    // looked up, and a code naming the entry it makes (KwKwK) needs no case
    // of its own. The clear and end codes have length 0 in the table.
    bool Take(Registers& r) noexcept
    {
        const auto code = static_cast<uint32_t>(r.Bits & ((uint64_t{1} << r.Width) - 1));
        r.Bits >>= r.Width;
        r.BitCount -= r.Width;
        if (r.PreviousLength != 0 && r.Next < kTableSize) {
            m_lengths[static_cast<std::size_t>(r.Next)] = static_cast<uint16_t>(r.PreviousLength + 1);
            ++r.Next;
            // Not == : with a minimum code size of 1 the first free code is
            // already 1 << width, and the width grows at the first entry.
            if (r.Next >= (1 << r.Width) && r.Width < kMaxCodeBits)
                ++r.Width;
        }
        const uint32_t length = code < static_cast<uint32_t>(r.Next) ? m_lengths[code] : 0;
        if (length == 0) [[unlikely]]
            return TakeRare(r, code);
        r.PreviousLength = length;
        r.Produced += length;
        return true;
    }

    // A clear code, the end code or an invalid one, read by Take (which may
    // have made an entry for it: a clear code drops the table, the others end).
    bool TakeRare(Registers& r, uint32_t code) noexcept
    {
        if (code == static_cast<uint32_t>(m_clear)) {
            r.Next = m_clear + 2;
            r.Width = m_minCodeSize + 1;
            r.PreviousLength = 0;
            return true;
        }
        if (code == static_cast<uint32_t>(m_clear) + 1)
            m_ended = true;
        else
            m_state = State::Damaged;
        r.BitCount = 0;
        return false;
    }

    void Store(const Registers& r) noexcept
    {
        m_bits = r.Bits;
        m_bitCount = r.BitCount;
        m_width = r.Width;
        m_next = r.Next;
        m_previousLength = r.PreviousLength;
        m_produced = r.Produced;
    }

    void Reset() noexcept
    {
        m_next = m_clear + 2;
        m_width = m_minCodeSize + 1;
        m_previousLength = 0;
    }

    // Written before it is read: the codes below m_next only.
    std::array<uint16_t, kTableSize> m_lengths;
    int64_t m_needed = 0;
    int64_t m_produced = 0;
    uint64_t m_bits = 0;
    int m_bitCount = 0;
    int m_minCodeSize = 0;
    int m_clear = 0;
    int m_next = 0;
    int m_width = 0;
    uint32_t m_previousLength = 0;
    bool m_ended = false;
    State m_state = State::Counting;
};

class GifWalker {
public:
    explicit GifWalker(std::span<const uint8_t> bytes) : m_bytes(bytes), m_size(static_cast<int64_t>(bytes.size())) {}

    WalkResult Walk() noexcept
    {
        if (!HeaderIsSound())
            return {};
        m_result.Width = static_cast<int32_t>(ReadLe16(m_bytes, 6));
        m_result.Height = static_cast<int32_t>(ReadLe16(m_bytes, 8));
        m_p = kScreenEnd + ColourTableSize(m_bytes[10]);
        m_accepted = m_p;
        m_firstBlock = m_p;
        for (;;) {
            if (m_p >= m_size)
                return Finish(WalkVerdict::Truncated);
            switch (m_bytes[static_cast<std::size_t>(m_p)]) {
            case kTrailer:
                m_accepted = ++m_p;
                m_result.HasImageData = m_result.Frames > 0;
                return Finish(WalkVerdict::Whole);
            case kExtension:
                if (m_p + 2 > m_size)
                    return Finish(WalkVerdict::Truncated);
                m_p += 2;
                if (!SkipSubBlocks())
                    return Finish(WalkVerdict::Truncated);
                break;
            case kImage:
                if (!SkipImage())
                    return Finish(WalkVerdict::Truncated);
                break;
            default: return Finish(WalkVerdict::Truncated);
            }
        }
    }

private:
    uint8_t At(int64_t offset) const noexcept { return m_bytes[static_cast<std::size_t>(offset)]; }

    // Signature, a screen of at least 1 x 1, the whole global colour table and a
    // first block that looks like GIF structure.
    bool HeaderIsSound() const noexcept
    {
        if (m_size < kScreenEnd || At(0) != 'G' || At(1) != 'I' || At(2) != 'F' || At(3) != '8' ||
            (At(4) != '7' && At(4) != '9') || At(5) != 'a')
            return false;
        if (ReadLe16(m_bytes, 6) == 0 || ReadLe16(m_bytes, 8) == 0)
            return false;
        return FirstBlockIsSound(kScreenEnd + ColourTableSize(At(10)));
    }

    bool FirstBlockIsSound(int64_t p) const noexcept
    {
        if (p + 3 > m_size)
            return false;
        if (At(p) == kImage)
            return p + kDescriptorSize < m_size && ImageDataFollows(p) != ImageData::Impossible;
        if (At(p) != kExtension)
            return false;
        switch (At(p + 1)) {
        case 0xF9:
        case 0xFF:
        case 0x01: return KnownExtensionBlockFits(At(p + 1), At(p + 2));
        case 0xFE:  // comment
            return true;
        default: return UnknownExtensionIsSound(p);
        }
    }

    // An extension of another label: its sub-blocks must end and a block follow.
    bool UnknownExtensionIsSound(int64_t p) const noexcept
    {
        for (p += 2; p < m_size && At(p) != 0; p += 1 + At(p)) {
        }
        if (p + 1 >= m_size)
            return false;
        const uint8_t next = At(p + 1);
        return next == kExtension || next == kImage || next == kTrailer;
    }

    enum class ImageData { Present, Absent, Impossible };

    // What follows the descriptor at p and its local colour table: an LZW minimum
    // code size, or (for an image of zero width or height) no data at all.
    // Requires the descriptor inside the bytes.
    ImageData ImageDataFollows(int64_t p) const noexcept
    {
        const int64_t at = p + kDescriptorSize + ColourTableSize(At(p + 9));
        if (at >= m_size)
            return ImageData::Impossible;
        const uint8_t codeSize = At(at);
        if (codeSize >= 1 && codeSize <= kLargestMinCodeSize)
            return ImageData::Present;
        const bool empty = ReadLe16(m_bytes, p + 5) == 0 || ReadLe16(m_bytes, p + 7) == 0;
        if (empty && (codeSize == kExtension || codeSize == kImage || codeSize == kTrailer))
            return ImageData::Absent;
        return ImageData::Impossible;
    }

    bool SkipImage() noexcept
    {
        if (m_p + kDescriptorSize > m_size)
            return false;
        m_imageAt = m_p;
        const ImageData data = ImageDataFollows(m_p);
        if (data == ImageData::Impossible)
            return false;
        m_p += kDescriptorSize + ColourTableSize(At(m_p + 9));
        m_accepted = m_p;
        ++m_result.Frames;
        if (data == ImageData::Absent)
            return true;
        m_codeSizeAt = m_p;
        ++m_p;
        const bool whole = SkipSubBlocks();
        m_codeSizeAt = -1;
        m_lzw.reset();
        return whole;
    }

    // Steps over data sub-blocks up to and including the zero-length one;
    // false when the chain is cut short or runs into erased flash.
    // kErasedRunLength bytes FFh in a chain are erased flash, cut where the run
    // begins: a reader that took them for blocks of 255 would step over the
    // erasure into whatever follows it, taking that for the rest of the
    // picture. In an image's LZW data all-ones bits are codes of all ones,
    // which are data only where the table is full (12-bit code 4095, a
    // uniform stretch after the table filled) and pixels are still missing:
    // there the codes read so far decide, run lazily so that only chains with
    // such a run pay for them.
    bool SkipSubBlocks() noexcept
    {
        int64_t runStart = -1;
        for (;;) {
            if (m_p >= m_size)
                return false;
            const uint8_t length = At(m_p);
            if (length == 0) {
                m_accepted = ++m_p;
                return true;
            }
            const int64_t blockEnd = std::min(m_size, m_p + 1 + length);
            for (int64_t q = m_p; q < blockEnd;) {
                // Most blocks hold no FFh at all: find the next one in one go.
                if (runStart < 0) {
                    const auto* hit = static_cast<const uint8_t*>(
                        std::memchr(m_bytes.data() + q, 0xFF, static_cast<std::size_t>(blockEnd - q)));
                    if (hit == nullptr)
                        break;
                    q = hit - m_bytes.data();
                    runStart = q;
                }
                for (; q < blockEnd && At(q) == 0xFF; ++q)
                    if (q + 1 - runStart >= kErasedRunLength && !CodesGoOn(q + 1)) {
                        m_accepted = runStart;
                        m_p = q + 1;
                        return false;
                    }
                if (q < blockEnd) {
                    runStart = -1;
                    ++q;
                }
            }
            if (m_p + 1 + length > m_size)
                return false;
            m_p += 1 + length;
            m_accepted = m_p;
        }
    }

    // Whether the image's LZW codes up to end (a run of FFh reaching it) are
    // valid and still owe pixels; false outside an image's data.
    bool CodesGoOn(int64_t end) noexcept
    {
        if (m_codeSizeAt < 0)
            return false;
        if (!m_lzw) {
            const int64_t pixels = int64_t{ReadLe16(m_bytes, m_imageAt + 5)} * ReadLe16(m_bytes, m_imageAt + 7);
            m_lzw.emplace(At(m_codeSizeAt), pixels);
            m_fedBlock = m_codeSizeAt + 1;
            m_fedTo = m_fedBlock + 1;
        }
        // Feeds the data bytes of the blocks from where the last look stopped.
        while (m_fedTo < end && m_lzw->Current() == LzwPixelCounter::State::Counting) {
            const int64_t blockEnd = m_fedBlock + 1 + At(m_fedBlock);
            const int64_t to = std::min({end, blockEnd, m_size});
            if (m_fedTo < to)
                m_lzw->Feed(m_bytes.data() + m_fedTo, static_cast<int32_t>(to - m_fedTo));
            m_fedTo = to;
            if (m_fedTo == blockEnd) {
                m_fedBlock = blockEnd;
                m_fedTo = blockEnd + 1;
            }
        }
        return m_lzw->Current() == LzwPixelCounter::State::Counting && !m_lzw->Done();
    }

    WalkResult Finish(WalkVerdict verdict) noexcept
    {
        m_result.Verdict = verdict;
        m_result.End = static_cast<int32_t>(m_accepted);
        m_result.SureEnd = static_cast<int32_t>(std::min(m_firstBlock, m_accepted));
        m_result.Examined = std::min(m_size, std::max(m_p, m_accepted) + 1);
        return m_result;
    }

    std::span<const uint8_t> m_bytes;
    int64_t m_size;
    int64_t m_p = 0;
    int64_t m_accepted = 0;
    int64_t m_firstBlock = 0;
    WalkResult m_result;
    // The image being stepped over, and how far its LZW codes were counted.
    int64_t m_imageAt = 0;
    int64_t m_codeSizeAt = -1;
    int64_t m_fedBlock = 0;
    int64_t m_fedTo = 0;
    std::optional<LzwPixelCounter> m_lzw;
};

}  // namespace

WalkResult WalkGif(std::span<const uint8_t> bytes) noexcept
{
    return GifWalker(bytes).Walk();
}

GifLayout ReadGifLayout(std::span<const uint8_t> bytes, const std::atomic<bool>* cancel)
{
    GifLayout layout;
    const uint8_t* d = bytes.data();
    const auto n = static_cast<int64_t>(bytes.size());
    if (n < 6 || (std::memcmp(d, "GIF87a", 6) != 0 && std::memcmp(d, "GIF89a", 6) != 0)) {
        layout.Fault = PictureFault::NotRecognised;
        return layout;
    }
    auto fail = [&layout](PictureFault fault) {
        layout.Fault = fault;
        return layout;
    };
    if (n < kScreenEnd)
        return fail(PictureFault::CutShort);
    layout.ScreenWidth = static_cast<int32_t>(ReadLe16(bytes, 6));
    layout.ScreenHeight = static_cast<int32_t>(ReadLe16(bytes, 8));
    if (layout.ScreenWidth == 0 || layout.ScreenHeight == 0)
        return fail(PictureFault::Damaged);
    if (int64_t{layout.ScreenWidth} * layout.ScreenHeight > kMaxPicturePixels)
        return fail(PictureFault::TooLarge);
    const bool screenHasColours = (d[10] & 0x80) != 0;
    int64_t p = kScreenEnd + ColourTableSize(d[10]);
    if (p > n)
        return fail(PictureFault::CutShort);

    uint8_t disposal = 0;
    int64_t sinceCancelCheck = 0;
    while (p < n && d[p] != kTrailer) {
        if (d[p] == kExtension) {
            // The first sub-block of each known extension has a fixed size (a
            // graphic control's 4 bytes start with the packed field); a reader
            // that meets another size loses its way.
            if (p + 2 < n && !KnownExtensionBlockFits(d[p + 1], d[p + 2]))
                return fail(PictureFault::Damaged);
            if (p + 3 < n && d[p + 1] == 0xF9)
                disposal = static_cast<uint8_t>((d[p + 3] >> 2) & 0x07);
            p += 2;
            while (p < n && d[p] != 0)
                p += 1 + d[p];
            if (p >= n)
                return fail(PictureFault::CutShort);
            ++p;
        } else if (d[p] == kImage) {
            if (p + kDescriptorSize > n)
                return fail(PictureFault::CutShort);
            const GifImageRect rect{
                static_cast<int32_t>(ReadLe16(bytes, p + 1)), static_cast<int32_t>(ReadLe16(bytes, p + 3)),
                static_cast<int32_t>(ReadLe16(bytes, p + 5)), static_cast<int32_t>(ReadLe16(bytes, p + 7)), disposal};
            disposal = 0;
            if (int64_t{rect.Width} * rect.Height > kMaxPicturePixels)
                return fail(PictureFault::TooLarge);
            // An image without pixels that lies outside the screen is one a
            // reader cannot place: it refuses the whole picture.
            if ((rect.Width == 0 || rect.Height == 0) &&
                (rect.Left >= layout.ScreenWidth || rect.Top >= layout.ScreenHeight))
                return fail(PictureFault::Damaged);
            const uint8_t flags = d[p + 9];
            p += kDescriptorSize + ColourTableSize(flags);
            if ((flags & 0x80) == 0 && !screenHasColours)
                return fail(PictureFault::Damaged);
            if (p >= n)
                return fail(PictureFault::CutShort);
            LzwPixelCounter counter(d[p++], int64_t{rect.Width} * rect.Height);
            while (p < n && d[p] != 0) {
                const int32_t count = d[p];
                if (p + 1 + count > n)
                    return fail(PictureFault::CutShort);
                counter.Feed(d + p + 1, count);
                p += 1 + count;
                // A long image is looked at in pieces, so that a cancel takes effect soon.
                if ((sinceCancelCheck += count) >= kCancelCheckInterval) {
                    sinceCancelCheck = 0;
                    if (cancel != nullptr && cancel->load(std::memory_order_relaxed))
                        return fail(PictureFault::Cancelled);
                }
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

#include "gif_walk.h"

#include <algorithm>

namespace kestrix {
namespace {

constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImage = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr int64_t kScreenEnd = 13;
// Image descriptor: separator, left, top, width, height, packed field.
constexpr int64_t kDescriptorSize = 10;
constexpr uint8_t kLargestCodeSize = 12;

int64_t ColourTableSize(uint8_t packed) noexcept
{
    return (packed & 0x80) != 0 ? int64_t{3} << ((packed & 0x07) + 1) : 0;
}

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
        // The first sub-block of each known extension has a fixed size.
        switch (At(p + 1)) {
        case 0xF9:  // graphic control
            return At(p + 2) == 4;
        case 0xFF:  // application
            return At(p + 2) == 11;
        case 0x01:  // plain text
            return At(p + 2) == 12;
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
        if (codeSize >= 1 && codeSize <= kLargestCodeSize)
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
        const ImageData data = ImageDataFollows(m_p);
        if (data == ImageData::Impossible)
            return false;
        m_p += kDescriptorSize + ColourTableSize(At(m_p + 9));
        m_accepted = m_p;
        ++m_result.Frames;
        if (data == ImageData::Absent)
            return true;
        ++m_p;
        return SkipSubBlocks();
    }

    // Steps over data sub-blocks up to and including the zero-length one;
    // false when the chain is cut short or runs into erased flash.
    bool SkipSubBlocks() noexcept
    {
        const int64_t chainStart = m_p;
        for (;;) {
            if (m_p >= m_size)
                return false;
            const uint8_t length = At(m_p);
            if (length == 0) {
                m_accepted = ++m_p;
                return true;
            }
            if (length == 0xFF && m_p + kErasedRunLength <= m_size &&
                IsRunOf(m_bytes, m_p + 1, kErasedRunLength - 1, 0xFF)) {
                // The erased flash began where its run of FFh did, inside the last
                // sub-block taken.
                while (m_accepted > chainStart && At(m_accepted - 1) == 0xFF)
                    --m_accepted;
                return false;
            }
            if (m_p + 1 + length > m_size)
                return false;
            m_p += 1 + length;
            m_accepted = m_p;
        }
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
};

}  // namespace

WalkResult WalkGif(std::span<const uint8_t> bytes) noexcept
{
    return GifWalker(bytes).Walk();
}

}  // namespace kestrix

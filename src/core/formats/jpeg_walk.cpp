#include "jpeg_walk.h"

#include <algorithm>
#include <cstring>

namespace kestrix {
namespace {

constexpr uint8_t kMarkerPrefix = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kStuffedZero = 0x00;

bool IsRestart(uint8_t code) noexcept
{
    return code >= 0xD0 && code <= 0xD7;
}

bool IsFrameHeader(uint8_t code) noexcept
{
    // C4 (DHT), C8 (JPG) and CC (DAC) share the range without being frames.
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Segments that may stand between the start of the picture and the frame
// header, and between scans: tables, restart interval, comments, application data.
bool IsTableOrMiscSegment(uint8_t code) noexcept
{
    return code == 0xC4 || code == 0xCC || code == 0xDB || code == 0xDD || code == 0xFE ||
           (code >= 0xE0 && code <= 0xEF);
}

// DNL, DHP and EXP occur only after the frame header.
bool IsLateSegment(uint8_t code) noexcept
{
    return code >= 0xDC && code <= 0xDF && code != 0xDD;
}

class JpegWalker {
public:
    explicit JpegWalker(std::span<const uint8_t> bytes) : m_bytes(bytes), m_size(static_cast<int64_t>(bytes.size())) {}

    WalkResult Walk() noexcept
    {
        if (m_size < 4 || At(0) != kMarkerPrefix || At(1) != kStartOfImage || At(2) != kMarkerPrefix)
            return {};
        m_p = 2;
        m_accepted = 2;
        for (;;) {
            uint8_t code = 0;
            if (!ReadMarker(code))
                return Stop();
            if (code == kEndOfImage) {
                if (!m_sawFrame)
                    return {};
                m_accepted = m_p;
                m_result.HasImageData = m_scans > 0;
                return Finish(WalkVerdict::Whole);
            }
            if (!SkipSegment(code))
                return Stop();
            if (code == kStartOfScan) {
                if (m_scans == 0)
                    m_firstScanData = m_p;
                ++m_scans;
                if (!SkipEntropyCodedData())
                    return Stop();
            }
        }
    }

private:
    uint8_t At(int64_t offset) const noexcept { return m_bytes[static_cast<std::size_t>(offset)]; }

    // Reads the marker at m_p (fill bytes FFh allowed before its code) and leaves
    // m_p after it; false when none is there.
    bool ReadMarker(uint8_t& code) noexcept
    {
        if (m_p >= m_size || At(m_p) != kMarkerPrefix)
            return false;
        int64_t q = m_p + 1;
        while (q < m_size && At(q) == kMarkerPrefix) {
            if (q - m_p >= kErasedRunLength)
                return false;
            ++q;
        }
        if (q >= m_size)
            return false;
        code = At(q);
        m_p = q + 1;
        return true;
    }

    // The segment whose marker code was just read; false when it cannot stand here.
    bool SkipSegment(uint8_t code) noexcept
    {
        const bool allowed = IsTableOrMiscSegment(code) || (IsFrameHeader(code) && !m_sawFrame) ||
                             (m_sawFrame && (code == kStartOfScan || IsLateSegment(code)));
        if (!allowed || m_p + 2 > m_size)
            return false;
        const int64_t length = ReadBe16(m_bytes, m_p);
        const int64_t end = m_p + length;
        if (length < 2 || end > m_size)
            return false;
        if (IsFrameHeader(code) && !ReadFrameHeader(length))
            return false;
        if (code == kStartOfScan && !ScanHeaderIsSound(length))
            return false;
        m_p = end;
        m_accepted = end;
        return true;
    }

    // Precision, height, width and the components of the frame header at m_p.
    bool ReadFrameHeader(int64_t length) noexcept
    {
        if (length < 8)
            return false;
        const uint8_t precision = At(m_p + 2);
        const uint32_t height = ReadBe16(m_bytes, m_p + 3);
        const uint32_t width = ReadBe16(m_bytes, m_p + 5);
        const uint8_t components = At(m_p + 7);
        if (precision < 2 || precision > 16 || width == 0 || height == 0 || components == 0 ||
            length != 8 + 3 * static_cast<int64_t>(components))
            return false;
        m_sawFrame = true;
        m_result.Width = static_cast<int32_t>(width);
        m_result.Height = static_cast<int32_t>(height);
        return true;
    }

    bool ScanHeaderIsSound(int64_t length) const noexcept
    {
        if (length < 3)
            return false;
        const uint8_t components = At(m_p + 2);
        return components >= 1 && components <= 4 && length == 6 + 2 * static_cast<int64_t>(components);
    }

    // Steps over entropy-coded data up to the first byte FFh of the marker that
    // ends it; false when the data run into the end of the bytes or erased flash.
    bool SkipEntropyCodedData() noexcept
    {
        int64_t q = m_p;
        for (;;) {
            const void* hit = std::memchr(m_bytes.data() + q, kMarkerPrefix, static_cast<std::size_t>(m_size - q));
            if (hit == nullptr) {
                m_p = m_size;
                m_accepted = m_size;
                return false;
            }
            const int64_t prefix = static_cast<const uint8_t*>(hit) - m_bytes.data();
            int64_t codeAt = prefix + 1;
            while (codeAt < m_size && At(codeAt) == kMarkerPrefix) {
                if (codeAt - prefix >= kErasedRunLength) {
                    m_p = codeAt;
                    m_accepted = prefix;
                    return false;
                }
                ++codeAt;
            }
            if (codeAt >= m_size) {
                m_p = m_size;
                m_accepted = prefix;
                return false;
            }
            const uint8_t code = At(codeAt);
            if (code != kStuffedZero && !IsRestart(code)) {
                m_p = prefix;
                m_accepted = prefix;
                return true;
            }
            q = codeAt + 1;
        }
    }

    WalkResult Stop() noexcept { return m_sawFrame ? Finish(WalkVerdict::Truncated) : WalkResult{}; }

    WalkResult Finish(WalkVerdict verdict) noexcept
    {
        m_result.Verdict = verdict;
        m_result.End = static_cast<int32_t>(m_accepted);
        const int64_t sureEnd = m_firstScanData >= 0 ? std::min(m_firstScanData, m_accepted) : m_accepted;
        m_result.SureEnd = static_cast<int32_t>(sureEnd);
        m_result.Examined = std::min(m_size, std::max(m_p, m_accepted) + 1);
        return m_result;
    }

    std::span<const uint8_t> m_bytes;
    int64_t m_size;
    int64_t m_p = 0;
    int64_t m_accepted = 0;
    bool m_sawFrame = false;
    int32_t m_scans = 0;
    int64_t m_firstScanData = -1;
    WalkResult m_result;
};

}  // namespace

WalkResult WalkJpeg(std::span<const uint8_t> bytes) noexcept
{
    return JpegWalker(bytes).Walk();
}

}  // namespace kestrix

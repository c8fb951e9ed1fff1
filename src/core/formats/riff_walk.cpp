#include "riff_walk.h"

#include "midi_walk.h"

#include <algorithm>
#include <cstring>

namespace kestrix {
namespace {

constexpr int64_t kChunkHeader = 8;
constexpr int64_t kFirstChunk = 12;
constexpr uint32_t kUndecided = 0xFFFFFFFFu;
constexpr int64_t kQcpPacketMs = 20;
// Chunks a RIFF may hold before its required ones: real files put at most a
// few (LIST, JUNK, bext, fact) first. Without the bound, a chain of chunks
// that never reaches a format would be walked again from every RIFF header in
// it.
constexpr int32_t kMostChunksBeforeRequired = 16;

enum class Form { Wave, Qcp, Rmid };

bool HasText(std::span<const uint8_t> bytes, int64_t p, const char* text) noexcept
{
    return std::memcmp(bytes.data() + p, text, 4) == 0;
}

bool IsKnownFormatTag(uint32_t tag) noexcept
{
    switch (tag) {
    case 0x0001:  // PCM
    case 0x0002:  // Microsoft ADPCM
    case 0x0003:  // IEEE float
    case 0x0006:  // A-law
    case 0x0007:  // mu-law
    case 0x0011:  // IMA ADPCM
    case 0x0031:  // GSM 6.10
    case 0xFFFE:  // extensible
        return true;
    default: return false;
    }
}

class RiffWalker {
public:
    explicit RiffWalker(std::span<const uint8_t> bytes) : m_bytes(bytes), m_size(static_cast<int64_t>(bytes.size())) {}

    WalkResult Walk() noexcept
    {
        if (m_size < kFirstChunk + kChunkHeader || !HasText(m_bytes, 0, "RIFF"))
            return {};
        if (HasText(m_bytes, 8, "WAVE"))
            m_form = Form::Wave;
        else if (HasText(m_bytes, 8, "QLCM"))
            m_form = Form::Qcp;
        else if (HasText(m_bytes, 8, "RMID"))
            m_form = Form::Rmid;
        else
            return {};
        const uint32_t riffSize = ReadLe32(m_bytes, 4);
        m_decided = riffSize != 0 && riffSize != kUndecided;
        if (m_decided && riffSize < kFirstChunk - 8 + kChunkHeader)
            return {};
        m_riffEnd = m_decided ? int64_t{8} + riffSize : INT64_MAX;
        if (!IsPrintableTag(m_bytes, kFirstChunk))
            return {};

        m_p = kFirstChunk;
        m_examined = m_p;
        const WalkVerdict verdict = WalkChunks();
        if (verdict == WalkVerdict::NoItem)
            return NoItem();
        m_result.Verdict = verdict;
        m_result.End = static_cast<int32_t>(m_p);
        m_result.SureEnd = static_cast<int32_t>(std::min(m_p, m_sureEnd));
        m_result.Examined = std::min(m_size, std::max(m_examined, m_p));
        if (m_form == Form::Wave)
            m_result.DurationMs = WaveDurationMs();
        return m_result;
    }

private:
    // A walk that lists nothing still reports what it read.
    WalkResult NoItem() const noexcept
    {
        WalkResult none;
        none.Examined = std::min(m_size, std::max(m_examined, m_p));
        return none;
    }

    // The playing time of the data bytes by the format: whole blocks of
    // samples for PCM, A-law, mu-law and float, the samples per block for the
    // ADPCMs and GSM. The header's byte rate is only a hint and may be anything.
    int64_t WaveDurationMs() const noexcept
    {
        const int64_t rate = m_result.SampleRate;
        if (rate <= 0 || m_blockAlign <= 0)
            return 0;
        int64_t frames = 0;
        const int64_t blocks = m_dataSize / m_blockAlign;
        switch (m_formatTag) {
        case 0x0002:  // Microsoft ADPCM: 7 header bytes a channel, then two samples a byte
            if (m_blockAlign > 7 * m_result.Channels)
                frames = blocks * ((m_blockAlign - 7 * m_result.Channels) * 2 / m_result.Channels + 2);
            break;
        case 0x0011:  // IMA ADPCM: 4 header bytes a channel, then two samples a byte
            if (m_blockAlign > 4 * m_result.Channels)
                frames = blocks * ((m_blockAlign - 4 * m_result.Channels) * 2 / m_result.Channels + 1);
            break;
        case 0x0031:  // GSM 6.10: 320 samples in each 65-byte block
            frames = blocks * 320;
            break;
        default: frames = blocks;
        }
        return frames * 1000 / rate;
    }

    bool HasRequiredChunks() const noexcept { return m_hasData && (m_form == Form::Rmid || m_hasFormat); }

    // What the walk makes of a stop before the RIFF end at m_p: erased flash or
    // the end of the bytes cut the item; another byte is garbage.
    WalkVerdict Stopped(bool garbage) const noexcept
    {
        if (!m_decided && HasRequiredChunks())
            return WalkVerdict::Whole;
        if (garbage && !m_hasFormat && !m_hasData && !IsErased(m_p))
            return WalkVerdict::NoItem;
        return WalkVerdict::Truncated;
    }

    bool IsErased(int64_t p) const noexcept
    {
        return p + kErasedRunLength <= m_size &&
               (IsRunOf(m_bytes, p, kErasedRunLength, 0xFF) || IsRunOf(m_bytes, p, kErasedRunLength, 0x00));
    }

    WalkVerdict WalkChunks() noexcept
    {
        for (;;) {
            if (m_p >= m_riffEnd)
                return Closed();
            if (m_p + kChunkHeader > m_size) {
                m_examined = m_size;
                return Stopped(false);
            }
            m_examined = m_p + kChunkHeader;
            if (m_p + kChunkHeader > m_riffEnd || !IsPrintableTag(m_bytes, m_p))
                return Stopped(true);
            const uint32_t length = ReadLe32(m_bytes, m_p + 4);
            const int64_t data = m_p + kChunkHeader;
            const bool isData = HasText(m_bytes, m_p, "data");
            // Before its data: the format chunk and kMostChunksBeforeRequired others.
            if (!HasRequiredChunks() && !isData && ++m_chunks > kMostChunksBeforeRequired + 1)
                return WalkVerdict::NoItem;
            if (isData && (length == kUndecided || (length == 0 && !m_decided)))
                return OpenData(data);
            const int64_t end = data + length;
            if (end > m_riffEnd)
                return Stopped(true);
            if (end > m_size) {
                m_examined = m_size;
                // A cut data chunk keeps its sound up to the cut.
                return isData && (m_form != Form::Wave || m_hasFormat) ? OpenData(data) : Stopped(false);
            }
            m_examined = end;
            if (isData && length >= kErasedRunLength &&
                IsRunOf(m_bytes, end - kErasedRunLength, kErasedRunLength, 0xFF))
                return CutData(data, end);
            if (HasText(m_bytes, m_p, "fmt ")) {
                if (!ReadFormat(data, length))
                    return m_hasFormat || m_hasData ? WalkVerdict::Truncated : WalkVerdict::NoItem;
            } else if (isData) {
                if (m_form == Form::Wave && !m_hasFormat)
                    return WalkVerdict::NoItem;
                ReadData(data, length);
            } else if (HasText(m_bytes, m_p, "vrat") && length >= 8 && m_form == Form::Qcp) {
                m_qcpPackets = ReadLe32(m_bytes, data + 4);
            }
            m_sureEnd = std::min(m_sureEnd, end);
            const int64_t padded = end + (length & 1);
            // Some writers leave the last pad byte out of the RIFF size.
            if (end == m_riffEnd || padded == m_riffEnd)
                return Closed();
            if (padded > m_size) {
                m_p = end;
                m_examined = m_size;
                return Stopped(false);
            }
            m_p = padded;
        }
    }

    // The walk reached the RIFF end.
    WalkVerdict Closed() noexcept
    {
        m_p = std::min(m_riffEnd, m_size);
        if (HasRequiredChunks())
            return WalkVerdict::Whole;
        return WalkVerdict::NoItem;
    }

    // A data chunk that ends in erased flash was cut by the erasure: its sound
    // ends at the last byte before the FFh, in whole blocks.
    WalkVerdict CutData(int64_t data, int64_t end) noexcept
    {
        if (m_form == Form::Wave && !m_hasFormat)
            return WalkVerdict::NoItem;
        while (end > data && m_bytes[static_cast<std::size_t>(end - 1)] == 0xFF)
            --end;
        if (m_blockAlign > 1)
            end = data + (end - data) / m_blockAlign * m_blockAlign;
        ReadData(data, static_cast<uint32_t>(end - data));
        m_p = end;
        return WalkVerdict::Truncated;
    }

    WalkVerdict OpenData(int64_t data) noexcept
    {
        if (m_form == Form::Wave && !m_hasFormat)
            return WalkVerdict::NoItem;
        // Erased flash is looked for in steps of half the run, so that every run
        // of its length holds a whole step and each byte is read once.
        constexpr int64_t kStep = kOpenDataErasedRun / 2;
        int64_t at = data;
        while (at + kStep <= m_size && !IsRunOf(m_bytes, at, kStep, 0xFF))
            at += kStep;
        const int64_t end = at + kStep <= m_size ? at : m_size;
        m_examined = std::min(m_size, end + kStep);
        return CutData(data, end);
    }

    bool ReadFormat(int64_t data, uint32_t length) noexcept
    {
        if (m_form == Form::Qcp) {
            // Version, codec id and version, name, rate, packet and block sizes, then the sample rate.
            if (length < 110)
                return false;
            m_packetSize = ReadLe16(m_bytes, data + 102);
            m_result.SampleRate = static_cast<int32_t>(ReadLe16(m_bytes, data + 106));
            m_result.Channels = 1;
            m_hasFormat = true;
            return true;
        }
        if (length < 16)
            return false;
        const uint32_t tag = ReadLe16(m_bytes, data);
        const uint32_t channels = ReadLe16(m_bytes, data + 2);
        const uint32_t rate = ReadLe32(m_bytes, data + 4);
        const uint32_t blockAlign = ReadLe16(m_bytes, data + 12);
        if (!IsKnownFormatTag(tag) || channels == 0 || channels > 8 || rate == 0 || rate > 768000 || blockAlign == 0)
            return false;
        m_result.SampleRate = static_cast<int32_t>(rate);
        m_result.Channels = static_cast<int32_t>(channels);
        m_formatTag = tag;
        m_blockAlign = blockAlign;
        m_hasFormat = true;
        return true;
    }

    void ReadData(int64_t data, uint32_t length) noexcept
    {
        m_hasData = true;
        m_dataSize += length;
        if (m_form == Form::Rmid) {
            const WalkResult midi = WalkMidi(m_bytes.subspan(static_cast<std::size_t>(data), length));
            m_result.Tracks = midi.Tracks;
            m_result.DurationMs = midi.DurationMs;
        } else if (m_form == Form::Qcp) {
            const int64_t packets = m_qcpPackets > 0 ? m_qcpPackets : (m_packetSize > 0 ? length / m_packetSize : 0);
            m_result.DurationMs = packets * kQcpPacketMs;
        }
    }

    std::span<const uint8_t> m_bytes;
    int64_t m_size;
    Form m_form = Form::Wave;
    bool m_decided = false;
    int64_t m_riffEnd = 0;
    int64_t m_p = 0;
    int64_t m_examined = 0;
    int64_t m_sureEnd = INT64_MAX;
    bool m_hasFormat = false;
    bool m_hasData = false;
    int64_t m_dataSize = 0;
    uint32_t m_formatTag = 0;
    int32_t m_chunks = 0;
    int64_t m_blockAlign = 0;
    int64_t m_packetSize = 0;
    int64_t m_qcpPackets = 0;
    WalkResult m_result;
};

}  // namespace

WalkResult WalkRiff(std::span<const uint8_t> bytes) noexcept
{
    return RiffWalker(bytes).Walk();
}

}  // namespace kestrix

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace kestrix {

// The voice codec of a QCP file, from the GUID in its "fmt " chunk.
enum class QcpCodec : uint8_t { Qcelp, Evrc, Other };

// Where a QCP file keeps its voice.
struct QcpLayout {
    QcpCodec Codec = QcpCodec::Other;
    // The "data" chunk's bytes (cut to the bytes there are): packets, each a
    // rate byte and that rate's payload.
    std::span<const uint8_t> Packets;
};

// Reads a RIFF "QLCM" file's chunks (little-endian sizes, odd sizes padded):
// the codec of its "fmt " chunk (QCELP-13K by either of its GUIDs, EVRC; any
// other is Other) and its "data" chunk. std::nullopt when either chunk is
// missing or "fmt " is too short for the GUID. Linear in the chunks.
std::optional<QcpLayout> ReadQcpLayout(std::span<const uint8_t> bytes) noexcept;

// A packet's size, rate byte included, for the rate byte rate of codec (QCELP
// 0..4: 1, 4, 8, 17, 35 bytes; EVRC 0..4: 1, 3, 6, 11, 23); 0 for a rate byte
// that is none.
int QcpPacketSize(QcpCodec codec, uint8_t rate) noexcept;

// Whether the packets fill the layout's data exactly, each with a rate byte
// of the codec: a file cut and padded with other bytes keeps its stated size
// but not its packets.
bool QcpPacketsFillData(const QcpLayout& layout) noexcept;

// How a QCP decode ended: every packet up to the data's end or a rate byte
// that is none decoded (Decoded when there was at least one), the decoder
// refused the file (Refused), the codec has no decoder here (NotPlayable), or
// take asked to stop (Stopped).
enum class QcpOutcome : uint8_t { Decoded, Refused, NotPlayable, Stopped };

// Decodes a QCP file's voice with libavcodec, 8000 Hz mono, 160 samples a
// packet: each decoded packet's samples go to take, which returns false to
// stop. Never throws for bad bytes; work linear in bytes.
QcpOutcome DecodeQcp(std::span<const uint8_t> bytes, const std::function<bool(std::span<const int16_t>)>& take);

}  // namespace kestrix

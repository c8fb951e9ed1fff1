#pragma once

#include "walk_result.h"

#include <optional>

namespace kestrix {

// Walks a SMAF file from bytes[0] (all numbers big-endian): "MMMD" and its size,
// which decides the end (8 + size); inside it a "CNTI" chunk first, then chunks
// of a four-byte type (three upper-case letters or digits and any fourth byte:
// "OPDA", "MTR" and "ATR" with their track numbers) and a size, up to the last
// 2 bytes, the file's CRC. The item is Whole at the end the size gives when its
// chunks fill it; Truncated, End after the last whole chunk, when a chunk runs
// past the bytes or the size, or a chunk type is erased flash or garbage, or
// when the chunks fill the size but the CRC and the 32 bytes before it are all
// FFh or all 00h (a file cut there, erased flash read as its data). A size
// too small for CNTI, or no CNTI first, is no item.
// Tracks counts the MTR and ATR chunks walked. DurationMs, SampleRate and
// Channels are those of the first audio track among the chunks walked when a
// decoder here plays it (SmafAudio::Playable), else 0. Reads only inside
// bytes; linear.
WalkResult WalkSmaf(std::span<const uint8_t> bytes) noexcept;

// The wave format of a SMAF audio track (bits 6..4 of its wave type byte):
// 1 is 4-bit Yamaha ADPCM, as free encoders write it; the codes of PCM could
// not be checked against a public description or a real file: Other.
enum class SmafWave : uint8_t { YamahaAdpcm, Other };

// The first audio track of a SMAF file.
struct SmafAudio {
    SmafWave Wave = SmafWave::Other;
    // From the rate code in the wave type's bits 3..0 (0..4: 4000, 8000,
    // 11025, 22050, 44100 Hz); 0 for another code.
    int32_t SampleRate = 0;
    // 2 when the wave type's bit 7 is set.
    int32_t Channels = 1;
    // Bits a sample (the base bit byte's bits 7..4: 0..3 for 4, 8, 12, 16).
    int32_t Bits = 4;
    // The "CNTI" chunk and the "ATR" chunk, each with its 8-byte header.
    std::span<const uint8_t> ContentsInfo;
    std::span<const uint8_t> Track;
    // The data of the track's first "Awa" chunk (empty without one), and
    // whether that chunk lies whole inside the track after an "Atsq" chunk.
    std::span<const uint8_t> WaveData;
    bool WaveWhole = false;

    // Whether a decoder here plays the track: Yamaha ADPCM of 4 bits at a
    // known rate, its wave data whole.
    bool Playable() const noexcept
    {
        return Wave == SmafWave::YamahaAdpcm && Bits == 4 && SampleRate > 0 && WaveWhole && !WaveData.empty();
    }
    // Samples a channel the wave data holds (two a byte).
    int64_t Frames() const noexcept { return static_cast<int64_t>(WaveData.size()) * 2 / Channels; }
};

// The first "ATR" chunk among the whole chunks of a SMAF file (bytes from
// "MMMD": a cut file's chunks up to its cut), read from its header (format
// type, sequence type, wave type, base bit, two time bases: 6 bytes) and its
// sub-chunks. std::nullopt when the file has no whole audio track or its
// header is short. Reads only inside bytes; linear in the chunks.
std::optional<SmafAudio> ReadSmafAudio(std::span<const uint8_t> bytes) noexcept;

// What the CRC in a SMAF file's last 2 bytes says of the bytes before it.
//   Agrees:    it is the CRC-16 of the file (polynomial 1021h, register
//              starting at FFFFh, bits from the highest, the register's
//              complement stored big-endian) from "MMMD" up to the CRC;
//   Disagrees: it is another value: a byte of the file changed;
//   None:      the file carries none (0000h) or is too short for one.
enum class SmafCrc : uint8_t { Agrees, Disagrees, None };

// The CRC verdict of a whole SMAF file (bytes from "MMMD" to the end its size
// gives). Linear.
SmafCrc CheckSmafCrc(std::span<const uint8_t> bytes) noexcept;

// The CRC-16 a SMAF file of these bytes (from "MMMD" up to the CRC) carries.
uint16_t SmafCrcOf(std::span<const uint8_t> bytes) noexcept;

}  // namespace kestrix

#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix::test_support {

// Sounds of the formats the sound walks know, built byte by byte with the
// structures (and the traps) a test needs.

// A Standard MIDI File: format, declared track count, tracks MTrk chunks of
// notes (each a quarter note at 96 ticks a quarter, the first track with a
// tempo of tempo microseconds a quarter) ending with FF 2F 00; an unknown chunk
// "XFIH" before the tracks when unknownChunk.
struct MidiPlan {
    uint16_t format = 1;
    uint16_t declaredTracks = 2;
    int tracks = 2;
    int notes = 4;
    uint32_t tempo = 500000;
    bool unknownChunk = false;
};
std::vector<uint8_t> BuildMidi(const MidiPlan& plan);

// An AMR file (narrow or wide band) of the given frame types, each frame a
// header byte (quality bit set) and its payload of 5Ah bytes.
struct AmrPlan {
    bool wide = false;
    std::vector<uint8_t> frameTypes{7, 7, 7, 8, 15, 15, 7, 7};
};
std::vector<uint8_t> BuildAmr(const AmrPlan& plan);

// An MP3: an optional ID3v2.4 tag (with a footer when id3Footer), frames of
// MPEG version (1, 2 or 25 for 2.5) and layer (2 or 3) at 64 kbit/s and the
// version's first sample rate, mono or stereo, payload bytes 55h; then an APE
// tag and an ID3v1 tag when asked.
struct Mp3Plan {
    int version = 1;
    int layer = 3;
    int frames = 10;
    bool mono = false;
    bool id3 = false;
    bool id3Footer = false;
    bool ape = false;
    bool id3v1 = false;
};
std::vector<uint8_t> BuildMp3(const Mp3Plan& plan);
// The size of one frame of the plan.
std::size_t Mp3FrameSize(const Mp3Plan& plan);

// The voice codec of a built QCP: its GUID in the format chunk (Other: a GUID
// of no codec known here).
enum class QcpPlanCodec { Qcelp, Evrc, Other };

// A RIFF file: form "WAVE" (format tag 1 PCM 16-bit or 17 IMA ADPCM 4-bit with
// 505 samples a 256-byte block, 8000 Hz
// mono, dataBytes of sound), "QLCM" (qcpPackets full-rate packets of
// qcpCodec, each 160 samples at 8000 Hz) or "RMID" (a MIDI file as data). riffSize
// and dataSize < 0 write the true sizes, otherwise that value (0, FFFFFFFFh);
// an odd-sized "LIST" chunk goes before the data when oddChunk.
struct RiffPlan {
    std::string form = "WAVE";
    uint16_t formatTag = 1;
    uint32_t dataBytes = 1600;
    int64_t riffSize = -1;
    int64_t dataSize = -1;
    bool oddChunk = false;
    QcpPlanCodec qcpCodec = QcpPlanCodec::Qcelp;
    int qcpPackets = 10;
};
std::vector<uint8_t> BuildRiff(const RiffPlan& plan);

// An iMelody text with lineEnd after each line (the last line's too when
// finalLineEnd); melody is the MELODY line's notes.
struct ImelodyPlan {
    std::string lineEnd = "\r\n";
    std::string melody = "c2d2e2f2";
    int beat = 120;
    bool finalLineEnd = true;
};
std::vector<uint8_t> BuildImelody(const ImelodyPlan& plan);

// A SMAF file: MMMD, CNTI, an OPDA chunk and tracks MTR chunks, then, when
// audioMs > 0, an ATR chunk of a toneHz sine (amplitude 12000) for audioMs
// in Yamaha ADPCM (YamahaAdpcm), then a 2-byte CRC (the file's true one, or
// one that disagrees when badCrc); mmmdSize < 0 writes the true size.
// The track's wave type is waveType (bit 7 stereo, bits 6..4 the format, 1 for
// Yamaha ADPCM, bits 3..0 the rate code, 1 for 8000 Hz: the tone is made at
// that rate); its "Atsq" chunk is left out when noSequence, and its "Awa"
// chunk's size says waveSize bytes when waveSize >= 0.
struct SmafPlan {
    int tracks = 1;
    int64_t mmmdSize = -1;
    bool badCrc = false;
    int audioMs = 0;
    double toneHz = 440;
    uint8_t waveType = 0x11;
    bool noSequence = false;
    int64_t waveSize = -1;
};
std::vector<uint8_t> BuildSmaf(const SmafPlan& plan);

// The sample rate of a SMAF wave type's rate code (its bits 3..0: 4000, 8000,
// 11025, 22050, 44100 Hz).
int SmafRate(uint8_t waveType);

// Mono samples in 4-bit Yamaha ADPCM, two a byte, the first in the low nibble
// (predictor from 0, step from 127; a nibble's bits 2..0 scale the step and
// bit 3 is the sign).
std::vector<uint8_t> YamahaAdpcm(const std::vector<int16_t>& samples);

}  // namespace kestrix::test_support

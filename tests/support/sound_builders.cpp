#include "sound_builders.h"

#include "picture_builders.h"
#include "smaf_walk.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace kestrix::test_support {
namespace {

using Bytes = std::vector<uint8_t>;

void Text(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

void OverwriteLe32(Bytes& out, std::size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.at(at + static_cast<std::size_t>(i)) = static_cast<uint8_t>(value >> (8 * i));
}

Bytes Chunk(const std::string& type, const Bytes& data, bool bigEndian)
{
    Bytes out;
    Text(out, type);
    if (bigEndian)
        PutBe32(out, static_cast<uint32_t>(data.size()));
    else
        PutLe32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

void Append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

}  // namespace

std::vector<uint8_t> BuildMidi(const MidiPlan& plan)
{
    Bytes out;
    Text(out, "MThd");
    PutBe32(out, 6);
    PutBe16(out, plan.format);
    PutBe16(out, plan.declaredTracks);
    PutBe16(out, 96);
    if (plan.unknownChunk)
        Append(out, Chunk("XFIH", {1, 2, 3, 0xFF, 0x2F, 0x00, 7}, true));
    for (int track = 0; track < plan.tracks; ++track) {
        Bytes events;
        if (track == 0)
            events.insert(events.end(), {0x00, 0xFF, 0x51, 0x03, static_cast<uint8_t>(plan.tempo >> 16),
                                         static_cast<uint8_t>(plan.tempo >> 8), static_cast<uint8_t>(plan.tempo)});
        const auto channel = static_cast<uint8_t>(track & 0x0F);
        for (int note = 0; note < plan.notes; ++note) {
            // A note on, then (running status) the same key at velocity 0 a quarter later.
            events.insert(events.end(), {0x00, static_cast<uint8_t>(0x90 | channel), 0x3C, 0x64, 0x60, 0x3C, 0x00});
        }
        events.insert(events.end(), {0x00, 0xFF, 0x2F, 0x00});
        Append(out, Chunk("MTrk", events, true));
    }
    return out;
}

std::vector<uint8_t> BuildAmr(const AmrPlan& plan)
{
    static const uint8_t kNarrow[16] = {13, 14, 16, 18, 20, 21, 27, 32, 6, 0, 0, 0, 0, 0, 0, 1};
    static const uint8_t kWide[16] = {18, 24, 33, 37, 41, 47, 51, 59, 61, 6, 0, 0, 0, 0, 1, 1};
    Bytes out;
    Text(out, plan.wide ? "#!AMR-WB\n" : "#!AMR\n");
    for (const uint8_t type : plan.frameTypes) {
        const uint8_t size = (plan.wide ? kWide : kNarrow)[type & 0x0F];
        if (size == 0)
            throw std::logic_error("no frame of that type");
        out.push_back(static_cast<uint8_t>(type << 3 | 0x04));
        out.insert(out.end(), size - 1u, 0x5A);
    }
    return out;
}

std::size_t Mp3FrameSize(const Mp3Plan& plan)
{
    const int rate = plan.version == 1 ? 44100 : plan.version == 2 ? 22050 : 11025;
    const int samples = plan.layer == 3 && plan.version != 1 ? 576 : 1152;
    return static_cast<std::size_t>(samples / 8 * 64000 / rate);
}

std::vector<uint8_t> BuildMp3(const Mp3Plan& plan)
{
    Bytes out;
    if (plan.id3) {
        Bytes body;
        Text(body, "TIT2");
        body.insert(body.end(), {0, 0, 0, 6, 0, 0, 3});
        Text(body, "Song\xFF");  // an FFh in the tag is no frame
        const auto size = static_cast<uint32_t>(body.size());
        const Bytes syncsafe = {static_cast<uint8_t>(size >> 21 & 0x7F), static_cast<uint8_t>(size >> 14 & 0x7F),
                                static_cast<uint8_t>(size >> 7 & 0x7F), static_cast<uint8_t>(size & 0x7F)};
        Text(out, "ID3");
        out.insert(out.end(), {4, 0, static_cast<uint8_t>(plan.id3Footer ? 0x10 : 0x00)});
        Append(out, syncsafe);
        Append(out, body);
        if (plan.id3Footer) {
            Text(out, "3DI");
            out.insert(out.end(), {4, 0, 0x10});
            Append(out, syncsafe);
        }
    }
    const uint8_t versionBits = plan.version == 1 ? 3 : plan.version == 2 ? 2 : 0;
    const uint8_t layerBits = plan.layer == 3 ? 1 : plan.layer == 2 ? 2 : 3;
    const uint8_t bitrateIndex = plan.version != 1 ? 8 : plan.layer == 3 ? 5 : 4;
    const std::size_t frameSize = Mp3FrameSize(plan);
    for (int frame = 0; frame < plan.frames; ++frame) {
        out.insert(out.end(), {0xFF, static_cast<uint8_t>(0xE0 | versionBits << 3 | layerBits << 1 | 1),
                               static_cast<uint8_t>(bitrateIndex << 4), static_cast<uint8_t>(plan.mono ? 0xC0 : 0)});
        out.insert(out.end(), frameSize - 4, 0x55);
    }
    if (plan.ape) {
        Bytes item;
        PutLe32(item, 4);
        PutLe32(item, 0);
        Text(item, std::string("Title\0Song", 10));
        const auto tagSize = static_cast<uint32_t>(item.size() + 32);
        for (const uint32_t flags : {0xA0000000u, 0x80000000u}) {
            if (flags == 0x80000000u)
                Append(out, item);
            Text(out, "APETAGEX");
            PutLe32(out, 2000);
            PutLe32(out, tagSize);
            PutLe32(out, 1);
            PutLe32(out, flags);
            out.insert(out.end(), 8, 0);
        }
    }
    if (plan.id3v1) {
        Text(out, "TAG");
        Text(out, "Song");
        out.insert(out.end(), 121, 0);
    }
    return out;
}

std::vector<uint8_t> BuildRiff(const RiffPlan& plan)
{
    Bytes out;
    Text(out, "RIFF");
    PutLe32(out, 0);
    Text(out, plan.form);
    Bytes data;
    if (plan.form == "WAVE") {
        const bool adpcm = plan.formatTag == 17;
        Bytes format;
        PutLe16(format, plan.formatTag);
        PutLe16(format, 1);
        PutLe32(format, 8000);
        PutLe32(format, adpcm ? 4055 : 16000);
        PutLe16(format, adpcm ? 256 : 2);
        PutLe16(format, adpcm ? 4 : 16);
        if (adpcm) {
            // cbSize, then the samples of a 256-byte block: 4 header bytes
            // with the first sample, then two samples a byte.
            PutLe16(format, 2);
            PutLe16(format, 505);
        }
        Append(out, Chunk("fmt ", format, false));
        for (uint32_t i = 0; i < plan.dataBytes; ++i)
            data.push_back(static_cast<uint8_t>(i * 37 + 11));
    } else if (plan.form == "QLCM") {
        // Major 1, minor 0, the codec's GUID, version, name, bits a second,
        // packet size, block size, sample rate, sample size, then the rate map.
        Bytes format = {1, 0};
        const Bytes qcelp = {0x41, 0x6D, 0x7F, 0x5E, 0x15, 0xB1, 0xD0, 0x11,
                             0xBA, 0x91, 0x00, 0x80, 0x5F, 0xB4, 0xB9, 0x7E};
        const Bytes evrc = {0x8D, 0xD4, 0x89, 0xE6, 0x76, 0x90, 0xB5, 0x46,
                            0x91, 0xEF, 0x73, 0x6A, 0x51, 0x00, 0xCE, 0xB4};
        Append(format, plan.qcpCodec == QcpPlanCodec::Evrc    ? evrc
                       : plan.qcpCodec == QcpPlanCodec::Qcelp ? qcelp
                                                              : Bytes(16, 0x20));
        PutLe16(format, 1);
        Bytes name(80, 0);
        const std::string codecName = plan.qcpCodec == QcpPlanCodec::Evrc
                                          ? "TIA IS-127 Enhanced Variable Rate Codec, Speech Service Option 3"
                                          : "Qcelp 13K";
        std::copy(codecName.begin(), codecName.end(), name.begin());
        Append(format, name);
        const bool isEvrc = plan.qcpCodec == QcpPlanCodec::Evrc;
        PutLe16(format, isEvrc ? 8500 : 14000);
        PutLe16(format, isEvrc ? 23 : 35);
        PutLe16(format, 160);
        PutLe16(format, 8000);
        PutLe16(format, 16);
        PutLe32(format, 4);
        const Bytes rateMap = isEvrc ? Bytes{22, 4, 10, 3, 2, 1, 0, 0} : Bytes{34, 4, 16, 3, 7, 2, 3, 1};
        Append(format, rateMap);
        format.resize(150, 0);
        Append(out, Chunk("fmt ", format, false));
        Bytes rate;
        PutLe32(rate, 1);
        PutLe32(rate, static_cast<uint32_t>(plan.qcpPackets));
        Append(out, Chunk("vrat", rate, false));
        // Full-rate packets: the rate byte 4, then payload bytes of a fixed
        // pseudo-random run.
        uint32_t state = 12345;
        for (int packet = 0; packet < plan.qcpPackets; ++packet) {
            data.push_back(4);
            for (int i = 0; i < (isEvrc ? 22 : 34); ++i) {
                state = state * 1103515245 + 12345;
                data.push_back(static_cast<uint8_t>(state >> 16));
            }
        }
    } else {
        data = BuildMidi({});
    }
    if (plan.oddChunk) {
        Append(out, Chunk("LIST", {'I', 'N', 'F', 'O', 'x'}, false));
        out.push_back(0);
    }
    Bytes dataChunk = Chunk("data", data, false);
    if (plan.dataSize >= 0)
        OverwriteLe32(dataChunk, 4, static_cast<uint32_t>(plan.dataSize));
    Append(out, dataChunk);
    OverwriteLe32(out, 4,
                  plan.riffSize >= 0 ? static_cast<uint32_t>(plan.riffSize) : static_cast<uint32_t>(out.size() - 8));
    return out;
}

std::vector<uint8_t> BuildImelody(const ImelodyPlan& plan)
{
    const std::string lines[] = {
        "BEGIN:IMELODY", "VERSION:1.2",           "FORMAT:CLASS1.0", "NAME:Trill", "BEAT:" + std::to_string(plan.beat),
        "STYLE:S0",      "MELODY:" + plan.melody, "END:IMELODY"};
    Bytes out;
    for (const std::string& line : lines) {
        Text(out, line);
        if (line != "END:IMELODY" || plan.finalLineEnd)
            Text(out, plan.lineEnd);
    }
    return out;
}

int SmafRate(uint8_t waveType)
{
    constexpr int kRates[] = {4000, 8000, 11025, 22050, 44100};
    return kRates[std::min(waveType & 0x0F, 4)];
}

std::vector<uint8_t> YamahaAdpcm(const std::vector<int16_t>& samples)
{
    constexpr int kScale[8] = {230, 230, 230, 230, 307, 409, 512, 614};
    int predictor = 0;
    int step = 127;
    Bytes out((samples.size() + 1) / 2, 0);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const int delta = samples[i] - predictor;
        const int magnitude = std::min(7, std::abs(delta) * 4 / step);
        const int difference = (2 * magnitude + 1) * step >> 3;
        predictor = std::clamp(delta < 0 ? predictor - difference : predictor + difference, -32768, 32767);
        step = std::clamp(step * kScale[magnitude] >> 8, 127, 24576);
        const int nibble = magnitude | (delta < 0 ? 8 : 0);
        out[i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? nibble : nibble << 4);
    }
    return out;
}

std::vector<uint8_t> BuildSmaf(const SmafPlan& plan)
{
    Bytes body = Chunk("CNTI", {0x00, 0x01, 0x02, 0x00, 0x00}, true);
    Append(body, Chunk("OPDA", {'D', 'c', 0, 0}, true));
    for (int track = 0; track < plan.tracks; ++track)
        Append(body, Chunk(std::string("MTR") + static_cast<char>(5 + track), Bytes(10, 0x33), true));
    if (plan.audioMs > 0) {
        const int rate = SmafRate(plan.waveType);
        std::vector<int16_t> tone(static_cast<std::size_t>(int64_t{plan.audioMs} * rate / 1000));
        for (std::size_t i = 0; i < tone.size(); ++i)
            tone[i] = static_cast<int16_t>(
                12000 * std::sin(2 * std::numbers::pi * plan.toneHz * static_cast<double>(i) / rate));
        // Format type 0, sequence type 0, the wave type, 4 bits a sample, time bases of 2 ms.
        Bytes track = {0x00, 0x00, plan.waveType, 0x00, 0x02, 0x02};
        if (!plan.noSequence)
            Append(track, Chunk("Atsq", {0x00, 0x01, 0x80, 0x00, 0x80, 0x00, 0xFF, 0x00, 0x00, 0x00}, true));
        Bytes wave = Chunk(std::string("Awa") + '\x01', YamahaAdpcm(tone), true);
        if (plan.waveSize >= 0)
            for (int i = 0; i < 4; ++i)
                wave[static_cast<std::size_t>(4 + i)] = static_cast<uint8_t>(plan.waveSize >> (24 - 8 * i));
        Append(track, wave);
        Append(body, Chunk(std::string("ATR") + '\0', track, true));
    }
    Bytes out;
    Text(out, "MMMD");
    PutBe32(out, plan.mmmdSize >= 0 ? static_cast<uint32_t>(plan.mmmdSize) : static_cast<uint32_t>(body.size() + 2));
    Append(out, body);
    const uint16_t crc = static_cast<uint16_t>(SmafCrcOf(out) ^ (plan.badCrc ? 0x0100 : 0));
    PutBe16(out, crc);
    return out;
}

}  // namespace kestrix::test_support

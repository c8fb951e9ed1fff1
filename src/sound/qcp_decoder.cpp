#include "qcp_decoder.h"

#include "av_codec_library.h"
#include "walk_result.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kestrix {
namespace {

constexpr int64_t kRiffHeader = 12;
// The codec GUID follows the format's major and minor version bytes.
constexpr int64_t kGuidAt = 2;
// The first four bytes of each codec's GUID as stored (little-endian Data1).
constexpr uint8_t kQcelpGuid1[4] = {0x41, 0x6D, 0x7F, 0x5E};
constexpr uint8_t kQcelpGuid2[4] = {0x42, 0x6D, 0x7F, 0x5E};
constexpr uint8_t kEvrcGuid[4] = {0x8D, 0xD4, 0x89, 0xE6};
constexpr int kQcelpSizes[5] = {1, 4, 8, 17, 35};
constexpr int kEvrcSizes[5] = {1, 3, 6, 11, 23};

QcpCodec CodecOf(std::span<const uint8_t> guid) noexcept
{
    const auto is = [&](const uint8_t(&lead)[4]) { return std::memcmp(guid.data(), lead, 4) == 0; };
    if (is(kQcelpGuid1) || is(kQcelpGuid2))
        return QcpCodec::Qcelp;
    return is(kEvrcGuid) ? QcpCodec::Evrc : QcpCodec::Other;
}

}  // namespace

std::optional<QcpLayout> ReadQcpLayout(std::span<const uint8_t> bytes) noexcept
{
    const auto size = static_cast<int64_t>(bytes.size());
    if (size < kRiffHeader || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "QLCM", 4) != 0)
        return std::nullopt;
    std::optional<QcpCodec> codec;
    std::optional<std::span<const uint8_t>> packets;
    int64_t p = kRiffHeader;
    while (p + 8 <= size && !(codec && packets)) {
        const int64_t body = p + 8;
        const int64_t length = std::min<int64_t>(ReadLe32(bytes, p + 4), size - body);
        const auto chunk = bytes.subspan(static_cast<std::size_t>(body), static_cast<std::size_t>(length));
        if (std::memcmp(bytes.data() + p, "fmt ", 4) == 0 && length >= kGuidAt + 16)
            codec = CodecOf(chunk.subspan(kGuidAt));
        else if (std::memcmp(bytes.data() + p, "data", 4) == 0)
            packets = chunk;
        p = body + length + (length & 1);
    }
    if (!codec || !packets)
        return std::nullopt;
    return QcpLayout{*codec, *packets};
}

int QcpPacketSize(QcpCodec codec, uint8_t rate) noexcept
{
    if (rate > 4 || codec == QcpCodec::Other)
        return 0;
    return codec == QcpCodec::Qcelp ? kQcelpSizes[rate] : kEvrcSizes[rate];
}

bool QcpPacketsFillData(const QcpLayout& layout) noexcept
{
    std::size_t p = 0;
    while (p < layout.Packets.size()) {
        const auto size = static_cast<std::size_t>(QcpPacketSize(layout.Codec, layout.Packets[p]));
        if (size == 0)
            return false;
        p += size;
    }
    return p == layout.Packets.size();
}

QcpOutcome DecodeQcp(std::span<const uint8_t> bytes, const std::function<bool(std::span<const int16_t>)>& take)
{
    const std::optional<QcpLayout> layout = ReadQcpLayout(bytes);
    if (!layout)
        return QcpOutcome::Refused;
    if (layout->Codec == QcpCodec::Other)
        return QcpOutcome::NotPlayable;
    const AvCodecLibrary& av = LoadAvCodec();
    if (!av.Loaded)
        return QcpOutcome::NotPlayable;
    const AVCodec* codec = av.FindDecoder(layout->Codec == QcpCodec::Qcelp ? AV_CODEC_ID_QCELP : AV_CODEC_ID_EVRC);
    if (codec == nullptr)
        return QcpOutcome::NotPlayable;
    AvDecoderObjects objects(av);
    objects.Context = av.AllocContext(codec);
    if (!objects.Allocated() || objects.Context == nullptr)
        return QcpOutcome::Refused;
    AVCodecContext* context = objects.Context;
    AVPacket* packet = objects.Packet;
    AVFrame* frame = objects.Frame;
    context->sample_rate = 8000;
    av.DefaultLayout(&context->ch_layout, 1);
    if (av.Open(context, codec, nullptr) < 0)
        return QcpOutcome::Refused;

    const std::span<const uint8_t> data = layout->Packets;
    std::vector<int16_t> samples;
    std::size_t p = 0;
    bool any = false;
    while (p < data.size()) {
        const auto size = static_cast<std::size_t>(QcpPacketSize(layout->Codec, data[p]));
        if (size == 0 || p + size > data.size())
            break;
        if (av.NewPacket(packet, static_cast<int>(size)) < 0)
            return QcpOutcome::Refused;
        std::memcpy(packet->data, data.data() + p, size);
        const int sent = av.SendPacket(context, packet);
        av.PacketUnref(packet);
        if (sent < 0)
            return any ? QcpOutcome::Decoded : QcpOutcome::Refused;
        while (av.ReceiveFrame(context, frame) == 0) {
            samples.clear();
            AppendPcm16(*frame, 1, samples);
            av.FrameUnref(frame);
            if (samples.empty())
                continue;
            any = true;
            if (!take(samples))
                return QcpOutcome::Stopped;
        }
        p += size;
    }
    return any ? QcpOutcome::Decoded : QcpOutcome::Refused;
}

}  // namespace kestrix

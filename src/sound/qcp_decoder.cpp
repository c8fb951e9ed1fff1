#include "qcp_decoder.h"

#include "picture_walk.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
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

void ToPcm16(const AVFrame& frame, std::vector<int16_t>& out)
{
    out.clear();
    const int count = frame.nb_samples;
    const auto format = static_cast<AVSampleFormat>(frame.format);
    for (int i = 0; i < count; ++i) {
        float value = 0;
        switch (format) {
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_FLTP: value = reinterpret_cast<const float*>(frame.data[0])[i]; break;
        case AV_SAMPLE_FMT_S16:
        case AV_SAMPLE_FMT_S16P: out.push_back(reinterpret_cast<const int16_t*>(frame.data[0])[i]); continue;
        default: return;
        }
        // A NaN from a broken frame becomes silence rather than an undefined cast.
        if (!(value == value))
            value = 0;
        out.push_back(static_cast<int16_t>(std::clamp(value * 32768.0F, -32768.0F, 32767.0F)));
    }
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
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    const AVCodec* codec =
        avcodec_find_decoder(layout->Codec == QcpCodec::Qcelp ? AV_CODEC_ID_QCELP : AV_CODEC_ID_EVRC);
    if (codec == nullptr)
        return QcpOutcome::NotPlayable;
    const auto freeContext = [](AVCodecContext* context) { avcodec_free_context(&context); };
    std::unique_ptr<AVCodecContext, decltype(freeContext)> context(avcodec_alloc_context3(codec), freeContext);
    const auto freePacket = [](AVPacket* packet) { av_packet_free(&packet); };
    std::unique_ptr<AVPacket, decltype(freePacket)> packet(av_packet_alloc(), freePacket);
    const auto freeFrame = [](AVFrame* frame) { av_frame_free(&frame); };
    std::unique_ptr<AVFrame, decltype(freeFrame)> frame(av_frame_alloc(), freeFrame);
    if (!context || !packet || !frame)
        return QcpOutcome::Refused;
    context->sample_rate = 8000;
    av_channel_layout_default(&context->ch_layout, 1);
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return QcpOutcome::Refused;

    const std::span<const uint8_t> data = layout->Packets;
    std::vector<int16_t> samples;
    std::size_t p = 0;
    bool any = false;
    while (p < data.size()) {
        const auto size = static_cast<std::size_t>(QcpPacketSize(layout->Codec, data[p]));
        if (size == 0 || p + size > data.size())
            break;
        if (av_new_packet(packet.get(), static_cast<int>(size)) < 0)
            return QcpOutcome::Refused;
        std::memcpy(packet->data, data.data() + p, size);
        const int sent = avcodec_send_packet(context.get(), packet.get());
        av_packet_unref(packet.get());
        if (sent < 0)
            return any ? QcpOutcome::Decoded : QcpOutcome::Refused;
        while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
            ToPcm16(*frame, samples);
            av_frame_unref(frame.get());
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

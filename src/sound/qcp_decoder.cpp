#include "qcp_decoder.h"

#include "walk_result.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
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

// libavcodec and libavutil, opened at the first QCP decode: they bring some
// ninety libraries of their own, which a window that never plays a QCP should
// not load at its start.
struct Codecs {
    bool Loaded = false;
    decltype(&avcodec_find_decoder) FindDecoder = nullptr;
    decltype(&avcodec_alloc_context3) AllocContext = nullptr;
    decltype(&avcodec_free_context) FreeContext = nullptr;
    decltype(&avcodec_open2) Open = nullptr;
    decltype(&avcodec_send_packet) SendPacket = nullptr;
    decltype(&avcodec_receive_frame) ReceiveFrame = nullptr;
    decltype(&av_packet_alloc) PacketAlloc = nullptr;
    decltype(&av_packet_free) PacketFree = nullptr;
    decltype(&av_new_packet) NewPacket = nullptr;
    decltype(&av_packet_unref) PacketUnref = nullptr;
    decltype(&av_frame_alloc) FrameAlloc = nullptr;
    decltype(&av_frame_free) FrameFree = nullptr;
    decltype(&av_frame_unref) FrameUnref = nullptr;
    decltype(&av_channel_layout_default) DefaultLayout = nullptr;
};

template <typename Function>
bool Resolve(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

const Codecs& LoadCodecs()
{
    static const Codecs codecs = [] {
        Codecs c;
        const std::string codecName = "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR);
        const std::string utilName = "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR);
        void* codec = dlopen(codecName.c_str(), RTLD_NOW | RTLD_LOCAL);
        void* util = dlopen(utilName.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (codec == nullptr || util == nullptr)
            return c;
        decltype(&av_log_set_level) setLogLevel = nullptr;
        c.Loaded = Resolve(codec, "avcodec_find_decoder", c.FindDecoder) &&
                   Resolve(codec, "avcodec_alloc_context3", c.AllocContext) &&
                   Resolve(codec, "avcodec_free_context", c.FreeContext) && Resolve(codec, "avcodec_open2", c.Open) &&
                   Resolve(codec, "avcodec_send_packet", c.SendPacket) &&
                   Resolve(codec, "avcodec_receive_frame", c.ReceiveFrame) &&
                   Resolve(codec, "av_packet_alloc", c.PacketAlloc) && Resolve(codec, "av_packet_free", c.PacketFree) &&
                   Resolve(codec, "av_new_packet", c.NewPacket) && Resolve(codec, "av_packet_unref", c.PacketUnref) &&
                   Resolve(util, "av_frame_alloc", c.FrameAlloc) && Resolve(util, "av_frame_free", c.FrameFree) &&
                   Resolve(util, "av_frame_unref", c.FrameUnref) &&
                   Resolve(util, "av_channel_layout_default", c.DefaultLayout) &&
                   Resolve(util, "av_log_set_level", setLogLevel);
        if (c.Loaded)
            setLogLevel(AV_LOG_QUIET);
        return c;
    }();
    return codecs;
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
    const Codecs& av = LoadCodecs();
    if (!av.Loaded)
        return QcpOutcome::NotPlayable;
    const AVCodec* codec = av.FindDecoder(layout->Codec == QcpCodec::Qcelp ? AV_CODEC_ID_QCELP : AV_CODEC_ID_EVRC);
    if (codec == nullptr)
        return QcpOutcome::NotPlayable;
    const auto freeContext = [&av](AVCodecContext* context) { av.FreeContext(&context); };
    std::unique_ptr<AVCodecContext, decltype(freeContext)> context(av.AllocContext(codec), freeContext);
    const auto freePacket = [&av](AVPacket* packet) { av.PacketFree(&packet); };
    std::unique_ptr<AVPacket, decltype(freePacket)> packet(av.PacketAlloc(), freePacket);
    const auto freeFrame = [&av](AVFrame* frame) { av.FrameFree(&frame); };
    std::unique_ptr<AVFrame, decltype(freeFrame)> frame(av.FrameAlloc(), freeFrame);
    if (!context || !packet || !frame)
        return QcpOutcome::Refused;
    context->sample_rate = 8000;
    av.DefaultLayout(&context->ch_layout, 1);
    if (av.Open(context.get(), codec, nullptr) < 0)
        return QcpOutcome::Refused;

    const std::span<const uint8_t> data = layout->Packets;
    std::vector<int16_t> samples;
    std::size_t p = 0;
    bool any = false;
    while (p < data.size()) {
        const auto size = static_cast<std::size_t>(QcpPacketSize(layout->Codec, data[p]));
        if (size == 0 || p + size > data.size())
            break;
        if (av.NewPacket(packet.get(), static_cast<int>(size)) < 0)
            return QcpOutcome::Refused;
        std::memcpy(packet->data, data.data() + p, size);
        const int sent = av.SendPacket(context.get(), packet.get());
        av.PacketUnref(packet.get());
        if (sent < 0)
            return any ? QcpOutcome::Decoded : QcpOutcome::Refused;
        while (av.ReceiveFrame(context.get(), frame.get()) == 0) {
            ToPcm16(*frame, samples);
            av.FrameUnref(frame.get());
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

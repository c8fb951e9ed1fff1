#include "av_codec_library.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <string>

namespace kestrix {
namespace {

int16_t FromFloat(float value)
{
    // A NaN from a broken frame becomes silence rather than an undefined cast.
    if (!(value == value))
        value = 0;
    return static_cast<int16_t>(std::clamp(value * 32768.0F, -32768.0F, 32767.0F));
}

}  // namespace

void* OpenAvLibrary(const char* stem, int majorVersion)
{
    const std::string name = std::string(stem) + ".so." + std::to_string(majorVersion);
    return OpenSharedLibrary(name.c_str());
}

const AvCodecLibrary& LoadAvCodec()
{
    static const AvCodecLibrary library = [] {
        AvCodecLibrary c;
        void* codec = OpenAvLibrary("libavcodec", LIBAVCODEC_VERSION_MAJOR);
        void* util = OpenAvLibrary("libavutil", LIBAVUTIL_VERSION_MAJOR);
        if (codec == nullptr || util == nullptr)
            return c;
        decltype(&av_log_set_level) setLogLevel = nullptr;
        c.Loaded = ResolveSymbol(codec, "avcodec_find_decoder", c.FindDecoder) &&
                   ResolveSymbol(codec, "avcodec_alloc_context3", c.AllocContext) &&
                   ResolveSymbol(codec, "avcodec_free_context", c.FreeContext) &&
                   ResolveSymbol(codec, "avcodec_parameters_to_context", c.ParametersToContext) &&
                   ResolveSymbol(codec, "avcodec_open2", c.Open) &&
                   ResolveSymbol(codec, "avcodec_send_packet", c.SendPacket) &&
                   ResolveSymbol(codec, "avcodec_receive_frame", c.ReceiveFrame) &&
                   ResolveSymbol(codec, "av_packet_alloc", c.PacketAlloc) &&
                   ResolveSymbol(codec, "av_packet_free", c.PacketFree) &&
                   ResolveSymbol(codec, "av_new_packet", c.NewPacket) &&
                   ResolveSymbol(codec, "av_packet_unref", c.PacketUnref) &&
                   ResolveSymbol(util, "av_frame_alloc", c.FrameAlloc) &&
                   ResolveSymbol(util, "av_frame_free", c.FrameFree) &&
                   ResolveSymbol(util, "av_frame_unref", c.FrameUnref) &&
                   ResolveSymbol(util, "av_channel_layout_default", c.DefaultLayout) &&
                   ResolveSymbol(util, "av_log_set_level", setLogLevel);
        if (c.Loaded)
            setLogLevel(AV_LOG_QUIET);
        return c;
    }();
    return library;
}

AvDecoderObjects::AvDecoderObjects(const AvCodecLibrary& av) : Av(av), Packet(av.PacketAlloc()), Frame(av.FrameAlloc())
{
}

AvDecoderObjects::~AvDecoderObjects()
{
    Av.FreeContext(&Context);
    Av.PacketFree(&Packet);
    Av.FrameFree(&Frame);
}

bool AppendPcm16(const AVFrame& frame, int channels, std::vector<int16_t>& out)
{
    if (frame.ch_layout.nb_channels != channels || frame.nb_samples < 0)
        return false;
    const auto count = static_cast<std::size_t>(frame.nb_samples);
    const auto width = static_cast<std::size_t>(channels);
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const std::size_t start = out.size();
    switch (format) {
    case AV_SAMPLE_FMT_S16: {
        const auto* samples = reinterpret_cast<const int16_t*>(frame.data[0]);
        out.insert(out.end(), samples, samples + count * width);
        return true;
    }
    case AV_SAMPLE_FMT_FLT: {
        const auto* samples = reinterpret_cast<const float*>(frame.data[0]);
        for (std::size_t i = 0; i < count * width; ++i)
            out.push_back(FromFloat(samples[i]));
        return true;
    }
    case AV_SAMPLE_FMT_S16P:
    case AV_SAMPLE_FMT_FLTP:
        out.resize(start + count * width);
        for (std::size_t c = 0; c < width; ++c)
            for (std::size_t i = 0; i < count; ++i)
                out[start + i * width + c] = format == AV_SAMPLE_FMT_S16P
                                                 ? reinterpret_cast<const int16_t*>(frame.extended_data[c])[i]
                                                 : FromFloat(reinterpret_cast<const float*>(frame.extended_data[c])[i]);
        return true;
    default: return false;
    }
}

}  // namespace kestrix

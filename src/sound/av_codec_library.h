#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "shared_library.h"

#include <cstdint>
#include <vector>

namespace kestrix {

// The functions of libavcodec and libavutil the sound decoders call. The
// libraries are opened at the first decode that needs them (LoadAvCodec): they
// bring some ninety libraries of their own, which a window that never plays
// such a sound should not load at its start.
struct AvCodecLibrary {
    bool Loaded = false;
    decltype(&avcodec_find_decoder) FindDecoder = nullptr;
    decltype(&avcodec_alloc_context3) AllocContext = nullptr;
    decltype(&avcodec_free_context) FreeContext = nullptr;
    decltype(&avcodec_parameters_to_context) ParametersToContext = nullptr;
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

// Opens libavcodec and libavutil of the major versions the module was built
// against, once a process, and silences their log. Loaded is false when
// either library or one of the functions is missing.
const AvCodecLibrary& LoadAvCodec();

// Opens the shared library named stem ("libavutil") of the given major
// version, as OpenSharedLibrary.
void* OpenAvLibrary(const char* stem, int majorVersion);

// The objects of one decode, freed through the library that made them.
struct AvDecoderObjects {
    explicit AvDecoderObjects(const AvCodecLibrary& av);
    ~AvDecoderObjects();
    AvDecoderObjects(const AvDecoderObjects&) = delete;
    AvDecoderObjects& operator=(const AvDecoderObjects&) = delete;

    // Whether every object was allocated (the context is allocated by the
    // caller, with the codec it decodes).
    bool Allocated() const noexcept { return Packet != nullptr && Frame != nullptr; }

    const AvCodecLibrary& Av;
    AVCodecContext* Context = nullptr;
    AVPacket* Packet = nullptr;
    AVFrame* Frame = nullptr;
};

// Appends the samples of a decoded frame to out as interleaved signed 16-bit
// samples (from 16-bit or float samples, packed or planar; a float NaN becomes
// silence). False, out unchanged, for another sample format or a frame of
// another channel count than channels.
bool AppendPcm16(const AVFrame& frame, int channels, std::vector<int16_t>& out);

}  // namespace kestrix

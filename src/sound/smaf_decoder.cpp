#include "smaf_decoder.h"

#include "av_codec_library.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace kestrix {
namespace {

constexpr int kIoBufferBytes = 4096;

// The functions of libavformat the SMAF decode calls, with libavutil's
// allocator for the reader's buffer.
struct AvFormatLibrary {
    bool Loaded = false;
    decltype(&av_find_input_format) FindInputFormat = nullptr;
    decltype(&avformat_alloc_context) AllocContext = nullptr;
    decltype(&avformat_open_input) OpenInput = nullptr;
    decltype(&avformat_close_input) CloseInput = nullptr;
    decltype(&av_read_frame) ReadFrame = nullptr;
    decltype(&avio_alloc_context) AllocIo = nullptr;
    decltype(&avio_context_free) FreeIo = nullptr;
    decltype(&av_malloc) Malloc = nullptr;
    decltype(&av_freep) FreeP = nullptr;
};

// libavformat pulls in every demuxer and its libraries: it is opened at the
// first SMAF decode, never at a program's start.
const AvFormatLibrary& LoadAvFormat()
{
    static const AvFormatLibrary library = [] {
        AvFormatLibrary f;
        void* format = OpenAvLibrary("libavformat", LIBAVFORMAT_VERSION_MAJOR);
        void* util = OpenAvLibrary("libavutil", LIBAVUTIL_VERSION_MAJOR);
        if (format == nullptr || util == nullptr)
            return f;
        f.Loaded = ResolveSymbol(format, "av_find_input_format", f.FindInputFormat) &&
                   ResolveSymbol(format, "avformat_alloc_context", f.AllocContext) &&
                   ResolveSymbol(format, "avformat_open_input", f.OpenInput) &&
                   ResolveSymbol(format, "avformat_close_input", f.CloseInput) &&
                   ResolveSymbol(format, "av_read_frame", f.ReadFrame) &&
                   ResolveSymbol(format, "avio_alloc_context", f.AllocIo) &&
                   ResolveSymbol(format, "avio_context_free", f.FreeIo) && ResolveSymbol(util, "av_malloc", f.Malloc) &&
                   ResolveSymbol(util, "av_freep", f.FreeP);
        return f;
    }();
    return library;
}

// The bytes the reader reads, as a file in memory.
struct MemoryInput {
    std::span<const uint8_t> Bytes;
    int64_t Position = 0;
};

int ReadInput(void* opaque, uint8_t* buffer, int size)
{
    auto* input = static_cast<MemoryInput*>(opaque);
    const int64_t left = static_cast<int64_t>(input->Bytes.size()) - input->Position;
    const auto taken = static_cast<int>(std::clamp<int64_t>(size, 0, left));
    if (taken == 0)
        return AVERROR_EOF;
    std::memcpy(buffer, input->Bytes.data() + input->Position, static_cast<std::size_t>(taken));
    input->Position += taken;
    return taken;
}

int64_t SeekInput(void* opaque, int64_t offset, int whence)
{
    auto* input = static_cast<MemoryInput*>(opaque);
    const auto size = static_cast<int64_t>(input->Bytes.size());
    if ((whence & AVSEEK_SIZE) != 0)
        return size;
    const int from = whence & ~AVSEEK_FORCE;
    if ((from != SEEK_SET && from != SEEK_CUR && from != SEEK_END) || offset < -size || offset > size)
        return AVERROR(EINVAL);
    const int64_t target = from == SEEK_CUR ? input->Position + offset : from == SEEK_END ? size + offset : offset;
    if (target < 0 || target > size)
        return AVERROR(EINVAL);
    input->Position = target;
    return target;
}

// A SMAF file of the contents info and the track alone, without a CRC.
std::vector<uint8_t> TrackFile(const SmafAudio& audio)
{
    const std::size_t body = audio.ContentsInfo.size() + audio.Track.size() + 2;
    std::vector<uint8_t> file{'M', 'M', 'M', 'D'};
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(static_cast<uint8_t>(body >> shift));
    file.insert(file.end(), audio.ContentsInfo.begin(), audio.ContentsInfo.end());
    file.insert(file.end(), audio.Track.begin(), audio.Track.end());
    file.insert(file.end(), 2, 0);
    return file;
}

// The reader over one file in memory, and what it allocated.
class SmafReader {
public:
    SmafReader(const AvFormatLibrary& format, std::span<const uint8_t> file) : m_format(format), m_input{file, 0}
    {
        auto* buffer = static_cast<uint8_t*>(format.Malloc(kIoBufferBytes));
        if (buffer == nullptr)
            return;
        m_io = format.AllocIo(buffer, kIoBufferBytes, 0, &m_input, ReadInput, nullptr, SeekInput);
        if (m_io == nullptr) {
            format.FreeP(&buffer);
            return;
        }
        m_context = format.AllocContext();
        if (m_context == nullptr)
            return;
        m_context->pb = m_io;
        // On failure the context is freed and set to null.
        if (format.OpenInput(&m_context, nullptr, format.FindInputFormat("mmf"), nullptr) < 0)
            m_context = nullptr;
    }
    ~SmafReader()
    {
        if (m_context != nullptr)
            m_format.CloseInput(&m_context);
        if (m_io != nullptr) {
            m_format.FreeP(&m_io->buffer);
            m_format.FreeIo(&m_io);
        }
    }
    SmafReader(const SmafReader&) = delete;
    SmafReader& operator=(const SmafReader&) = delete;

    // The opened file; null when it did not open.
    AVFormatContext* Context() const noexcept { return m_context; }

private:
    const AvFormatLibrary& m_format;
    MemoryInput m_input;
    AVIOContext* m_io = nullptr;
    AVFormatContext* m_context = nullptr;
};

}  // namespace

SmafOutcome DecodeSmafAudio(const SmafAudio& audio, const std::function<bool(std::span<const int16_t>)>& take)
{
    if (audio.Wave != SmafWave::YamahaAdpcm || audio.Bits != 4 || audio.SampleRate == 0)
        return SmafOutcome::NotPlayable;
    if (!audio.Playable())
        return SmafOutcome::Refused;
    const AvCodecLibrary& av = LoadAvCodec();
    const AvFormatLibrary& format = LoadAvFormat();
    if (!av.Loaded || !format.Loaded || format.FindInputFormat("mmf") == nullptr)
        return SmafOutcome::NotPlayable;
    const AVCodec* codec = av.FindDecoder(AV_CODEC_ID_ADPCM_YAMAHA);
    if (codec == nullptr)
        return SmafOutcome::NotPlayable;

    const std::vector<uint8_t> file = TrackFile(audio);
    SmafReader reader(format, file);
    AVFormatContext* input = reader.Context();
    if (input == nullptr || input->nb_streams != 1)
        return SmafOutcome::Refused;
    const AVCodecParameters& parameters = *input->streams[0]->codecpar;
    // The reader and the walk must read the same track.
    if (parameters.codec_id != AV_CODEC_ID_ADPCM_YAMAHA || parameters.sample_rate != audio.SampleRate ||
        parameters.ch_layout.nb_channels != audio.Channels)
        return SmafOutcome::Refused;
    AvDecoderObjects objects(av);
    objects.Context = av.AllocContext(codec);
    if (!objects.Allocated() || objects.Context == nullptr ||
        av.ParametersToContext(objects.Context, &parameters) < 0 || av.Open(objects.Context, codec, nullptr) < 0)
        return SmafOutcome::Refused;

    std::vector<int16_t> samples;
    bool any = false;
    // Drains the decoder's frames into take; false when take stops or a
    // frame is of a kind the conversion does not know.
    const auto drain = [&](bool& stopped) {
        while (av.ReceiveFrame(objects.Context, objects.Frame) == 0) {
            samples.clear();
            const bool converted = AppendPcm16(*objects.Frame, audio.Channels, samples);
            av.FrameUnref(objects.Frame);
            if (!converted)
                return false;
            if (samples.empty())
                continue;
            any = true;
            if (!take(samples)) {
                stopped = true;
                return false;
            }
        }
        return true;
    };
    bool stopped = false;
    bool going = true;
    while (going && format.ReadFrame(input, objects.Packet) >= 0) {
        const int sent = av.SendPacket(objects.Context, objects.Packet);
        av.PacketUnref(objects.Packet);
        going = sent >= 0 && drain(stopped);
    }
    if (going && av.SendPacket(objects.Context, nullptr) >= 0)
        drain(stopped);
    if (stopped)
        return SmafOutcome::Stopped;
    return any ? SmafOutcome::Decoded : SmafOutcome::Refused;
}

}  // namespace kestrix

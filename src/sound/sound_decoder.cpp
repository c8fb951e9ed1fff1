#include "sound_decoder.h"

#include "amr_walk.h"
#include "fluid_synth_library.h"
#include "format_table.h"
#include "imelody_score.h"
#include "midi_walk.h"
#include "qcp_decoder.h"
#include "smaf_decoder.h"
#include "smaf_walk.h"
#include "walk_result.h"

#include <mpg123.h>
#include <opencore-amrnb/interf_dec.h>
#include <opencore-amrwb/dec_if.h>
#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace kestrix {
namespace {

constexpr int64_t kFixedFrames = int64_t{1} << 20;
constexpr int64_t kFramesPerByte = 256;
// Half an hour at 48 kHz, the longest sound decoded whole.
constexpr int64_t kLongestFrames = int64_t{30} * 60 * 48000;
// A verdict decodes at most this much of a sound (a second at 8 kHz): a
// decoder refuses what it cannot read at its start, and one that has read
// that far takes the rest, damage and all.
constexpr int64_t kCheckFrames = 8000;
// Samples rendered or read between two looks at the cancel flag.
constexpr int kBlockFrames = 1024;
constexpr int32_t kCheckMidiRate = 8000;
constexpr int64_t kLongestMidiMs = int64_t{10} * 60 * 1000;
constexpr const char* kSoundFontPath = "/usr/share/sounds/sf2/default-GM.sf2";

bool Cancelled(const SoundLimits& limits)
{
    return limits.Cancel != nullptr && limits.Cancel->load(std::memory_order_relaxed);
}

// Gathers the frames a decoder gives, within the limits.
class PcmSink {
public:
    enum class Next { More, Enough, TooCostly, Stopped };

    PcmSink(int32_t rate, int32_t channels, const SoundLimits& limits) : m_limits(limits)
    {
        m_sound.SampleRate = rate;
        m_sound.Channels = channels;
    }

    Pcm& Sound() noexcept { return m_sound; }
    int64_t Frames() const noexcept { return m_frames; }

    // Takes samples (whole frames) of block.
    Next Add(const int16_t* block, std::size_t samples)
    {
        m_frames += static_cast<int64_t>(samples) / std::max(1, m_sound.Channels);
        if (m_frames > m_limits.MaxFrames)
            return Next::TooCostly;
        if (m_limits.Stream) {
            if (!m_limits.Stream({block, samples}, m_sound.SampleRate, m_sound.Channels))
                return Next::Stopped;
        } else if (m_limits.KeepSamples) {
            m_sound.Samples.insert(m_sound.Samples.end(), block, block + samples);
        }
        return m_limits.EnoughFrames >= 0 && m_frames >= m_limits.EnoughFrames ? Next::Enough : Next::More;
    }

    // The outcome of a decode that ended with next (More: the bytes ran out).
    SoundDecode Finish(Next next)
    {
        if (next == Next::TooCostly)
            return {SoundOutcome::TooCostly, {}};
        if (next == Next::Stopped)
            return {SoundOutcome::Cancelled, {}};
        if (m_frames == 0)
            return {SoundOutcome::Refused, {}};
        return {SoundOutcome::Decoded, std::move(m_sound)};
    }

private:
    const SoundLimits& m_limits;
    Pcm m_sound;
    int64_t m_frames = 0;
};

SoundDecode Result(SoundOutcome outcome)
{
    return {outcome, {}};
}

SoundDecode DecodeAmr(std::span<const uint8_t> bytes, const SoundLimits& limits)
{
    const bool wide = bytes.size() >= 9 && std::memcmp(bytes.data(), "#!AMR-WB\n", 9) == 0;
    const std::size_t header = wide ? 9 : 6;
    if (!wide && (bytes.size() < 6 || std::memcmp(bytes.data(), "#!AMR\n", 6) != 0))
        return Result(SoundOutcome::Refused);
    PcmSink sink(wide ? 16000 : 8000, 1, limits);
    const std::size_t frameSamples = wide ? 320 : 160;
    std::unique_ptr<void, void (*)(void*)> state(wide ? D_IF_init() : Decoder_Interface_init(),
                                                 wide ? D_IF_exit : Decoder_Interface_exit);
    if (!state)
        return Result(SoundOutcome::Refused);
    // The decoders read up to a whole frame of the largest mode: each frame is
    // copied into a block of that size.
    uint8_t frame[64] = {};
    int16_t samples[320];
    std::size_t p = header;
    PcmSink::Next next = PcmSink::Next::More;
    while (p < bytes.size() && next == PcmSink::Next::More) {
        const auto size = static_cast<std::size_t>(AmrFrameSize(wide, bytes[p]));
        if (size == 0 || p + size > bytes.size())
            break;
        std::fill(std::begin(frame), std::end(frame), 0);
        std::copy_n(bytes.data() + p, size, frame);
        if (wide)
            D_IF_decode(state.get(), frame, samples, 0);
        else
            Decoder_Interface_Decode(state.get(), frame, samples, 0);
        next = sink.Add(samples, frameSamples);
        if (Cancelled(limits))
            return Result(SoundOutcome::Cancelled);
        p += size;
    }
    return sink.Finish(next);
}

SoundDecode DecodeMp3(std::span<const uint8_t> bytes, const SoundLimits& limits)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> handle(mpg123_new(nullptr, &error), mpg123_delete);
    if (!handle)
        return Result(SoundOutcome::Refused);
    mpg123_handle* mh = handle.get();
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(mh);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(mh) != MPG123_OK || mpg123_feed(mh, bytes.data(), bytes.size()) != MPG123_OK)
        return Result(SoundOutcome::Refused);
    PcmSink sink(0, 0, limits);
    Pcm& sound = sink.Sound();
    PcmSink::Next next = PcmSink::Next::More;
    int16_t block[kBlockFrames * 2];
    while (next == PcmSink::Next::More) {
        std::size_t done = 0;
        const int status = mpg123_read(mh, block, sizeof block, &done);
        if (status == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(mh, &rate, &channels, &encoding);
            // A change of format within one item would be a second sound.
            if (sound.SampleRate != 0 && (sound.SampleRate != rate || sound.Channels != channels))
                return Result(SoundOutcome::Refused);
            sound.SampleRate = static_cast<int32_t>(rate);
            sound.Channels = channels;
            continue;
        }
        if (done > 0 && sound.Channels > 0)
            next = sink.Add(block, done / sizeof(int16_t));
        if (Cancelled(limits))
            return Result(SoundOutcome::Cancelled);
        if (status == MPG123_NEED_MORE || status == MPG123_DONE)
            break;
        if (status != MPG123_OK)
            return Result(SoundOutcome::Refused);
    }
    return sink.Finish(next);
}

// libsndfile reads the item from memory through these.
struct MemoryFile {
    std::span<const uint8_t> Bytes;
    sf_count_t Position = 0;
};

sf_count_t MemoryLength(void* file)
{
    return static_cast<sf_count_t>(static_cast<MemoryFile*>(file)->Bytes.size());
}

sf_count_t MemorySeek(sf_count_t offset, int whence, void* data)
{
    auto* file = static_cast<MemoryFile*>(data);
    const auto size = static_cast<sf_count_t>(file->Bytes.size());
    sf_count_t target = offset;
    if (whence == SEEK_CUR)
        target = file->Position + offset;
    else if (whence == SEEK_END)
        target = size + offset;
    file->Position = std::clamp<sf_count_t>(target, 0, size);
    return file->Position;
}

sf_count_t MemoryRead(void* out, sf_count_t count, void* data)
{
    auto* file = static_cast<MemoryFile*>(data);
    const sf_count_t left = static_cast<sf_count_t>(file->Bytes.size()) - file->Position;
    const sf_count_t taken = std::clamp<sf_count_t>(count, 0, left);
    std::memcpy(out, file->Bytes.data() + file->Position, static_cast<std::size_t>(taken));
    file->Position += taken;
    return taken;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t MemoryTell(void* data)
{
    return static_cast<MemoryFile*>(data)->Position;
}

SoundDecode DecodeWav(std::span<const uint8_t> bytes, const SoundLimits& limits)
{
    SF_VIRTUAL_IO io{MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
    MemoryFile file{bytes};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> handle(sf_open_virtual(&io, SFM_READ, &info, &file), sf_close);
    if (!handle || info.channels < 1 || info.channels > 8 || info.samplerate < 1)
        return Result(SoundOutcome::Refused);
    if (info.frames > limits.MaxFrames)
        return Result(SoundOutcome::TooCostly);
    PcmSink sink(info.samplerate, info.channels, limits);
    PcmSink::Next next = PcmSink::Next::More;
    std::vector<int16_t> block(static_cast<std::size_t>(kBlockFrames * info.channels));
    while (next == PcmSink::Next::More) {
        const sf_count_t read = sf_readf_short(handle.get(), block.data(), kBlockFrames);
        if (read <= 0)
            break;
        next = sink.Add(block.data(), static_cast<std::size_t>(read * info.channels));
        if (Cancelled(limits))
            return Result(SoundOutcome::Cancelled);
    }
    return sink.Finish(next);
}

// The MIDI file inside an RMID: its "data" chunk.
std::span<const uint8_t> RmidData(std::span<const uint8_t> bytes)
{
    std::size_t p = 12;
    while (p + 8 <= bytes.size()) {
        const uint32_t size = ReadLe32(bytes, static_cast<int64_t>(p + 4));
        const std::size_t body = p + 8;
        if (std::memcmp(bytes.data() + p, "data", 4) == 0)
            return bytes.subspan(body, std::min<std::size_t>(size, bytes.size() - body));
        if (size > bytes.size() - body)
            break;
        p = body + size + (size & 1);
    }
    return {};
}

// Whether MIDI renders here: the sound font is installed and the
// synthesizer library opens. The font is looked at first, so that a machine
// without it never loads the library.
bool MidiPlayable()
{
    return !MidiSoundFont().empty() && LoadFluidSynth().Loaded;
}

// One synthesizer with the sound font loaded.
class MidiSynth {
public:
    MidiSynth(const FluidSynthLibrary& fluid, int32_t rate) : m_fluid(fluid)
    {
        m_settings = fluid.NewSettings();
        fluid.SetNum(m_settings, "synth.sample-rate", rate);
        fluid.SetInt(m_settings, "synth.reverb.active", 0);
        fluid.SetInt(m_settings, "synth.chorus.active", 0);
        fluid.SetInt(m_settings, "synth.cpu-cores", 1);
        fluid.SetStr(m_settings, "player.timing-source", "sample");
        fluid.SetInt(m_settings, "synth.lock-memory", 0);
        m_synth = fluid.NewSynth(m_settings);
        m_loaded = m_synth != nullptr && fluid.LoadSoundFont(m_synth, kSoundFontPath, 1) != FLUID_FAILED;
    }
    ~MidiSynth()
    {
        if (m_synth != nullptr)
            m_fluid.DeleteSynth(m_synth);
        m_fluid.DeleteSettings(m_settings);
    }
    MidiSynth(const MidiSynth&) = delete;
    MidiSynth& operator=(const MidiSynth&) = delete;

    bool Loaded() const noexcept { return m_loaded; }
    fluid_synth_t* Synth() const noexcept { return m_synth; }

private:
    const FluidSynthLibrary& m_fluid;
    fluid_settings_t* m_settings = nullptr;
    fluid_synth_t* m_synth = nullptr;
    bool m_loaded = false;
};

// The synthesizer of a rate, shared by every thread: loading the sound font
// costs far more than rendering a ringtone, so it is loaded once a process.
// The lock is held for a whole render.
struct SharedSynth {
    std::unique_lock<std::mutex> Lock;
    MidiSynth& Synth;
};

SharedSynth SynthFor(const FluidSynthLibrary& fluid, int32_t rate)
{
    static std::mutex mutex;
    static std::vector<std::pair<int32_t, std::unique_ptr<MidiSynth>>> synths;
    std::unique_lock lock(mutex);
    for (auto& [synthRate, synth] : synths)
        if (synthRate == rate)
            return {std::move(lock), *synth};
    synths.emplace_back(rate, std::make_unique<MidiSynth>(fluid, rate));
    return {std::move(lock), *synths.back().second};
}

// The header and the MTrk chunks of a whole MIDI file, without the chunks of
// other types: the synthesizer's player takes the first chunk after the
// header for a track whatever its type, and plays a file with an XFIH chunk
// there as a few milliseconds of silence.
std::vector<uint8_t> TracksOnly(std::span<const uint8_t> bytes)
{
    constexpr std::size_t kHeaderEnd = 14;
    std::vector<uint8_t> tracks(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kHeaderEnd));
    std::size_t p = kHeaderEnd;
    while (p + 8 <= bytes.size()) {
        const std::size_t end = std::min(bytes.size(), p + 8 + ReadBe32(bytes, static_cast<int64_t>(p + 4)));
        if (std::memcmp(bytes.data() + p, "MTrk", 4) == 0)
            tracks.insert(tracks.end(), bytes.begin() + static_cast<std::ptrdiff_t>(p),
                          bytes.begin() + static_cast<std::ptrdiff_t>(end));
        p = end;
    }
    return tracks;
}

SoundDecode RenderMidi(std::span<const uint8_t> file, const SoundLimits& limits)
{
    if (!MidiPlayable())
        return Result(SoundOutcome::NotPlayable);
    if (file.size() < 14)
        return Result(SoundOutcome::Refused);
    const std::vector<uint8_t> tracks = TracksOnly(file);
    const std::span<const uint8_t> bytes = tracks;
    const FluidSynthLibrary& fluid = LoadFluidSynth();
    const SharedSynth shared = SynthFor(fluid, limits.MidiSampleRate);
    MidiSynth& midi = shared.Synth;
    if (!midi.Loaded())
        return Result(SoundOutcome::NotPlayable);
    fluid_synth_t* synth = midi.Synth();
    fluid.SystemReset(synth);
    std::unique_ptr<fluid_player_t, void (*)(fluid_player_t*)> player(fluid.NewPlayer(synth), fluid.DeletePlayer);
    if (!player || fluid.AddMem(player.get(), bytes.data(), bytes.size()) != FLUID_OK ||
        fluid.Play(player.get()) != FLUID_OK)
        return Result(SoundOutcome::Refused);
    // The player keeps playing for a while after the last track's end: the
    // song's own length, from its events and tempo changes, decides.
    // A few bytes of MIDI may play for minutes: its budget is its length,
    // up to the longest a ringtone plays.
    const WalkResult walk = WalkMidi(bytes);
    const int64_t length = walk.DurationMs * limits.MidiSampleRate / 1000;
    SoundLimits midiLimits = limits;
    midiLimits.MaxFrames = kLongestMidiMs * limits.MidiSampleRate / 1000;
    if (length > midiLimits.MaxFrames)
        return Result(SoundOutcome::TooCostly);
    PcmSink sink(limits.MidiSampleRate, 2, midiLimits);
    PcmSink::Next next = PcmSink::Next::More;
    int16_t block[kBlockFrames * 2];
    bool refused = false;
    while (next == PcmSink::Next::More && sink.Frames() < length &&
           fluid.GetStatus(player.get()) == FLUID_PLAYER_PLAYING) {
        const int frames = static_cast<int>(std::min<int64_t>(kBlockFrames, length - sink.Frames()));
        if (fluid.WriteS16(synth, frames, block, 0, 2, block, 1, 2) != FLUID_OK) {
            refused = true;
            break;
        }
        next = sink.Add(block, static_cast<std::size_t>(frames) * 2);
        if (Cancelled(limits)) {
            fluid.Stop(player.get());
            return Result(SoundOutcome::Cancelled);
        }
    }
    fluid.Stop(player.get());
    // A player that stopped well before the walked length did not play the
    // song the walk read: the file is not what it seems.
    if (next == PcmSink::Next::More && sink.Frames() + limits.MidiSampleRate + length / 100 < length)
        refused = true;
    return refused ? Result(SoundOutcome::Refused) : sink.Finish(next);
}

// QCP voice through libavcodec, 8000 Hz mono.
SoundDecode DecodeQcpSound(std::span<const uint8_t> bytes, const SoundLimits& limits)
{
    PcmSink sink(8000, 1, limits);
    PcmSink::Next next = PcmSink::Next::More;
    const QcpOutcome outcome = DecodeQcp(bytes, [&](std::span<const int16_t> block) {
        next = sink.Add(block.data(), block.size());
        return next == PcmSink::Next::More && !Cancelled(limits);
    });
    if (Cancelled(limits))
        return Result(SoundOutcome::Cancelled);
    if (outcome == QcpOutcome::NotPlayable)
        return Result(SoundOutcome::NotPlayable);
    return outcome == QcpOutcome::Refused ? Result(SoundOutcome::Refused) : sink.Finish(next);
}

// A SMAF's first audio track through libavformat and libavcodec.
SoundDecode DecodeSmafSound(std::span<const uint8_t> bytes, const SoundLimits& limits)
{
    const std::optional<SmafAudio> audio = ReadSmafAudio(bytes);
    if (!audio)
        return Result(SoundOutcome::NotPlayable);
    PcmSink sink(audio->SampleRate, audio->Channels, limits);
    PcmSink::Next next = PcmSink::Next::More;
    const SmafOutcome outcome = DecodeSmafAudio(*audio, [&](std::span<const int16_t> block) {
        next = sink.Add(block.data(), block.size());
        return next == PcmSink::Next::More && !Cancelled(limits);
    });
    if (Cancelled(limits))
        return Result(SoundOutcome::Cancelled);
    if (outcome == SmafOutcome::NotPlayable)
        return Result(SoundOutcome::NotPlayable);
    return outcome == SmafOutcome::Refused ? Result(SoundOutcome::Refused) : sink.Finish(next);
}

// An iMelody played as the MIDI file of its notes.
SoundDecode RenderImelody(std::span<const uint8_t> bytes, const SoundLimits& limits)
{
    const std::vector<uint8_t> midi = ImelodyMidiFile(ReadImelody(bytes));
    return midi.empty() ? Result(SoundOutcome::Refused) : RenderMidi(midi, limits);
}

}  // namespace

int64_t SoundFrameBudget(std::size_t bytes) noexcept
{
    return std::min(kFixedFrames + kFramesPerByte * static_cast<int64_t>(bytes), kLongestFrames);
}

std::string MidiSoundFont()
{
    std::error_code error;
    return std::filesystem::exists(kSoundFontPath, error) ? kSoundFontPath : std::string();
}

bool CanPlay(ItemType type)
{
    switch (type) {
    case ItemType::Midi:
    case ItemType::Rmid:
    case ItemType::Imelody: return MidiPlayable();
    case ItemType::Qcp:
    case ItemType::Amr:
    case ItemType::AmrWb:
    case ItemType::Mp3:
    case ItemType::Wav: return true;
    default: return false;
    }
}

bool CanPlay(ItemType type, std::span<const uint8_t> bytes)
{
    if (type != ItemType::Smaf)
        return CanPlay(type);
    const std::optional<SmafAudio> audio = ReadSmafAudio(bytes);
    return audio && audio->Playable();
}

SoundDecode DecodeSound(ItemType type, std::span<const uint8_t> bytes, const SoundLimits& limits)
{
    if (KindOf(type) != ContentKind::Sound)
        return Result(SoundOutcome::NotPlayable);
    // The codec libraries only ever see what the format's walk accepted: a
    // cut sound plays up to its cut.
    const WalkResult walk = TraitsOf(type).Walk(bytes, true);
    if (walk.Verdict == WalkVerdict::NoItem)
        return Result(SoundOutcome::Refused);
    bytes = bytes.first(static_cast<std::size_t>(walk.End));
    // What the walk knows of the length decides the cost before any decoding.
    if (walk.SampleRate > 0 && walk.DurationMs > limits.MaxFrames / walk.SampleRate * 1000 + 1000)
        return Result(SoundOutcome::TooCostly);
    try {
        switch (type) {
        case ItemType::Midi: return RenderMidi(bytes, limits);
        case ItemType::Rmid: {
            const std::span<const uint8_t> midi = RmidData(bytes);
            return midi.empty() ? Result(SoundOutcome::Refused) : RenderMidi(midi, limits);
        }
        case ItemType::Amr:
        case ItemType::AmrWb: return DecodeAmr(bytes, limits);
        case ItemType::Mp3: return DecodeMp3(bytes, limits);
        case ItemType::Wav: return DecodeWav(bytes, limits);
        case ItemType::Qcp: return DecodeQcpSound(bytes, limits);
        case ItemType::Imelody: return RenderImelody(bytes, limits);
        case ItemType::Smaf: return DecodeSmafSound(bytes, limits);
        default: return Result(SoundOutcome::NotPlayable);
        }
    } catch (const std::bad_alloc&) {
        return Result(SoundOutcome::TooCostly);
    }
}

namespace {

// The verdict on a MIDI file (or an RMID's) that its walk gives for certain:
// a song whose every event parsed plays as walked, without a synthesizer.
ItemStatus MidiVerdict(std::span<const uint8_t> midi)
{
    const MidiSummary summary = SummarizeMidi(midi);
    if (summary.Walk.Verdict != WalkVerdict::Whole || !summary.EventsParse || summary.Notes == 0)
        return ItemStatus::Damaged;
    if (MidiSoundFont().empty() || summary.Walk.DurationMs > kLongestMidiMs)
        return ItemStatus::Unchecked;
    return ItemStatus::Complete;
}

}  // namespace

ItemStatus CheckSound(ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel)
{
    if (type == ItemType::Midi)
        return MidiVerdict(bytes);
    if (type == ItemType::Rmid) {
        const WalkResult walk = WalkRiff(bytes);
        if (walk.Verdict != WalkVerdict::Whole)
            return ItemStatus::Damaged;
        const std::span<const uint8_t> midi = RmidData(bytes.first(static_cast<std::size_t>(walk.End)));
        return midi.empty() ? ItemStatus::Damaged : MidiVerdict(midi);
    }
    // The AMR decoders take every frame of a known type and size, whatever its
    // bits: a stream walked to its end decodes, and only its cost is left to
    // decide, by the frames its walk counted, as for its WAV file.
    if (type == ItemType::Amr || type == ItemType::AmrWb) {
        const WalkResult walk = WalkAmr(bytes);
        if (walk.Verdict == WalkVerdict::Whole && walk.DurationMs == 0)
            return ItemStatus::Damaged;
        if (walk.Verdict == WalkVerdict::Whole)
            return walk.DurationMs * walk.SampleRate / 1000 > SoundFrameBudget(bytes.size()) ? ItemStatus::Unchecked
                                                                                             : ItemStatus::Complete;
    }
    // Melodies are judged by their text's grammar: no synthesizer is needed
    // to tell a whole one.
    if (type == ItemType::Imelody)
        return ReadImelody(bytes).Valid ? ItemStatus::Complete : ItemStatus::Damaged;
    if (type == ItemType::Qcp) {
        const std::optional<QcpLayout> layout = ReadQcpLayout(bytes);
        if (layout && layout->Codec != QcpCodec::Other && !QcpPacketsFillData(*layout))
            return ItemStatus::Damaged;
    }
    // SMAF rests on its CRC, and its audio track, where one plays, on its
    // decode too; its score tracks play nowhere.
    if (type == ItemType::Smaf) {
        const WalkResult walk = WalkSmaf(bytes);
        if (walk.Verdict != WalkVerdict::Whole ||
            CheckSmafCrc(bytes.first(static_cast<std::size_t>(walk.End))) == SmafCrc::Disagrees)
            return ItemStatus::Damaged;
    }
    SoundLimits limits;
    limits.MaxFrames = SoundFrameBudget(bytes.size());
    limits.EnoughFrames = kCheckFrames;
    limits.KeepSamples = false;
    limits.MidiSampleRate = kCheckMidiRate;
    limits.Cancel = &cancel;
    switch (DecodeSound(type, bytes, limits).Outcome) {
    case SoundOutcome::Decoded: return ItemStatus::Complete;
    case SoundOutcome::Refused: return ItemStatus::Damaged;
    case SoundOutcome::NotPlayable: return type == ItemType::Smaf ? ItemStatus::Complete : ItemStatus::Unchecked;
    case SoundOutcome::TooCostly:
    case SoundOutcome::Cancelled: return ItemStatus::Unchecked;
    }
    return ItemStatus::Unchecked;
}

}  // namespace kestrix

#include "sound_plugin.h"
#include "sound_decoder.h"
#include "wav_file.h"

namespace kestrix {
namespace {

ItemStatus Check(ItemType type, const uint8_t* data, std::size_t size, const std::atomic<bool>* cancel)
{
    static const std::atomic<bool> kNever{false};
    try {
        return CheckSound(type, {data, size}, cancel != nullptr ? *cancel : kNever);
    } catch (...) {
        return ItemStatus::Unchecked;
    }
}

bool ToWav(ItemType type, const uint8_t* data, std::size_t size, std::vector<uint8_t>* wav, std::string* why)
{
    try {
        SoundLimits limits;
        limits.MaxFrames = SoundFrameBudget(size);
        const SoundDecode decoded = DecodeSound(type, {data, size}, limits);
        switch (decoded.Outcome) {
        case SoundOutcome::Decoded: *wav = WavFileBytes(decoded.Sound); return true;
        case SoundOutcome::Refused: *why = "the sound does not decode"; break;
        case SoundOutcome::TooCostly: *why = "the sound would decode to more than its bytes allow"; break;
        case SoundOutcome::NotPlayable: *why = "no decoder here plays this type"; break;
        case SoundOutcome::Cancelled: *why = "cancelled"; break;
        }
    } catch (const std::exception& error) {
        *why = error.what();
    }
    return false;
}

bool ToWavStream(ItemType type, const uint8_t* data, std::size_t size, Stream* out, int64_t maxBytes,
                 std::string* why)
{
    try {
        return WriteWavFile(type, {data, size}, *out, maxBytes, *why);
    } catch (const std::exception& error) {
        *why = error.what();
    }
    return false;
}

constexpr SoundPlugin kPlugin{kSoundPluginVersion, Check, ToWav, ToWavStream};

}  // namespace
}  // namespace kestrix

extern "C" __attribute__((visibility("default"))) const kestrix::SoundPlugin* KestrixSoundPlugin()
{
    return &kestrix::kPlugin;
}

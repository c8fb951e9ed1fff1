#include "sound_plugin.h"
#include "sound_decoder.h"
#include "wav_file.h"

#include <exception>

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

bool ToWav(ItemType type, const uint8_t* data, std::size_t size, Stream* out, int64_t* budget,
           const std::atomic<bool>* cancel, std::string* why)
{
    try {
        return SoundToWav(type, {data, size}, *out, *budget, *why, cancel);
    } catch (const std::exception& error) {
        *why = error.what();
    }
    return false;
}

constexpr SoundPlugin kPlugin{kSoundPluginAbi, Check, ToWav};

}  // namespace
}  // namespace kestrix

extern "C" __attribute__((visibility("default"))) const kestrix::SoundPlugin* KestrixSoundPlugin()
{
    return &kestrix::kPlugin;
}

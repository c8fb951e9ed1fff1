#include "sound_plugin.h"

// A sound module built against another revision of the boundary: its table
// looks like this build's, but its ABI number is not.
namespace {

constexpr kestrix::SoundPlugin kPlugin{
    kestrix::SoundPluginAbi(sizeof(kestrix::SoundPlugin), kestrix::kSoundPluginRevision + 1), nullptr, nullptr};

}  // namespace

extern "C" __attribute__((visibility("default"))) const kestrix::SoundPlugin* KestrixSoundPlugin()
{
    return &kPlugin;
}

#include "sound_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

namespace kestrix {
namespace {

struct Loaded {
    const SoundPlugin* Plugin = nullptr;
    std::string Why;
};

Loaded Load()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path folder = error ? std::filesystem::path(".") : self.parent_path();
    const std::vector<std::filesystem::path> places = {folder / kSoundPluginFile,
                                                       folder / KESTRIX_SOUND_PLUGIN_FROM_BIN / kSoundPluginFile};
    std::string why;
    for (const std::filesystem::path& place : places) {
        std::string failure;
        if (const SoundPlugin* plugin = OpenSoundPlugin(place, failure))
            return {plugin, {}};
        if (why.empty() || std::filesystem::exists(place, error))
            why = failure;
    }
    return {nullptr, why};
}

}  // namespace

const SoundPlugin* OpenSoundPlugin(const std::filesystem::path& place, std::string& why)
{
    void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        why = dlerror();
        return nullptr;
    }
    using Entry = const SoundPlugin* (*)();
    const auto entry = reinterpret_cast<Entry>(dlsym(module, kSoundPluginSymbol));
    const SoundPlugin* plugin = entry != nullptr ? entry() : nullptr;
    if (plugin != nullptr && plugin->Abi == kSoundPluginAbi)
        return plugin;
    why = place.string() + " is not a sound module of this version";
    dlclose(module);
    return nullptr;
}

const SoundPlugin* LoadSoundPlugin(std::string& why)
{
    static const Loaded kLoaded = Load();
    why = kLoaded.Why;
    return kLoaded.Plugin;
}

}  // namespace kestrix

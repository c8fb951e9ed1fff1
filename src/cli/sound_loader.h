#pragma once

#include "sound_plugin.h"

#include <filesystem>
#include <string>

namespace kestrix {

// The sound decoders' module, opened on first use and kept open: beside this
// program (the build folder), or in ../lib/kestrix from its folder (an
// installed program). Null, with the reason in why, when it cannot be opened
// or is of another version.
const SoundPlugin* LoadSoundPlugin(std::string& why);

// The sound module at place, opened and kept open when its table's ABI number
// is kSoundPluginAbi; null, with the reason in why, when it cannot be opened,
// has no table, or is of another number (it is then closed again).
const SoundPlugin* OpenSoundPlugin(const std::filesystem::path& place, std::string& why);

}  // namespace kestrix

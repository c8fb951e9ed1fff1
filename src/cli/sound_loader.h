#pragma once

#include "sound_plugin.h"

#include <string>

namespace kestrix {

// The sound decoders' module, opened on first use and kept open: beside this
// program (the build folder), or in ../lib/kestrix from its folder (an
// installed program). Null, with the reason in why, when it cannot be opened
// or is of another version.
const SoundPlugin* LoadSoundPlugin(std::string& why);

}  // namespace kestrix

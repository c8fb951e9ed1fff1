#pragma once

#include "content_search.h"
#include "stream.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrix {

// The sound decoders as the command line loads them: a module of their own
// (they bring a synthesizer and five codec libraries), opened only by the
// commands that decode sounds, so that the others start without them.
struct SoundPlugin {
    // kSoundPluginVersion of the module; a module of another version is not used.
    int Version;
    // The decoders' verdict on a whole sound (see CheckSound); never throws.
    ItemStatus (*Check)(ItemType type, const uint8_t* data, std::size_t size, const std::atomic<bool>* cancel);
    // The sound as a 16-bit PCM WAV file into wav; false (wav untouched) when
    // it does not decode, with the reason, in English, in why. Never throws.
    bool (*ToWav)(ItemType type, const uint8_t* data, std::size_t size, std::vector<uint8_t>* wav, std::string* why);
    // The sound as a 16-bit PCM WAV file written into out as it decodes, in
    // bounded memory, at most maxBytes long (see WriteWavFile); false, with the
    // reason in English in why, when it is not written whole (out then holds a
    // part, for the caller to drop). Never throws: a failure of out is a
    // false return with its message.
    bool (*ToWavStream)(ItemType type, const uint8_t* data, std::size_t size, Stream* out, int64_t maxBytes,
                        std::string* why);
};

inline constexpr int kSoundPluginVersion = 2;
// The module's file name and the C function in it that returns its table.
inline constexpr const char* kSoundPluginFile = "kestrix-sound.so";
inline constexpr const char* kSoundPluginSymbol = "KestrixSoundPlugin";

}  // namespace kestrix

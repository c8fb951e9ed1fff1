#pragma once

#include "content_search.h"
#include "stream.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix {

// The sound decoders as the command line loads them: a module of their own
// (they bring a synthesizer and five codec libraries), opened only by the
// commands that decode sounds, so that the others start without them.
// Its first field is the ABI number (kSoundPluginAbi) of the module, at the
// same place in every version: a module of another number is not used.
struct SoundPlugin {
    uint64_t Abi;
    // The decoders' verdict on a whole sound (see CheckSound); never throws.
    ItemStatus (*Check)(ItemType type, const uint8_t* data, std::size_t size, const std::atomic<bool>* cancel);
    // SoundToWav: the sound as a 16-bit PCM WAV file written into out as it
    // decodes, within *budget, which it lowers by what it wrote. Never throws:
    // a failure of out is a false return with its message in why.
    bool (*ToWav)(ItemType type, const uint8_t* data, std::size_t size, Stream* out, int64_t* budget,
                  const std::atomic<bool>* cancel, std::string* why);
};

// What the WAV files made of one image's sounds may hold in all, by one save of
// the window or one `content --extract --wav`: 32 bytes for each byte of the
// image, plus 64 MiB. A sound the rest of it cannot take is refused before it
// is decoded.
constexpr int64_t WavBudgetOf(std::size_t imageBytes) noexcept
{
    return 32 * static_cast<int64_t>(imageBytes) + (int64_t{64} << 20);
}

// Raise it when a function of SoundPlugin keeps its signature but changes its
// meaning; a change of the table, of a signature or of Stream changes
// kSoundPluginAbi by itself.
inline constexpr uint32_t kSoundPluginRevision = 3;

// The name of type T as this compiler spells it (its signature, for a function
// pointer).
template <typename T>
constexpr std::string_view SpelledType() noexcept
{
    return __PRETTY_FUNCTION__;
}

// An FNV-1a hash of text, continuing from hash.
constexpr uint64_t AbiHash(std::string_view text, uint64_t hash = 0xcbf29ce484222325ull) noexcept
{
    for (const char c : text)
        hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001b3ull;
    return hash;
}

// The ABI number of a sound module's table: the table's size, the size of
// Stream, the number of item types, the signatures of the functions and
// revision, hashed. Module and program agree on the boundary only when they
// agree on this number.
constexpr uint64_t SoundPluginAbi(std::size_t tableSize, uint32_t revision) noexcept
{
    uint64_t hash = AbiHash(SpelledType<decltype(SoundPlugin::Check)>());
    hash = AbiHash(SpelledType<decltype(SoundPlugin::ToWav)>(), hash);
    for (const uint64_t number :
         {uint64_t{tableSize}, uint64_t{sizeof(Stream)}, uint64_t(ItemType::File), uint64_t{revision}})
        for (int shift = 0; shift < 64; shift += 8)
            hash = (hash ^ (number >> shift & 0xFF)) * 0x100000001b3ull;
    return hash;
}

inline constexpr uint64_t kSoundPluginAbi = SoundPluginAbi(sizeof(SoundPlugin), kSoundPluginRevision);
// The module's file name and the C function in it that returns its table.
inline constexpr const char* kSoundPluginFile = "kestrix-sound.so";
inline constexpr const char* kSoundPluginSymbol = "KestrixSoundPlugin";

}  // namespace kestrix

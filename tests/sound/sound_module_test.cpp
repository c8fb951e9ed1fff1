// The synthesizer library is opened by a MIDI render alone: the sound module
// opens without it, and checks every sound kind and decodes the others
// without loading it.
#include "fluid_synth_library.h"
#include "sound_builders.h"
#include "sound_decoder.h"
#include "sound_plugin.h"
#include "stream.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace test_support;

bool SynthesizerLoaded()
{
    void* library = dlopen(FluidSynthSoname(), RTLD_NOW | RTLD_NOLOAD);
    if (library != nullptr)
        dlclose(library);
    return library != nullptr;
}

// ctest runs each test in a process of its own; a run of the whole binary may
// have rendered a MIDI in an earlier test.
TEST(SoundModule, TheSynthesizerLibraryOpensAtTheFirstMidiRender)
{
    if (MidiSoundFont().empty())
        GTEST_SKIP() << "no General MIDI sound font on this machine";
    if (SynthesizerLoaded())
        GTEST_SKIP() << "an earlier test in this process rendered a MIDI";
    void* module = dlopen(KESTRIX_SOUND_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto entry = reinterpret_cast<const SoundPlugin* (*)()>(dlsym(module, kSoundPluginSymbol));
    ASSERT_NE(entry, nullptr);
    const SoundPlugin& plugin = *entry();
    EXPECT_FALSE(SynthesizerLoaded());

    const struct {
        const char* name;
        ItemType type;
        Bytes bytes;
        bool rendered;
    } sounds[] = {
        {"midi", ItemType::Midi, BuildMidi({}), true},
        {"rmid", ItemType::Rmid, BuildRiff({.form = "RMID"}), true},
        {"imelody", ItemType::Imelody, BuildImelody({}), true},
        {"amr-nb", ItemType::Amr, BuildAmr({}), false},
        {"amr-wb", ItemType::AmrWb, BuildAmr({.wide = true}), false},
        {"mp3", ItemType::Mp3, BuildMp3({.frames = 4}), false},
        {"wav", ItemType::Wav, BuildRiff({}), false},
        {"qcp", ItemType::Qcp, BuildRiff({.form = "QLCM"}), false},
        {"smaf", ItemType::Smaf, BuildSmaf({.audioMs = 200}), false},
    };
    const std::atomic<bool> cancel{false};
    for (const auto& c : sounds) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(plugin.Check(c.type, c.bytes.data(), c.bytes.size(), &cancel), ItemStatus::Complete);
        if (!c.rendered) {
            MemoryStream wav;
            int64_t budget = int64_t{64} << 20;
            std::string why;
            EXPECT_TRUE(plugin.ToWav(c.type, c.bytes.data(), c.bytes.size(), &wav, &budget, &cancel, &why)) << why;
        }
        EXPECT_FALSE(SynthesizerLoaded());
    }

    const Bytes midi = BuildMidi({});
    MemoryStream wav;
    int64_t budget = int64_t{64} << 20;
    std::string why;
    ASSERT_TRUE(plugin.ToWav(ItemType::Midi, midi.data(), midi.size(), &wav, &budget, &cancel, &why)) << why;
    EXPECT_TRUE(SynthesizerLoaded());
    ASSERT_GT(wav.SizeValue(), 44);
    std::vector<int16_t> samples(static_cast<std::size_t>(wav.SizeValue() - 44) / 2);
    std::memcpy(samples.data(), wav.Memory() + 44, samples.size() * 2);
    EXPECT_TRUE(std::any_of(samples.begin(), samples.end(), [](int16_t s) { return s != 0; }));
}

// A library that is missing or lacks a function leaves MIDI unplayable, as a
// missing sound font does, instead of failing at the first call.
TEST(SoundModule, TheSynthesizerLoadsOnlyWithAllItsFunctions)
{
    const struct {
        const char* name;
        const char* soname;
        bool loaded;
    } cases[] = {
        {"no such library", "libkestrix-no-synthesizer.so.0", false},
        {"a library of other functions", "libc.so.6", false},
        {"the library built against", FluidSynthSoname(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FluidSynthLibrary library = OpenFluidSynth(c.soname);
        EXPECT_EQ(library.Loaded, c.loaded);
        EXPECT_EQ(library.NewPlayer != nullptr && library.Stop != nullptr, c.loaded);
    }
}

}  // namespace
}  // namespace kestrix

#include "sound_loader.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrix {
namespace {

TEST(SoundLoader, OpensOnlyAModuleOfThisAbi)
{
    const struct {
        const char* name;
        const char* place;
        bool opens;
        std::string why;
    } cases[] = {
        {"this build's module", KESTRIX_SOUND_MODULE, true, ""},
        {"another revision", KESTRIX_WRONG_ABI_MODULE, false,
         std::string(KESTRIX_WRONG_ABI_MODULE) + " is not a sound module of this version"},
        {"no file", "/nonexistent/kestrix-sound.so", false,
         "/nonexistent/kestrix-sound.so: cannot open shared object "
         "file: No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string why;
        const SoundPlugin* plugin = OpenSoundPlugin(c.place, why);
        EXPECT_EQ(plugin != nullptr, c.opens);
        EXPECT_EQ(why, c.why);
        if (plugin != nullptr) {
            EXPECT_NE(plugin->ToWav, nullptr);
        }
    }
}

TEST(SoundLoader, TheAbiNumberFollowsTheTableAndTheRevision)
{
    EXPECT_NE(SoundPluginAbi(sizeof(SoundPlugin) + 8, kSoundPluginRevision), kSoundPluginAbi);
    EXPECT_NE(SoundPluginAbi(sizeof(SoundPlugin), kSoundPluginRevision + 1), kSoundPluginAbi);
}

}  // namespace
}  // namespace kestrix

#include "sound_builders.h"
#include "sound_player_bar.h"

#include <QLabel>
#include <QToolButton>

#include <gtest/gtest.h>

#include <vector>

namespace kestrix {
namespace {

TEST(SoundPlayerBar, PlayIsDisabledWithTheReasonWhenNothingCanPlay)
{
    const std::vector<uint8_t> amr = test_support::BuildAmr({});
    const std::vector<uint8_t> smaf = test_support::BuildSmaf({});
    const std::vector<uint8_t> smafAudio = test_support::BuildSmaf({.audioMs = 200});
    const struct {
        const char* name;
        bool audioOutput;
        ItemType type;
        const std::vector<uint8_t>* bytes;
        bool enabled;
        const char* tooltip;
    } cases[] = {
        {"no audio output", false, ItemType::Amr, &amr, false, "нет вывода звука"},
        {"no sound chosen", true, ItemType::Amr, nullptr, false, "Выберите звук"},
        {"a SMAF of score tracks, which no decoder plays", true, ItemType::Smaf, &smaf, false, "не воспроизводится"},
        {"a playable sound", true, ItemType::Amr, &amr, true, "Пробел"},
        {"a SMAF with an audio track", true, ItemType::Smaf, &smafAudio, true, "Пробел"},
    };
    for (const auto& c : cases) {
        SoundPlayerBar bar(c.audioOutput);
        if (c.bytes != nullptr)
            bar.SetSound(c.type, *c.bytes);
        EXPECT_EQ(bar.PlayButton()->isEnabled(), c.enabled) << c.name;
        EXPECT_TRUE(bar.PlayButton()->toolTip().contains(QString::fromUtf8(c.tooltip)))
            << c.name << ": " << bar.PlayButton()->toolTip().toStdString();
        // Toggling a disabled Play starts nothing.
        if (!c.enabled) {
            bar.TogglePlay();
            EXPECT_FALSE(bar.Player().Playing()) << c.name;
        }
    }
}

TEST(SoundPlayerBar, TimesReadAsMinutesSecondsAndTenths)
{
    const struct {
        qint64 ms;
        const char* text;
    } cases[] = {{0, "0:00.0"}, {1250, "0:01.2"}, {61999, "1:01.9"}, {600000, "10:00.0"}};
    for (const auto& c : cases)
        EXPECT_EQ(PlayTimeText(c.ms).toStdString(), c.text);
}

}  // namespace
}  // namespace kestrix

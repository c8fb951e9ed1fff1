#pragma once

#include "sound_player.h"

#include <QWidget>

#include <span>

class QLabel;
class QSlider;
class QToolButton;

namespace kestrix {

// The bar under the list of sounds: Play/Stop for the selected sound, its
// position (elapsed and total time, a slider that seeks) and the volume.
// Where the machine has no audio output, Play is disabled and says why.
class SoundPlayerBar : public QWidget {
    Q_OBJECT
public:
    // audioOutput: whether the machine can play (SoundPlayer::HasAudioOutput).
    explicit SoundPlayerBar(bool audioOutput, QWidget* parent = nullptr);

    // The sound Play plays: none when bytes are empty; a sound no decoder here
    // plays (CanPlay of its type and bytes: a SMAF of score tracks) disables
    // Play with "не воспроизводится". Stops what is playing.
    void SetSound(ItemType type, std::span<const uint8_t> bytes);
    // Plays the chosen sound, or stops it while it plays (Space, a double-click).
    void TogglePlay();
    void Stop();

    QToolButton* PlayButton() const noexcept { return m_play; }
    QSlider* Position() const noexcept { return m_position; }
    QLabel* TimeText() const noexcept { return m_time; }
    SoundPlayer& Player() noexcept { return m_player; }

private:
    void ShowState(bool playing);
    void ShowPosition(qint64 ms, qint64 durationMs);
    void UpdatePlayable();

    bool m_audioOutput;
    ItemType m_type = ItemType::File;
    std::span<const uint8_t> m_bytes;
    SoundPlayer m_player;
    QToolButton* m_play;
    QSlider* m_position;
    QLabel* m_time;
    QSlider* m_volume;
    QLabel* m_message;
};

// "m:ss.s", as the bar shows a time.
QString PlayTimeText(qint64 ms);

}  // namespace kestrix

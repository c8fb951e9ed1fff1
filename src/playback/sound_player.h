#pragma once

#include "content_search.h"
#include "sound_decoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <memory>
#include <span>
#include <thread>

class QAudioSink;

namespace kestrix {

// Plays one found sound at a time: decodes it on a thread of its own (within
// the decoders' frame budget, cancelled when another sound is asked for or the
// player stops) and sends the PCM to the default audio output.
class SoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit SoundPlayer(QObject* parent = nullptr);
    ~SoundPlayer() override;

    // Whether the machine has an audio output (otherwise Play does nothing).
    static bool HasAudioOutput();

    // Decodes bytes (kept alive by the caller until Stop or the next Play) and
    // plays them from the start; what played before stops.
    void Play(ItemType type, std::span<const uint8_t> bytes);
    // Stops playing and any decode under way.
    void Stop();
    bool Playing() const noexcept { return m_state != State::Idle; }
    // Whether the sound is still being decoded before it plays.
    bool Decoding() const noexcept { return m_state == State::Decoding; }

    // Moves the playing position (milliseconds from the start).
    void Seek(qint64 ms);
    // 0.0 .. 1.0.
    void SetVolume(double volume);
    double Volume() const noexcept { return m_volume; }

    qint64 DurationMs() const noexcept { return m_durationMs; }

signals:
    // Decoding or playing began or ended.
    void StateChanged(bool playing);
    // The position while playing, about every 50 ms.
    void PositionChanged(qint64 ms, qint64 durationMs);
    // The sound could not be played; the text says why, in Russian.
    void Failed(const QString& why);

private:
    enum class State { Idle, Decoding, Playing };

    void Decoded(quint64 ticket, SoundDecode decoded);
    void StartAt(qint64 byteOffset);
    void ReportPosition();
    void EndDecode();
    void SetState(State state);

    State m_state = State::Idle;
    double m_volume = 0.8;
    qint64 m_durationMs = 0;
    int m_bytesPerSecond = 0;
    int m_frameBytes = 0;
    qint64 m_startOffset = 0;
    QByteArray m_pcm;
    QBuffer m_buffer;
    std::unique_ptr<QAudioSink> m_sink;
    QTimer m_positionTimer;
    // The decode under way, its cancel flag, and the number of the request it
    // serves (a result of an older request is dropped).
    std::thread m_decoder;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    quint64 m_ticket = 0;
};

// The text for a sound that does not play: why, in Russian.
QString NotPlayableText(SoundOutcome outcome);

}  // namespace kestrix

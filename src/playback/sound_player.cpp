#include "sound_player.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QMetaObject>
#include <QPointer>

namespace kestrix {
namespace {

constexpr int kPositionIntervalMs = 50;

}  // namespace

QString NotPlayableText(SoundOutcome outcome)
{
    switch (outcome) {
    case SoundOutcome::Decoded: return {};
    case SoundOutcome::Refused: return QStringLiteral("Звук не декодируется: он повреждён.");
    case SoundOutcome::TooCostly:
        return QStringLiteral("Звук слишком длинный для своих байтов: он не воспроизводится.");
    case SoundOutcome::NotPlayable: return QStringLiteral("Этот формат не воспроизводится.");
    case SoundOutcome::Cancelled: return {};
    }
    return {};
}

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent)
{
    m_positionTimer.setInterval(kPositionIntervalMs);
    connect(&m_positionTimer, &QTimer::timeout, this, &SoundPlayer::ReportPosition);
}

SoundPlayer::~SoundPlayer()
{
    Stop();
}

bool SoundPlayer::HasAudioOutput()
{
    return !QMediaDevices::audioOutputs().isEmpty();
}

void SoundPlayer::Play(ItemType type, std::span<const uint8_t> bytes)
{
    Stop();
    SetState(State::Decoding);
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    const quint64 ticket = ++m_ticket;
    QPointer<SoundPlayer> self(this);
    m_decoder = std::thread([self, ticket, type, bytes, cancel = m_cancel] {
        SoundLimits limits;
        limits.MaxFrames = SoundFrameBudget(bytes.size());
        limits.MidiSampleRate = 44100;
        limits.Cancel = cancel.get();
        SoundDecode decoded = DecodeSound(type, bytes, limits);
        if (cancel->load())
            return;
        // The player joins this thread before it goes, so self is still alive
        // when the call is queued; the call itself runs only while it lives.
        QMetaObject::invokeMethod(
            self.data(),
            [self, ticket, decoded = std::move(decoded)]() mutable {
                if (self)
                    self->Decoded(ticket, std::move(decoded));
            },
            Qt::QueuedConnection);
    });
}

void SoundPlayer::Decoded(quint64 ticket, SoundDecode decoded)
{
    if (ticket != m_ticket || m_state != State::Decoding)
        return;
    EndDecode();
    if (decoded.Outcome != SoundOutcome::Decoded) {
        SetState(State::Idle);
        emit Failed(NotPlayableText(decoded.Outcome));
        return;
    }
    const Pcm& sound = decoded.Sound;
    m_pcm = QByteArray(reinterpret_cast<const char*>(sound.Samples.data()),
                       static_cast<qsizetype>(sound.Samples.size() * sizeof(int16_t)));
    m_frameBytes = sound.Channels * static_cast<int>(sizeof(int16_t));
    m_bytesPerSecond = sound.SampleRate * m_frameBytes;
    m_durationMs = sound.DurationMs();

    QAudioFormat format;
    format.setSampleRate(sound.SampleRate);
    format.setChannelCount(sound.Channels);
    format.setSampleFormat(QAudioFormat::Int16);
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        SetState(State::Idle);
        emit Failed(QStringLiteral("На этом компьютере нет вывода звука."));
        return;
    }
    m_sink = std::make_unique<QAudioSink>(device, format);
    m_sink->setVolume(m_volume);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
        if (state == QAudio::IdleState && m_sink && m_buffer.atEnd())
            Stop();
    });
    SetState(State::Playing);
    StartAt(0);
}

void SoundPlayer::StartAt(qint64 byteOffset)
{
    if (!m_sink)
        return;
    m_sink->stop();
    m_buffer.close();
    m_buffer.setData(m_pcm);
    m_buffer.open(QIODevice::ReadOnly);
    m_buffer.seek(byteOffset);
    m_startOffset = byteOffset;
    m_sink->start(&m_buffer);
    m_positionTimer.start();
    ReportPosition();
}

void SoundPlayer::Seek(qint64 ms)
{
    if (m_state != State::Playing || m_bytesPerSecond == 0)
        return;
    qint64 offset = ms * m_bytesPerSecond / 1000;
    offset -= offset % m_frameBytes;
    StartAt(std::clamp<qint64>(offset, 0, m_pcm.size()));
}

void SoundPlayer::SetVolume(double volume)
{
    m_volume = std::clamp(volume, 0.0, 1.0);
    if (m_sink)
        m_sink->setVolume(m_volume);
}

void SoundPlayer::Stop()
{
    EndDecode();
    m_positionTimer.stop();
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
    m_buffer.close();
    m_pcm.clear();
    if (m_state != State::Idle) {
        SetState(State::Idle);
        emit PositionChanged(0, m_durationMs);
    }
}

void SoundPlayer::ReportPosition()
{
    if (!m_sink || m_bytesPerSecond == 0)
        return;
    const qint64 played = m_startOffset * 1000 / m_bytesPerSecond + m_sink->processedUSecs() / 1000;
    emit PositionChanged(std::min(played, m_durationMs), m_durationMs);
}

void SoundPlayer::EndDecode()
{
    if (m_cancel)
        m_cancel->store(true);
    if (m_decoder.joinable())
        m_decoder.join();
    m_cancel.reset();
}

void SoundPlayer::SetState(State state)
{
    const bool was = Playing();
    m_state = state;
    // A new decode is told even while another sound played, so the bar says it is preparing.
    if (was != Playing() || state == State::Decoding)
        emit StateChanged(Playing());
}

}  // namespace kestrix

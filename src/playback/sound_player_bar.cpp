#include "sound_player_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

namespace kestrix {

QString PlayTimeText(qint64 ms)
{
    const qint64 tenths = ms / 100;
    return QStringLiteral("%1:%2.%3").arg(tenths / 600).arg(tenths / 10 % 60, 2, 10, QLatin1Char('0')).arg(tenths % 10);
}

SoundPlayerBar::SoundPlayerBar(bool audioOutput, QWidget* parent)
    : QWidget(parent), m_audioOutput(audioOutput), m_play(new QToolButton), m_position(new QSlider(Qt::Horizontal)),
      m_time(new QLabel), m_volume(new QSlider(Qt::Horizontal)), m_message(new QLabel)
{
    m_play->setObjectName(QStringLiteral("PlayButton"));
    m_play->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_position->setObjectName(QStringLiteral("PlayPosition"));
    m_position->setRange(0, 0);
    m_position->setToolTip(QStringLiteral("Позиция: перетащите, чтобы перейти"));
    m_time->setObjectName(QStringLiteral("PlayTime"));
    m_volume->setObjectName(QStringLiteral("PlayVolume"));
    m_volume->setRange(0, 100);
    m_volume->setValue(static_cast<int>(m_player.Volume() * 100));
    m_volume->setMaximumWidth(120);
    m_volume->setToolTip(QStringLiteral("Громкость"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(m_play);
    layout->addWidget(m_position, 1);
    layout->addWidget(m_time);
    layout->addWidget(new QLabel(QStringLiteral("Громкость:")));
    layout->addWidget(m_volume);
    layout->addWidget(m_message);

    connect(m_play, &QToolButton::clicked, this, &SoundPlayerBar::TogglePlay);
    connect(m_position, &QSlider::sliderReleased, this, [this] { m_player.Seek(m_position->value()); });
    connect(m_volume, &QSlider::valueChanged, this, [this](int value) { m_player.SetVolume(value / 100.0); });
    connect(&m_player, &SoundPlayer::StateChanged, this, &SoundPlayerBar::ShowState);
    connect(&m_player, &SoundPlayer::PositionChanged, this, &SoundPlayerBar::ShowPosition);
    connect(&m_player, &SoundPlayer::Failed, m_message, &QLabel::setText);
    ShowState(false);
    UpdatePlayable();
}

void SoundPlayerBar::SetSound(ItemType type, std::span<const uint8_t> bytes)
{
    Stop();
    m_type = type;
    m_bytes = bytes;
    m_message->clear();
    ShowPosition(0, 0);
    UpdatePlayable();
}

void SoundPlayerBar::TogglePlay()
{
    if (m_player.Playing()) {
        m_player.Stop();
        return;
    }
    if (!m_play->isEnabled() || m_bytes.empty())
        return;
    m_message->clear();
    m_player.Play(m_type, m_bytes);
}

void SoundPlayerBar::Stop()
{
    m_player.Stop();
}

void SoundPlayerBar::ShowState(bool playing)
{
    m_play->setText(playing ? QStringLiteral("Стоп") : QStringLiteral("Воспроизвести"));
    m_play->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
    // A long sound may take seconds to decode; its time is known only then.
    if (m_player.Decoding())
        m_time->setText(QStringLiteral("Подготовка звука…"));
}

void SoundPlayerBar::ShowPosition(qint64 ms, qint64 durationMs)
{
    if (!m_position->isSliderDown()) {
        m_position->setRange(0, static_cast<int>(durationMs));
        m_position->setValue(static_cast<int>(ms));
    }
    m_time->setText(PlayTimeText(ms) + QStringLiteral(" / ") + PlayTimeText(durationMs));
}

void SoundPlayerBar::UpdatePlayable()
{
    QString why;
    if (!m_audioOutput)
        why = QStringLiteral("На этом компьютере нет вывода звука");
    else if (m_bytes.empty())
        why = QStringLiteral("Выберите звук в списке");
    else if (!CanPlay(m_type, m_bytes))
        why = QStringLiteral("Этот звук не воспроизводится");
    m_play->setEnabled(why.isEmpty());
    m_play->setToolTip(why.isEmpty() ? QStringLiteral("Воспроизвести или остановить (Пробел, двойной щелчок)") : why);
    if (m_audioOutput && !m_bytes.empty() && !CanPlay(m_type, m_bytes))
        m_message->setText(QStringLiteral("не воспроизводится"));
}

}  // namespace kestrix

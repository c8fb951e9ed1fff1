#include "filter_bar.h"

#include "window_text.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace kestrix {

FilterBar::FilterBar(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("FilterText"));
    m_text->setPlaceholderText(QStringLiteral("Фильтр по имени…"));
    m_text->setClearButtonEnabled(true);
    m_text->setMaximumWidth(240);
    layout->addWidget(m_text, 1);
    m_flawed = new QCheckBox(QStringLiteral("только повреждённые и обрезанные"), this);
    m_flawed->setObjectName(QStringLiteral("FilterFlawed"));
    layout->addWidget(m_flawed);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("FilterCount"));
    layout->addWidget(m_count);

    // Refiltering a long list at every key would make typing stutter.
    m_typing = new QTimer(this);
    m_typing->setSingleShot(true);
    m_typing->setInterval(200);
    connect(m_typing, &QTimer::timeout, this, &FilterBar::Changed);
    connect(m_text, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (text.isEmpty()) {
            m_typing->stop();
            emit Changed();
        } else {
            m_typing->start();
        }
    });
    connect(m_flawed, &QCheckBox::toggled, this, &FilterBar::Changed);
}

QString FilterBar::Text() const
{
    return m_text->text();
}

void FilterBar::SetText(const QString& text)
{
    m_typing->stop();
    if (m_text->text() == text)
        return;
    m_text->setText(text);
    emit Changed();
}

bool FilterBar::OnlyFlawed() const
{
    return m_flawed->isChecked();
}

void FilterBar::SetOnlyFlawed(bool value)
{
    m_flawed->setChecked(value);
}

void FilterBar::SetCounts(int shown, int total)
{
    const bool filtering = !Text().trimmed().isEmpty() || OnlyFlawed();
    m_count->setText(filtering ? QStringLiteral("показано %1 из %2").arg(GroupedNumber(shown), GroupedNumber(total))
                               : QString());
}

}  // namespace kestrix

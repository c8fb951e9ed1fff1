#include "name_column_stretch.h"

#include <QEvent>
#include <QHeaderView>

#include <algorithm>

namespace kestrix {

NameColumnStretch::NameColumnStretch(QHeaderView* header, int column, int minimum)
    : QObject(header), m_header(header), m_column(column), m_minimum(minimum)
{
    header->setStretchLastSection(false);
    header->installEventFilter(this);
    connect(header, &QHeaderView::sectionResized, this, [this](int logical) {
        if (logical != m_column)
            Fit();
    });
}

void NameColumnStretch::Fit()
{
    if (m_fitting || m_column >= m_header->count())
        return;
    m_fitting = true;
    // A remembered header state carries the last-section stretch of older versions.
    m_header->setStretchLastSection(false);
    int others = 0;
    for (int i = 0; i < m_header->count(); ++i)
        if (i != m_column && !m_header->isSectionHidden(i))
            others += m_header->sectionSize(i);
    m_header->resizeSection(m_column, std::max(m_minimum, m_header->width() - others));
    m_fitting = false;
}

bool NameColumnStretch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_header && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        Fit();
    return QObject::eventFilter(watched, event);
}

}  // namespace kestrix

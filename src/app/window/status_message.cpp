#include "status_message.h"

#include <QFontMetrics>
#include <QStringList>

namespace kestrix {

QString ElidePath(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const QChar separator = path.contains(u'/') ? u'/' : u'\\';
    const QStringList parts = path.split(separator);
    // parts[0] is empty for an absolute path; keep the first real folder.
    const qsizetype head = parts.size() > 1 && parts[0].isEmpty() ? 2 : 1;
    for (qsizetype tail = parts.size() - head - 1; tail >= 1; --tail) {
        const QString shortened = QStringList(parts.mid(0, head)).join(separator) + separator + QChar(0x2026) +
                                  separator + QStringList(parts.mid(parts.size() - tail)).join(separator);
        if (metrics.horizontalAdvance(shortened) <= width)
            return shortened;
    }
    return metrics.elidedText(path, Qt::ElideMiddle, width);
}

StatusMessage::StatusMessage(QWidget* parent) : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
    setIndent(6);
}

void StatusMessage::SetMessage(const QString& text, const QString& path)
{
    m_message = text;
    m_path = text.contains(path) ? path : QString();
    setToolTip(text);
    Fit();
}

void StatusMessage::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    Fit();
}

void StatusMessage::Fit()
{
    const QFontMetrics metrics = fontMetrics();
    const int width = contentsRect().width() - 2 * indent();
    if (metrics.horizontalAdvance(m_message) <= width || m_path.isEmpty()) {
        setText(metrics.elidedText(m_message, Qt::ElideRight, width));
        return;
    }
    const qsizetype at = m_message.indexOf(m_path);
    const QString before = m_message.left(at);
    const QString after = m_message.mid(at + m_path.size());
    const int room = width - metrics.horizontalAdvance(before) - metrics.horizontalAdvance(after);
    setText(metrics.elidedText(before + ElidePath(m_path, metrics, std::max(room, 0)) + after, Qt::ElideRight, width));
}

}  // namespace kestrix

#include "file_drop.h"

#include "window_text.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <sys/stat.h>

namespace kestrix {

QByteArray DroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1)
        return {};
    const QByteArray path = LocalPathOfUrl(urls.front());
    struct stat facts {};
    return !path.isEmpty() && ::stat(path.constData(), &facts) == 0 && S_ISREG(facts.st_mode) ? path : QByteArray();
}

FileDropFilter::FileDropFilter(QWidget* window, std::function<void(const QByteArray& path)> open,
                               std::function<bool()> busy, std::function<void()> refused)
    : QObject(window), m_open(std::move(open)), m_busy(std::move(busy)), m_refused(std::move(refused))
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: break;
    default: return QObject::eventFilter(watched, event);
    }
    auto* drag = static_cast<QDropEvent*>(event);
    // A source told "moved" may delete its file: only a copy is taken.
    const bool copyable = drag->possibleActions().testFlag(Qt::CopyAction);
    const QByteArray path = copyable ? DroppedFile(drag->mimeData()) : QByteArray();
    const bool busy = m_busy && m_busy();
    if (path.isEmpty() || busy) {
        drag->setDropAction(Qt::IgnoreAction);
        drag->ignore();
        if (event->type() != QEvent::DragMove && busy && !path.isEmpty() && m_refused)
            m_refused();
        return true;
    }
    drag->setDropAction(Qt::CopyAction);
    drag->accept();
    if (event->type() == QEvent::Drop) {
        // Opening may show an error box; the program the file came from waits
        // for the drop to end, so it is not kept waiting on that box.
        QMetaObject::invokeMethod(
            this, [this, path] { m_open(path); }, Qt::QueuedConnection);
    }
    return true;
}

}  // namespace kestrix

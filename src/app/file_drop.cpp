#include "file_drop.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace kestrix {

QString DroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return {};
    const QString path = urls.front().toLocalFile();
    return QFileInfo(path).isFile() ? path : QString();
}

FileDropFilter::FileDropFilter(QWidget* window, std::function<void(const QString& path)> open)
    : QObject(window), m_open(std::move(open))
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (!DroppedFile(drag->mimeData()).isEmpty())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = DroppedFile(drop->mimeData());
        if (path.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        // Opening may show an error box; the program the file came from waits
        // for the drop to end, so it is not kept waiting on that box.
        QMetaObject::invokeMethod(
            this, [this, path] { m_open(path); }, Qt::QueuedConnection);
        return true;
    }
    default: return QObject::eventFilter(watched, event);
    }
}

}  // namespace kestrix

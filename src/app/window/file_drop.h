#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QMimeData;
class QWidget;

namespace kestrix {

// The file a drag carries when it carries exactly one local path naming an
// existing file (not a folder), as the bytes the system names it by (a name
// need not be UTF-8); empty otherwise.
QByteArray DroppedFile(const QMimeData* data);

// Lets a window take a file dropped on it: drags carrying one file (see
// DroppedFile) that the source lets be copied are accepted as a copy, never as
// a move or link, so the source keeps its file; a drop hands that file to open
// from the event loop, after the drop has finished. While busy() holds, drags
// are refused, and refused is told when one enters or drops.
class FileDropFilter : public QObject {
    Q_OBJECT
public:
    // Turns drops on for window and watches its drag events; owned by window.
    FileDropFilter(QWidget* window, std::function<void(const QByteArray& path)> open, std::function<bool()> busy = {},
                   std::function<void()> refused = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QByteArray& path)> m_open;
    std::function<bool()> m_busy;
    std::function<void()> m_refused;
};

}  // namespace kestrix

#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QMimeData;
class QWidget;

namespace kestrix {

// The file a drag carries when it carries exactly one local path naming an
// existing file (not a folder); an empty text otherwise.
QString DroppedFile(const QMimeData* data);

// Lets a window take a file dropped on it: drags carrying one file (see
// DroppedFile) are accepted, and a drop hands that file to open from the event
// loop, after the drop has finished.
class FileDropFilter : public QObject {
    Q_OBJECT
public:
    // Turns drops on for window and watches its drag events; owned by window.
    FileDropFilter(QWidget* window, std::function<void(const QString& path)> open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QString& path)> m_open;
};

}  // namespace kestrix

#pragma once

#include <QObject>
#include <QString>

class QHeaderView;

namespace kestrix {

class PictureSortModel;

// Shows that a long table is being sorted or filtered off the window's
// thread: while model works (PictureSortModel::Sorting), the cursor is busy
// and the window's status bar says "Сортировка…" (or "Фильтрация…" when the
// job only filters); both return when the result is shown or dropped. Owned
// by header.
class SortBusyHint : public QObject {
    Q_OBJECT
public:
    SortBusyHint(QHeaderView* header, PictureSortModel* model);
    ~SortBusyHint() override;

private:
    void Show(bool sorting);

    QHeaderView* m_header;
    PictureSortModel* m_model;
    QString m_message;
    bool m_busy = false;
};

}  // namespace kestrix

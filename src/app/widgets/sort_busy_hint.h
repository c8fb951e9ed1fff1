#pragma once

#include <QObject>

class QHeaderView;

namespace kestrix {

class PictureSortModel;

// Shows that a long table is being sorted off the window's thread: while
// model sorts (PictureSortModel::Sorting), the cursor is busy over the
// window and its status bar says "Сортировка…"; both return when the new
// order is shown or the sort is dropped. Owned by header.
class SortBusyHint : public QObject {
    Q_OBJECT
public:
    SortBusyHint(QHeaderView* header, PictureSortModel* model);
    ~SortBusyHint() override;

private:
    void Show(bool sorting);

    QHeaderView* m_header;
    bool m_busy = false;
};

}  // namespace kestrix

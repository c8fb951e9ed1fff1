#pragma once

#include <QObject>

class QHeaderView;

namespace kestrix {

// Rows from which a table's sort takes long enough to be shown.
inline constexpr int kBusySortRows = 50000;

// Shows that a click on a header of a long table sorts it: from the click's
// release, while the table sorts on the window's thread, the cursor is busy
// and the window's status bar says "Сортировка…"; both return when the
// window answers again. Tables of fewer than minRows rows sort too fast to
// show anything. Owned by header.
class SortBusyHint : public QObject {
    Q_OBJECT
public:
    SortBusyHint(QHeaderView* header, int minRows);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Done();

    QHeaderView* m_header;
    int m_minRows;
    bool m_busy = false;
};

}  // namespace kestrix

#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <vector>

class QAction;
class QMenu;

namespace kestrix {

// One command of a list's context menu: its text (a "\t" before the keys that
// also run it), whether the rows under it can do it, and what it does.
struct RowMenuEntry {
    QString Text;
    bool Enabled = false;
    std::function<void()> Run;
};

// Adds entries to menu in their order, those the rows cannot do greyed out,
// then, after a separator, the list's own actions (a toggle such as "Смещения
// в hex") except those in skip.
void FillRowMenu(QMenu& menu, const std::vector<RowMenuEntry>& entries, const QList<QAction*>& own,
                 const QList<QAction*>& skip = {});

}  // namespace kestrix

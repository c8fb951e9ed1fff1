#include "row_menu.h"

#include <QMenu>

namespace kestrix {

void FillRowMenu(QMenu& menu, const std::vector<RowMenuEntry>& entries, const QList<QAction*>& own,
                 const QList<QAction*>& skip)
{
    for (const RowMenuEntry& entry : entries) {
        QAction* action = menu.addAction(entry.Text);
        action->setEnabled(entry.Enabled);
        if (entry.Run)
            QObject::connect(action, &QAction::triggered, &menu, entry.Run);
    }
    bool separated = entries.empty();
    for (QAction* action : own) {
        if (skip.contains(action))
            continue;
        if (!separated) {
            menu.addSeparator();
            separated = true;
        }
        menu.addAction(action);
    }
}

}  // namespace kestrix

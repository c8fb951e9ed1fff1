#include "row_copy.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include <set>

namespace kestrix {
namespace {

QString CellText(const QAbstractItemModel& model, int row, int column)
{
    QString text = model.data(model.index(row, column), Qt::DisplayRole).toString();
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    }
    return text;
}

}  // namespace

QString SelectedRowsText(const QAbstractItemView& view)
{
    const QAbstractItemModel* model = view.model();
    const QItemSelectionModel* selection = view.selectionModel();
    if (!model || !selection)
        return {};
    std::set<int> rows;
    for (const QModelIndex& index : selection->selectedIndexes())
        rows.insert(index.row());
    QString text;
    for (const int row : rows) {
        for (int column = 0; column < model->columnCount(); ++column) {
            if (column > 0)
                text += u'\t';
            text += CellText(*model, row, column);
        }
        text += u'\n';
    }
    return text;
}

}  // namespace kestrix

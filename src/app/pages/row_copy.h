#pragma once

#include <QString>

class QAbstractItemView;

namespace kestrix {

// The selected rows of view as tab-separated text, ready to paste into a
// table: one line per row that has a selected cell, in list order, each line
// the display texts of all the row's columns (a tab, carriage return or line
// feed inside a text becomes a space) and ending with a line feed. An empty
// text when nothing is selected.
QString SelectedRowsText(const QAbstractItemView& view);

}  // namespace kestrix

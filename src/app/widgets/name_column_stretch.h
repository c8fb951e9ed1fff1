#pragma once

#include <QObject>

class QHeaderView;

namespace kestrix {

// Gives a table's spare width to one column (the name) instead of the last
// one: the column is as wide as the header less the other visible columns,
// never narrower than minimum, and follows the header's width and the user's
// resizing of the other columns. The column itself stays resizable by hand
// until the next change of width. Owned by header.
class NameColumnStretch : public QObject {
    Q_OBJECT
public:
    NameColumnStretch(QHeaderView* header, int column, int minimum);

    // Sets the column's width from the header's width now.
    void Fit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QHeaderView* m_header;
    int m_column;
    int m_minimum;
    bool m_fitting = false;
};

}  // namespace kestrix

#pragma once

#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace kestrix {

// A bar above a list of found items: a box for a part of the name and a switch
// that keeps only the damaged and truncated items, with a count of the rows
// shown. It knows no list: a page connects Changed to its filtering model and
// reports the counts back with SetCounts.
class FilterBar : public QWidget {
    Q_OBJECT
public:
    explicit FilterBar(QWidget* parent = nullptr);

    // The text typed in the box, as typed (an empty text filters nothing).
    QString Text() const;
    void SetText(const QString& text);
    // Whether only damaged and truncated items are to be shown.
    bool OnlyFlawed() const;
    void SetOnlyFlawed(bool value);
    // Shows "shown из total" while a filter is on, nothing otherwise.
    void SetCounts(int shown, int total);

    QLineEdit* TextBox() const noexcept { return m_text; }
    QCheckBox* FlawedBox() const noexcept { return m_flawed; }
    QLabel* CountLabel() const noexcept { return m_count; }

signals:
    // The filter changed: at once for the switch and a cleared box, a moment
    // after the last key while the user types (SetText reports at once).
    void Changed();

private:
    QLineEdit* m_text = nullptr;
    QCheckBox* m_flawed = nullptr;
    QLabel* m_count = nullptr;
    QTimer* m_typing = nullptr;
};

}  // namespace kestrix

#pragma once

#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace kestrix {

class TRegIniStore;

// One remembered setting besides the generic ones: its name in the section,
// how to read it from the window as text and how to give it back.
struct LayoutValue {
    QString Key;
    std::function<QString()> Get;
    std::function<void(const QString& text)> Set;
};

// The window's layout kept in a section of its own of the settings store:
// the window's size, position and maximised state, every named splitter's
// sizes and every named table's header (column widths, order and sort),
// each keyed by the object names from the window down, then the values.
class WindowLayout {
public:
    WindowLayout(QWidget& window, QString section, std::vector<LayoutValue> values);

    // Writes the layout into store; raises as TRegIniStore::WriteString does.
    void Save(TRegIniStore& store) const;
    // Gives the window the layout kept in store; false, changing nothing,
    // when the store holds none (a first start). What cannot be read back is
    // passed over.
    bool Restore(TRegIniStore& store) const;

private:
    QWidget& m_window;
    QString m_section;
    std::vector<LayoutValue> m_values;
};

}  // namespace kestrix

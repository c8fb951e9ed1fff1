#pragma once

#include "firmware_info.h"
#include "hex_items.h"

#include <QDockWidget>

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrix {

class HexPage;
class THexBuffer;
class TForm1;

// The dock "Байты и карта образа" of the main window: the hex page over the
// window's image, tinted with what every page found, highlighting the row
// selected on any page, following the pages' "Смещения в hex". It watches the
// window's lists through their models and selections, so the window itself
// only creates it.
class HexDock : public QDockWidget {
    Q_OBJECT
public:
    // The list a tinted item comes from (HexItem::Source).
    enum Source : int32_t { Files, Graphics, Facts, Pictures, Sounds, Applications, PhoneFiles };

    HexDock(TForm1& form, THexBuffer& buffer);

    HexPage* Page() const noexcept { return m_page; }
    // Highlights row of the list source, as selecting it on its page does.
    void ShowRow(Source source, int32_t row);
    // Highlights the first selected row of the window's page (a TForm1 page number), if any.
    void ShowSelectionOfPage(int page);
    // Re-reads the items of every list now (normally done shortly after they change).
    void RefreshItems();

private:
    void Watch();
    void RefreshWhenShown();
    // The rows a list holds, and a row as a tinted item (none for a row of
    // another list, such as a picture among the content search's items).
    int32_t CountOf(Source source) const;
    std::optional<HexItem> ItemOf(Source source, int32_t index) const;
    QString Caption(int32_t source, int32_t index) const;

    TForm1& m_form;
    THexBuffer& m_buffer;
    HexPage* m_page = nullptr;
    class QTimer* m_refresh = nullptr;
    // The items changed while the dock was hidden.
    bool m_stale = false;
    // Where the open image's facts lie, read once per image.
    std::vector<FactRange> m_facts;
};

// Adds the dock to form, hidden, with "Утилиты / Байты и карта образа" (F9)
// to show it and "Утилиты / Перейти к смещению…" (Ctrl+G) to show it and ask
// for an offset.
HexDock* InstallHexDock(TForm1& form, THexBuffer& buffer);

}  // namespace kestrix

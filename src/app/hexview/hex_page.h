#pragma once

#include "byte_find.h"
#include "custom_hex_buffer.h"
#include "flash_map.h"
#include "hex_items.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

namespace kestrix {

class HexView;
class MapStrip;

// The hex view of the loaded image with its map of the flash, find bar,
// go-to, copying and saving the selection, and a status line with the
// selection and the values at the cursor.
class HexPage : public QWidget {
    Q_OBJECT
public:
    // buffer: the window's image; its bytes are shown without a copy, and its
    // search engine runs the finds.
    explicit HexPage(TCustomHexBuffer& buffer, QWidget* parent = nullptr);
    ~HexPage() override;

    HexView* View() const noexcept { return m_view; }
    MapStrip* Strip() const noexcept { return m_strip; }
    QLineEdit* FindField() const noexcept { return m_findText; }
    QComboBox* FindEncodingBox() const noexcept { return m_findEncoding; }
    QLabel* StatusLine() const noexcept { return m_status; }

    // Shows the buffer's image afresh when its bytes changed (another image
    // was loaded), and starts measuring its map.
    void RefreshImage();
    // The found items: tinted in the view and painted on the map.
    void SetItems(std::vector<HexItem> items);
    // Highlights [start, end) (a row chosen on a page) and marks the header
    // fields of the entry whose data start at start.
    void ShowRange(int64_t start, int64_t end);
    // Whether the map has been measured and painted for the current image.
    bool MapReady() const noexcept { return !m_builder && m_mapImage == m_buffer.Data(); }

    // "Перейти к смещению": moves the cursor to the offset text names; false,
    // with the reason in the status line, for text that names none.
    bool GoToText(const QString& text);
    // Asks for an offset (AskOffset or a dialog) and goes there.
    void AskGoTo();
    // Finds the find field's text in the chosen encoding after the cursor (or
    // the current match), or before it; false when there is none or the
    // text cannot be looked for (the status line says which).
    bool FindNext();
    bool FindPrevious();
    void SetFindEncoding(FindEncoding encoding);
    bool Finding() const noexcept { return m_finding; }
    // "Копировать как hex": the selection as hex text on the clipboard.
    void CopyAsHex();
    // "Сохранить выделенное…": writes the selection to path, whole or not at
    // all; false with the reason in the status line.
    bool SaveSelection(const QString& path);
    // Clicking the map at offset: selects the item there or nearest after it
    // within the map's cell, else moves the cursor to offset.
    void ChooseOnMap(int64_t offset);
    void SetHexOffsets(bool value);

    // How the page asks the user; empty members show the real dialogs.
    std::function<QString()> AskOffset;
    std::function<QString()> AskSavePath;
    // Whether the window is busy with a scan, during which finds wait (the
    // scans and the finds share the buffer's search engine); empty: never.
    std::function<bool()> Busy;
    // The caption of an item for hover texts; empty: none.
    std::function<QString(const HexItem& item)> ItemCaption;

private:
    // The page's tool buttons that only their connections need to know.
    struct Tools {
        QToolButton* Previous = nullptr;
        QToolButton* Next = nullptr;
        QToolButton* GoTo = nullptr;
        QToolButton* Copy = nullptr;
        QToolButton* Save = nullptr;
    };
    void BuildLayout();
    Tools BuildTools();
    void LayOut(const Tools& tools);
    void ConnectTools(const Tools& tools);
    void ShowSelection();
    void ShowHover(qint64 offset);
    void StepMap();
    void PaintMap();
    bool RunFind(bool forward);
    QString MapHoverText(int64_t offset) const;
    const HexItem* ItemInCell(int64_t offset) const;
    void Say(const QString& text);

    TCustomHexBuffer& m_buffer;
    HexView* m_view = nullptr;
    MapStrip* m_strip = nullptr;
    QLineEdit* m_findText = nullptr;
    QComboBox* m_findEncoding = nullptr;
    QComboBox* m_textMode = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_hover = nullptr;
    QTimer* m_mapTimer = nullptr;
    std::unique_ptr<FlashMapBuilder> m_builder;
    FlashMap m_map;
    const uint8_t* m_mapImage = nullptr;
    const uint8_t* m_shownImage = nullptr;
    int64_t m_shownSize = -1;
    std::vector<MapItem> m_mapItems;
    bool m_finding = false;
};

}  // namespace kestrix

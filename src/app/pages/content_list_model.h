#pragma once

#include "content_search.h"
#include "picture_sort_model.h"
#include "thumbnail_decoder.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrix {

// What the content search found, shared by the pages that show its kinds.
struct ContentResults {
    ContentFound Found;
    // The caption of every item (ContentCaptions), numbered over all kinds.
    std::vector<std::string> Captions;
};

// The items of one kind of a content search as a table: caption, type,
// start, end, size, status, entry name, and what the kind tells (a sound's
// duration, rate and channels or tracks; an application's name, vendor and
// version, with its icon beside the caption). SortRole gives numbers as
// numbers.
class ContentListModel : public QAbstractTableModel, public SortKeySource {
    Q_OBJECT
public:
    static constexpr int SortRole = Qt::UserRole + 1;
    // The row's index in ContentResults::Found.Items.
    static constexpr int ItemRole = Qt::UserRole + 2;

    explicit ContentListModel(ContentKind kind, QObject* parent = nullptr);

    ContentKind Kind() const noexcept { return m_kind; }
    // Shows the items of this kind of results; empty results clear the table.
    void SetResults(std::shared_ptr<const ContentResults> results);
    const ContentResults* Results() const noexcept { return m_results.get(); }
    // The index in Found.Items of row.
    std::size_t ItemOf(int row) const { return m_rows[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Rows drag out as files: copies of their bytes under their captions in
    // the cache folder (ScratchCopy).
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

    // Writes row's bytes under its caption into the cache folder's "items"
    // folder; the path, or an empty text when it could not be written.
    QString ScratchCopy(int row) const;

    // Applications' icons are drawn at this side, and decoded to fit it off
    // the window's thread by IconDecoder, whose rows are the results' MIDlets.
    static constexpr int kIconSide = 32;
    // Null for the kinds other than applications.
    ThumbnailDecoder* IconDecoder() const noexcept { return m_iconDecoder.get(); }

    // Start and end in hex ("0x1A2B"); sorting stays numeric.
    void SetHexOffsets(bool value);
    bool HexOffsets() const noexcept { return m_hexOffsets; }

    // A status in Russian words that agree with the kind: "Целый звук",
    // "Целая картинка", "Целое приложение", "Обрезанный файл"...
    static QString StatusText(ContentKind kind, ItemStatus status);

    // The last column: the SHA-256 of each row's bytes, computed when first asked for.
    int DigestColumn() const noexcept { return static_cast<int>(m_headers.size()) - 1; }

    // The keys SortRole gives, for sorting off the window's thread.
    Reader SortKeys(int column) const override;
    Reader StatusKeys() const override;

private:
    QString Cell(const FoundItem& item, std::size_t index, int column) const;
    QVariant SortKey(const FoundItem& item, std::size_t index, int column) const;
    QIcon IconOf(const FoundItem& item) const;
    QString DigestOf(const FoundItem& item, std::size_t row) const;
    // The SHA-256 of item's bytes, not kept; empty when they lie outside the image.
    QString Digest(const FoundItem& item) const;
    // SortKey's number for a numeric column; false for a text column.
    bool NumberKey(const FoundItem& item, int column, qlonglong& key) const;
    // The row of the item with index itemIndex in Found.Items.
    std::size_t RowOfItem(std::size_t itemIndex) const;
    void ResetIcons();
    void IconDecoded(int32_t midlet);
    // A descriptor's archive: its caption, and "(обрезан)" when it is cut or
    // "(другого размера)" when it is not of the stated size; "" for none.
    QString JarText(const FoundItem& item) const;

public:
    // The image the items lie in (kept alive by the page's owner).
    void SetImage(std::span<const uint8_t> image) { m_image = image; }

private:
    std::span<const uint8_t> m_image;

    ContentKind m_kind;
    std::shared_ptr<const ContentResults> m_results;
    std::vector<std::size_t> m_rows;
    QStringList m_headers;
    // The digests shown or copied so far, by row: most rows are never looked at.
    mutable std::unordered_map<std::size_t, QString> m_digests;
    bool m_hexOffsets = false;
    // One row per MIDlet for the icon decoder: its icon's place in m_iconBytes
    // (an empty range when it has none of a known type).
    std::vector<FoundItem> m_iconRows;
    std::vector<uint8_t> m_iconBytes;
    std::vector<std::vector<int32_t>> m_rowsOfMidlet;
    // Last: destroyed first, so its decode in progress ends before the bytes it reads go.
    std::unique_ptr<ThumbnailDecoder> m_iconDecoder;
};

}  // namespace kestrix

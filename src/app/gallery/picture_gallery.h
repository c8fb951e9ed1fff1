#pragma once

#include "picture_gallery_model.h"
#include "picture_search.h"

#include <QSize>
#include <QUrl>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

class QAction;
class QItemSelectionModel;
class QLabel;
class QBuffer;
class QListView;
class QMovie;
class QSlider;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolButton;
class QTreeView;

namespace kestrix {

class FilterBar;
class PictureGalleryPreview;
class PictureSortModel;

// The page of every picture found in the image: a grid of thumbnails (caption
// under each; truncated and damaged pictures carry a badge) or, switched by two
// tool buttons, a detailed list; beside it a framed preview that shows the
// selected picture large. Both views share one selection: several pictures can be
// selected for saving; a click on a header of the list sorts both views
// (PictureSortModel). Thumbnails are decoded only for the rows in view, off the
// window's thread, and kept in a bounded cache (ThumbnailDecoder).
class PictureGallery : public QWidget {
    Q_OBJECT
public:
    enum class ViewMode { Thumbnails, Details };

    explicit PictureGallery(QWidget* parent = nullptr);
    ~PictureGallery() override;

    // Shows rows, whose offsets point into image. image must stay alive and
    // unchanged until the next SetPictures or Clear, or until the gallery is
    // destroyed: call Clear before the image is replaced. The selection and the
    // preview are cleared.
    void SetPictures(std::vector<FoundItem> rows, std::span<const uint8_t> image);
    void Clear();
    const std::vector<FoundItem>& Rows() const noexcept;
    std::span<const uint8_t> Image() const noexcept;

    ViewMode Mode() const noexcept { return m_mode; }
    void SetMode(ViewMode mode);

    // Rows are counted in the search's order (indexes into Rows()) whatever
    // order the views show them in (a click on a table header sorts both views).

    // Indexes of the selected rows, ascending.
    std::vector<int32_t> SelectedRows() const;
    // Selects exactly the given rows (indexes outside the rows are ignored).
    void SelectRows(const std::vector<int32_t>& rows);
    void ClearSelection();
    // Turns selecting by the user off (the selection stays as it is), for the
    // time a scan runs, or back on.
    void SetSelectable(bool value);
    bool Selectable() const noexcept { return m_selectable; }

    // Indexes of the rows the filter lets through, ascending: every row while
    // no filter is set. A filter being worked out off the window's thread is
    // waited for.
    std::vector<int32_t> ShownRows() const;
    // Whether the filter bar may hide rows.
    bool Filtering() const;

    // Start and end shown as hexadecimal ("0x1A2B") in the table, or as decimal
    // (the default); sorting stays numeric.
    void SetHexOffsets(bool value);
    bool HexOffsets() const;

    // The picture of row decoded at its own size (the first frame); a null
    // image when it cannot be decoded or row does not exist.
    QImage FullPicture(int32_t row) const;
    // Puts the picture the preview shows on the clipboard as an image; false,
    // and the clipboard unchanged, when there is none or it cannot be decoded.
    bool CopyPicture();

    // Opens row with the desktop's program for its type, through a scratch copy
    // (PictureGalleryModel::ScratchCopy); false when the copy cannot be written
    // or the desktop opens nothing. A double click on a row does it.
    bool OpenPicture(int32_t row);
    // What opens a URL; QDesktopServices::openUrl unless replaced.
    void SetUrlOpener(std::function<bool(const QUrl&)> opener) { m_openUrl = std::move(opener); }

    // The row the preview shows; -1 for none.
    int32_t PreviewRow() const noexcept { return m_previewRow; }

    PictureGalleryModel& Model() noexcept { return *m_model; }
    // What the views show: Model() in the order picked by a header click.
    PictureSortModel& Sorted() noexcept { return *m_sorted; }
    const PictureGalleryModel& Model() const noexcept { return *m_model; }
    QListView* Grid() const noexcept { return m_grid; }
    QTreeView* Details() const noexcept { return m_details; }
    PictureGalleryPreview* Preview() const noexcept { return m_preview; }
    QLabel* PreviewInfo() const noexcept { return m_previewInfo; }
    QToolButton* ThumbnailsButton() const noexcept { return m_thumbnailsButton; }
    QToolButton* DetailsButton() const noexcept { return m_detailsButton; }
    FilterBar* Filter() const noexcept { return m_filter; }
    // The lists' context menu: "Смещения в hex" (checkable) and "Копировать картинку".
    QAction* HexOffsetsAction() const noexcept { return m_hexOffsets; }
    QAction* CopyPictureAction() const noexcept { return m_copyPicture; }
    // Under the preview: "По размеру окна", "1:1" and the scale shown.
    QToolButton* ZoomFitButton() const noexcept { return m_zoomFit; }
    QToolButton* ZoomActualButton() const noexcept { return m_zoomActual; }
    QLabel* ZoomLabel() const noexcept { return m_zoomLabel; }
    // The side of the grid's thumbnails (ThumbnailDelegate::kMinSide..kMaxSide);
    // also set by the slider and by Ctrl+wheel over the grid.
    int ThumbnailSide() const;
    void SetThumbnailSide(int side);
    QSlider* ThumbnailSlider() const noexcept { return m_sizeSlider; }
    // The animation the preview plays: an animated GIF, while one is shown; else nullptr.
    QMovie* Movie() const noexcept { return m_movie; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // No desktop program opened the copy at path (empty: no copy could be written).
    void OpenFailed(const QString& path);
    // The picture to show large changed: the current row when it is selected,
    // otherwise the first selected row; -1 when nothing is selected.
    void PictureSelected(int32_t row);

private:
    void BuildGrid();
    // Keeps the counts and the large view up with the rows the views show.
    void FollowShownRows();
    void BuildActions();
    void FilterChanged();
    void UpdateCounts();
    void BuildDetails();
    QWidget* BuildPreviewGroup();
    bool RowInView(int32_t row) const;
    // The first column's index of row (in the search's order) in the views, and back.
    QModelIndex ViewIndex(int32_t row) const;
    int32_t SourceRow(const QModelIndex& viewIndex) const;
    int32_t WantedPreviewRow() const;
    void UpdatePreviewRow();
    void ShowPreview(int32_t row);
    void PreviewDecoded(int32_t row, const GalleryPicture& picture);
    void PreviewResized();
    void PreviewZoomed();
    void StartMovie(int32_t row);
    void StopMovie();

    PictureGalleryModel* m_model = nullptr;
    PictureSortModel* m_sorted = nullptr;
    QItemSelectionModel* m_selection = nullptr;
    QToolButton* m_thumbnailsButton = nullptr;
    QToolButton* m_detailsButton = nullptr;
    FilterBar* m_filter = nullptr;
    QAction* m_hexOffsets = nullptr;
    QAction* m_copyPicture = nullptr;
    QSplitter* m_splitter = nullptr;
    QStackedWidget* m_stack = nullptr;
    QListView* m_grid = nullptr;
    QTreeView* m_details = nullptr;
    PictureGalleryPreview* m_preview = nullptr;
    QLabel* m_previewInfo = nullptr;
    QToolButton* m_zoomFit = nullptr;
    QToolButton* m_zoomActual = nullptr;
    QLabel* m_zoomLabel = nullptr;
    QSlider* m_sizeSlider = nullptr;
    QMovie* m_movie = nullptr;
    std::function<bool(const QUrl&)> m_openUrl;
    QBuffer* m_movieBuffer = nullptr;
    QTimer* m_previewResize = nullptr;
    ViewMode m_mode = ViewMode::Thumbnails;
    bool m_selectable = true;
    int32_t m_previewRow = -1;
    // The box the preview's picture was decoded to fit.
    QSize m_previewBox;
};

}  // namespace kestrix

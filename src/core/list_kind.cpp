#include "list_kind.h"

#include "file_entry_scan.h"
#include "graphics_scan.h"

namespace kestrix {
namespace {

// File entries are saved when their data are known to end, under their name.
bool FileSaved(const TResultRow& row)
{
    return !row.Cell(RowCell::End).empty();
}

std::string FileSaveName(const TResultRow& row)
{
    return row.Caption;
}

// Pictures are saved when captioned, as caption.type.
bool PictureSaved(const TResultRow& row)
{
    return !row.Caption.empty();
}

std::string PictureSaveName(const TResultRow& row)
{
    return row.Caption + "." + row.Cell(RowCell::Type);
}

constexpr ListTraits kLists[] = {
    {ListKind::Files, "files", "the phone file system's entries", ScanFileEntries, FileRowText, FileSaved, FileSaveName, false},
    {ListKind::Graphics, "graphics", "GIF pictures and small bitmaps", ScanGraphics, PictureRowText, PictureSaved, PictureSaveName, true},
};

}  // namespace

std::span<const ListTraits> AllLists() noexcept
{
    return kLists;
}

const ListTraits& TraitsOf(ListKind kind) noexcept
{
    return kLists[static_cast<std::size_t>(kind)];
}

}  // namespace kestrix

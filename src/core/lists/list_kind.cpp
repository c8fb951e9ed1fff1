#include "list_kind.h"

#include "file_entry_scan.h"
#include "graphics_scan.h"
#include "picture_list.h"

namespace kestrix {
namespace {

// File entries are saved when their data are known to end, under their name.
bool FileSaved(const ResultRow& row)
{
    return !row.Cell(RowCell::End).empty();
}

std::string FileSaveName(const ResultRow& row)
{
    return row.Caption;
}

// Pictures are saved when captioned, as caption.type.
bool PictureSaved(const ResultRow& row)
{
    return !row.Caption.empty();
}

std::string PictureSaveName(const ResultRow& row)
{
    return row.Caption + "." + row.Cell(RowCell::Type);
}

// Every found picture is saved, under its caption (an entry's name, or a
// numbered name with the extension of its type).
bool EveryPictureSaved(const ResultRow&)
{
    return true;
}

std::string CaptionSaveName(const ResultRow& row)
{
    return row.Caption;
}

constexpr ListTraits kLists[] = {
    {ListKind::Files, "files", "the phone file system's entries", ScanFileEntries, FileRowText, FileSaved, FileSaveName,
     false},
    {ListKind::Graphics, "graphics", "GIF pictures and small bitmaps", ScanGraphics, PictureRowText, PictureSaved,
     PictureSaveName, true},
    {ListKind::Pictures, "pictures", "every GIF, BMP, JPEG and PNG picture, whole and named", ScanAllPictures,
     AllPicturesRowText, EveryPictureSaved, CaptionSaveName, true},
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

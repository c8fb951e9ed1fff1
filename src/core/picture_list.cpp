#include "picture_list.h"

#include "format_table.h"

namespace kestrix {
namespace {

ItemType ItemTypeOf(PictureType type) noexcept
{
    switch (type) {
    case PictureType::Gif: return ItemType::Gif;
    case PictureType::Bmp: return ItemType::Bmp;
    case PictureType::Jpeg: return ItemType::Jpeg;
    case PictureType::Png: return ItemType::Png;
    }
    return ItemType::Gif;
}

PictureType PictureTypeOf(ItemType type) noexcept
{
    switch (type) {
    case ItemType::Bmp: return PictureType::Bmp;
    case ItemType::Jpeg: return PictureType::Jpeg;
    case ItemType::Png: return PictureType::Png;
    case ItemType::File:
    case ItemType::Gif: break;
    }
    return PictureType::Gif;
}

}  // namespace

std::string PictureCaption(std::string_view entryName, PictureType type, std::size_t index)
{
    if (!entryName.empty())
        return std::string(entryName);
    const FormatTraits& format = TraitsOf(type);
    return std::string(KindCaption(format.Kind)) + " (" + std::to_string(index + 1) + ")." + std::string(format.Name);
}

bool ScanAllPictures(TCustomHexBuffer& buffer, const ScanHooks& hooks, FoundRows& rows)
{
    rows.Clear();
    const auto found = FindAllPictures(buffer.Bytes(), hooks);
    if (!found)
        return true;
    for (const FoundPicture& picture : *found)
        AppendPicture(rows, picture);
    return true;
}

ResultRow AllPicturesRowText(const FoundRows& rows, std::size_t index)
{
    return AllPicturesRowText(PictureAt(rows, index), index);
}

ResultRow AllPicturesRowText(const FoundPicture& picture, std::size_t index)
{
    FoundRow row;
    row.Type = ItemTypeOf(picture.Type);
    row.Start = picture.Start;
    row.End = picture.End;
    row.Size = static_cast<int64_t>(picture.End) - picture.Start;
    ResultRow text = RowText(PictureCaption(picture.EntryName, picture.Type, index), PictureTypeName(picture.Type), row,
                             kPictureRowIcon);
    text.Cell(RowCell::Width) = std::to_string(picture.Width);
    text.Cell(RowCell::Height) = std::to_string(picture.Height);
    text.Cell(RowCell::Frames) = picture.Type == PictureType::Gif ? std::to_string(picture.Frames) : std::string();
    text.Cell(RowCell::Status) = PictureStatusName(picture.Status);
    return text;
}

FoundPicture PictureAt(const FoundRows& rows, std::size_t index)
{
    const FoundRow& row = rows[index];
    const PictureDetails details = rows.Details(index);
    FoundPicture picture;
    picture.Type = PictureTypeOf(row.Type);
    picture.Status = details.Status;
    picture.Start = row.Start;
    picture.End = row.End;
    picture.Width = details.Width;
    picture.Height = details.Height;
    picture.Frames = details.Frames;
    picture.EntryName = std::string(rows.Name(index));
    return picture;
}

std::vector<FoundPicture> PicturesOf(const FoundRows& rows)
{
    std::vector<FoundPicture> pictures;
    pictures.reserve(rows.Count());
    for (std::size_t i = 0; i < rows.Count(); ++i)
        pictures.push_back(PictureAt(rows, i));
    return pictures;
}

void AppendPicture(FoundRows& rows, const FoundPicture& picture)
{
    FoundRow row;
    row.Type = ItemTypeOf(picture.Type);
    row.Start = picture.Start;
    row.End = picture.End;
    row.Size = static_cast<int64_t>(picture.End) - picture.Start;
    rows.Append(row, picture.EntryName, {picture.Width, picture.Height, picture.Frames, picture.Status});
}

}  // namespace kestrix

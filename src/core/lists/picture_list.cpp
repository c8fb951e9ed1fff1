#include "picture_list.h"

#include "format_table.h"

namespace kestrix {
std::string PictureCaption(const FoundItem& picture, std::size_t index)
{
    return picture.EntryName.empty() ? NumberedCaption(picture, index + 1) : picture.EntryName;
}

bool ScanAllPictures(TCustomHexBuffer& buffer, const ScanHooks& hooks, FoundRows& rows)
{
    rows.Clear();
    const auto found = FindAllPictures(buffer.Bytes(), hooks);
    if (!found)
        return true;
    for (const FoundItem& picture : *found)
        AppendPicture(rows, picture);
    return true;
}

ResultRow AllPicturesRowText(const FoundRows& rows, std::size_t index)
{
    return AllPicturesRowText(PictureAt(rows, index), index);
}

ResultRow AllPicturesRowText(const FoundItem& picture, std::size_t index)
{
    FoundRow row;
    row.Type = picture.Type;
    row.Start = picture.Start;
    row.End = picture.End;
    row.Size = static_cast<int64_t>(picture.End) - picture.Start;
    ResultRow text = RowText(PictureCaption(picture, index), ContentTypeName(picture.Type), row, kPictureRowIcon);
    text.Cell(RowCell::Width) = std::to_string(picture.Width);
    text.Cell(RowCell::Height) = std::to_string(picture.Height);
    text.Cell(RowCell::Frames) = picture.Type == ItemType::Gif ? std::to_string(picture.Frames) : std::string();
    text.Cell(RowCell::Status) = ItemStatusName(picture.Status);
    return text;
}

FoundItem PictureAt(const FoundRows& rows, std::size_t index)
{
    const FoundRow& row = rows[index];
    const PictureDetails details = rows.Details(index);
    FoundItem picture;
    picture.Type = row.Type;
    picture.Status = details.Status;
    picture.Start = row.Start;
    picture.End = row.End;
    picture.Width = details.Width;
    picture.Height = details.Height;
    picture.Frames = details.Frames;
    picture.EntryName = std::string(rows.Name(index));
    picture.Trailing = details.Trailing;
    picture.Reason = details.Reason;
    return picture;
}

void AppendPicture(FoundRows& rows, const FoundItem& picture)
{
    FoundRow row;
    row.Type = picture.Type;
    row.Start = picture.Start;
    row.End = picture.End;
    row.Size = static_cast<int64_t>(picture.End) - picture.Start;
    rows.Append(row, picture.EntryName,
                {picture.Width, picture.Height, picture.Frames, picture.Status, picture.Trailing, picture.Reason});
}

}  // namespace kestrix

#pragma once

#include "custom_hex_buffer.h"
#include "found_rows.h"
#include "picture_search.h"
#include "result_row.h"
#include "scan_hooks.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

// The caption of picture, row index of the list of every picture, which is also
// the name its file is saved under (Windows-1251, before SafeFileName): the name
// of the file-system entry whose data the picture is, or NumberedCaption with
// index + 1, as ContentCaptions names the same picture in the whole content list.
std::string PictureCaption(const FoundItem& picture, std::size_t index);

// Replaces rows with every picture of the image (FindAllPictures; hooks.DecodeCheck
// tells whole pictures from damaged ones): types Gif, Bmp, Jpeg, Png, start, end,
// size = end - start, the entry's name as the row's name and PictureDetails. Images
// of any size are searched, so the result is always true; rows stay empty when KeepGoing
// ended the search.
bool ScanAllPictures(TCustomHexBuffer& buffer, const ScanHooks& hooks, FoundRows& rows);

// Row index of the deep picture search's list as it shows: caption PictureCaption,
// cells type, start, end, size, width, height, frames (empty but for a GIF) and
// status (ItemStatusName); icon 5.
ResultRow AllPicturesRowText(const FoundRows& rows, std::size_t index);
// The same for picture, found at row index of that list.
ResultRow AllPicturesRowText(const FoundItem& picture, std::size_t index);

// The same list's rows as found pictures and back.
FoundItem PictureAt(const FoundRows& rows, std::size_t index);
void AppendPicture(FoundRows& rows, const FoundItem& picture);

}  // namespace kestrix

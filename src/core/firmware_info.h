#pragma once

#include "custom_hex_buffer.h"
#include "result_row.h"

#include <vector>

namespace kestrix {

// The five facts read at fixed offsets of a flash image, as result rows with
// one cell each: "PDS", "Версия прошивки", "Модель телефона", "Заводской номер",
// "Версия Flex" (captions in Windows-1251). A value whose start lies at or
// beyond the end of the image keeps "Неизвестно"; a value the end of the image
// cuts short holds the bytes read so far.
std::vector<TResultRow> ReadFirmwareInfo(const TCustomHexBuffer& buffer);

}  // namespace kestrix

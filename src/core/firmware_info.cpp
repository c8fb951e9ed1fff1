#include "firmware_info.h"

#include "code_page.h"

#include <string_view>

namespace kestrix {
namespace {

struct FactField {
    std::string_view caption;  // UTF-8
    int32_t offset;
    uint8_t stop;
    bool dropFullStops;
    bool upperCase;
};

constexpr FactField kFacts[] = {
    {"PDS", 102976, 0xFF, true, true},
    {"Версия прошивки", 9568740, 0x00, false, true},
    {"Модель телефона", 82451, 0x05, false, false},
    {"Заводской номер", 82960, 0x00, false, false},
    {"Версия Flex", 102926, 0x00, false, false},
};

}  // namespace

std::vector<TResultRow> ReadFirmwareInfo(const TCustomHexBuffer& buffer)
{
    const std::string unknown = Utf8ToCp1251("Неизвестно");
    const int32_t size = buffer.DataSize();
    std::vector<TResultRow> rows;
    rows.reserve(std::size(kFacts));
    for (const FactField& fact : kFacts) {
        TResultRow row{Utf8ToCp1251(fact.caption), {unknown}, -1};
        if (fact.offset < size) {
            std::string value;
            for (int32_t at = fact.offset; at < size; ++at) {
                const uint8_t byte = buffer.ByteAt(at);
                if (byte == fact.stop)
                    break;
                if (fact.dropFullStops && byte == '.')
                    continue;
                value += static_cast<char>(fact.upperCase && byte >= 'a' && byte <= 'z' ? byte - 0x20 : byte);
            }
            row.Cells[0] = std::move(value);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace kestrix

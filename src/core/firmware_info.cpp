#include "firmware_info.h"

#include "code_page.h"

#include <cstring>
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
            // The value runs to the stop byte or, without one, to the end of the image.
            const uint8_t* first = buffer.Data() + fact.offset;
            const uint8_t* last = buffer.Data() + size;
            const auto* stop =
                static_cast<const uint8_t*>(std::memchr(first, fact.stop, static_cast<std::size_t>(last - first)));
            std::string value(first, stop != nullptr ? stop : last);
            if (fact.dropFullStops)
                std::erase(value, '.');
            if (fact.upperCase)
                for (char& c : value)
                    if (c >= 'a' && c <= 'z')
                        c = static_cast<char>(c - 0x20);
            row.Cells[0] = std::move(value);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace kestrix

#include "firmware_info.h"

#include "code_page.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace kestrix {
namespace {

struct FactField {
    std::string_view Caption;  // UTF-8
    int32_t Offset;
    uint8_t Stop;
    bool DropFullStops;
    bool UpperCase;
};

constexpr FactField kFacts[] = {
    {"PDS", 102976, 0xFF, true, true},
    {"Версия прошивки", 9568740, 0x00, false, true},
    {"Модель телефона", 82451, 0x05, false, false},
    {"Заводской номер", 82960, 0x00, false, false},
    {"Версия Flex", 102926, 0x00, false, false},
};

// Reads field's value from run, the image from the field's offset on.
FirmwareFact ReadFact(const FactField& field, std::span<const uint8_t> run)
{
    // The value runs to the stop byte or, without one, to the end of the image.
    const auto* stop = static_cast<const uint8_t*>(std::memchr(run.data(), field.Stop, run.size()));
    const std::span<const uint8_t> value =
        run.first(stop != nullptr ? static_cast<std::size_t>(stop - run.data()) : run.size());
    FirmwareFact fact;
    fact.Caption = Utf8ToCp1251(field.Caption);
    if (field.DropFullStops) {
        const auto stops = static_cast<std::size_t>(std::count(value.begin(), value.end(), '.'));
        fact.Length = static_cast<int32_t>(value.size() - stops);
        for (auto at = value.begin(); at != value.end() && fact.Value.size() < kMaxFactBytes; ++at)
            if (*at != '.')
                fact.Value += static_cast<char>(*at);
    } else {
        fact.Length = static_cast<int32_t>(value.size());
        const std::span<const uint8_t> kept = value.first(std::min(value.size(), kMaxFactBytes));
        fact.Value.assign(kept.begin(), kept.end());
    }
    if (field.UpperCase)
        for (char& c : fact.Value)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 0x20);
    return fact;
}

}  // namespace

std::vector<FirmwareFact> ReadFirmwareInfo(std::span<const uint8_t> image)
{
    std::vector<FirmwareFact> facts;
    facts.reserve(std::size(kFacts));
    for (const FactField& field : kFacts) {
        if (static_cast<std::size_t>(field.Offset) < image.size())
            facts.push_back(ReadFact(field, image.subspan(static_cast<std::size_t>(field.Offset))));
        else
            facts.push_back({Utf8ToCp1251(field.Caption), Utf8ToCp1251("Неизвестно"), std::nullopt});
    }
    return facts;
}

std::vector<FactRange> FirmwareFactRanges(std::span<const uint8_t> image)
{
    std::vector<FactRange> ranges;
    for (const FactField& field : kFacts) {
        const auto offset = static_cast<std::size_t>(field.Offset);
        if (offset >= image.size()) {
            ranges.push_back({field.Offset, field.Offset});
            continue;
        }
        const auto* stop =
            static_cast<const uint8_t*>(std::memchr(image.data() + offset, field.Stop, image.size() - offset));
        const std::size_t end = stop != nullptr ? static_cast<std::size_t>(stop - image.data()) : image.size();
        ranges.push_back({field.Offset, static_cast<int32_t>(end)});
    }
    return ranges;
}

std::string ShownFactValue(const FirmwareFact& fact)
{
    if (!fact.Length || static_cast<std::size_t>(*fact.Length) <= fact.Value.size())
        return fact.Value;
    return fact.Value + Utf8ToCp1251("… (" + std::to_string(*fact.Length) + " bytes)");
}

}  // namespace kestrix

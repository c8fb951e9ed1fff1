// The names and words of found items: their kinds, type names, captions and
// the reasons for their statuses (declared in content_search.h).
#include "content_search.h"

#include <string>

namespace kestrix {
namespace {

// The word for count in Russian: one (1, 21...), few (2-4, 22-24...) or many.
const char* RussianWord(int64_t count, const char* one, const char* few, const char* many) noexcept
{
    const int64_t tens = count % 100;
    const int64_t units = count % 10;
    if (tens >= 11 && tens <= 14)
        return many;
    return units == 1 ? one : units >= 2 && units <= 4 ? few : many;
}

bool IsAsciiAlnum(char c) noexcept
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

ContentKind KindOf(ItemType type, FormatTable formats) noexcept
{
    const FormatTraits* row = RowOf(formats, type);
    return row == nullptr ? ContentKind::File : row->Kind;
}

const char* ItemStatusName(ItemStatus status) noexcept
{
    switch (status) {
    case ItemStatus::Complete: return "complete";
    case ItemStatus::Truncated: return "truncated";
    case ItemStatus::Damaged: return "damaged";
    case ItemStatus::Unchecked: return "unchecked";
    }
    return "";
}

const char* ContentTypeName(ItemType type, FormatTable formats) noexcept
{
    const FormatTraits* row = RowOf(formats, type);
    return row == nullptr ? "bin" : row->Name.data();
}

std::string ItemTypeName(const FoundItem& item, FormatTable formats)
{
    if (item.Type != ItemType::File)
        return ContentTypeName(item.Type, formats);
    const std::string_view name = item.EntryName;
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size() || name.size() - dot - 1 > 8)
        return "bin";
    std::string extension;
    for (const char c : name.substr(dot + 1)) {
        if (!IsAsciiAlnum(c))
            return "bin";
        extension += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return extension;
}

std::string NumberedCaption(const FoundItem& item, std::size_t number, FormatTable formats)
{
    return std::string(KindCaption(KindOf(item.Type, formats))) + " (" + std::to_string(number) + ")." +
           ItemTypeName(item, formats);
}

std::vector<std::string> ContentCaptions(const std::vector<FoundItem>& items, FormatTable formats)
{
    std::vector<std::string> captions;
    captions.reserve(items.size());
    std::size_t numbers[4] = {};
    for (const FoundItem& item : items) {
        const std::size_t number = ++numbers[static_cast<std::size_t>(KindOf(item.Type, formats))];
        captions.push_back(item.EntryName.empty() ? NumberedCaption(item, number, formats) : item.EntryName);
    }
    return captions;
}

std::string StatusDetail(const FoundItem& item)
{
    std::string text;
    switch (item.Reason) {
    case StatusReason::None: break;
    case StatusReason::Cut: text = "обрезан"; break;
    case StatusReason::NoImageData: text = "строение цело, но в нём нет ни одной точки"; break;
    case StatusReason::BrokenInEntry: text = "строение обрывается внутри записи"; break;
    case StatusReason::DoesNotDecode: text = "строение цело, но содержимое не раскодируется"; break;
    case StatusReason::TooCostly: text = "раскодировать дороже, чем позволяет размер"; break;
    case StatusReason::NoCheck: text = "проверить нечем"; break;
    }
    const auto add = [&text](const char* more) { text += (text.empty() ? "" : "; ") + std::string(more); };
    if (item.JarFit == JarMatch::Cut)
        add("его архив обрезан");
    else if (item.JarFit == JarMatch::OtherSize)
        add("размер архива не тот, что указан в описании");
    if (item.Trailing > 0)
        text += (text.empty() ? "" : "; ") + std::to_string(item.Trailing) + " " +
                RussianWord(item.Trailing, "байт", "байта", "байт") + " после конца";
    return text;
}

}  // namespace kestrix

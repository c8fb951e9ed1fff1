// The three analyses over arbitrary images. The first input byte chooses where
// the rest lands: at offset 0, or just below the GIF pass start so that GIF
// headers and the firmware version are reached. Every row is checked against
// the rules its scan promises.
#include "custom_hex_buffer.h"
#include "extraction.h"
#include "file_entry_scan.h"
#include "firmware_info.h"
#include "graphics_scan.h"

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace kestrix;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

int32_t Number(const std::string& text)
{
    return text.empty() ? -1 : StrToInt(text);
}

// A saved name: not empty, not hidden, no separator and no control character.
void CheckSavedName(const std::string& name)
{
    Check(!name.empty() && name.front() != '.');
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        Check(c != '/' && c != '\\' && c >= 0x20 && c != 0x7F);
        // U+0080..U+009F in UTF-8.
        Check(!(c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F));
    }
}

void CheckName(const std::string& caption)
{
    CheckSavedName(SafeFileName(caption));
}

// Every item of a save has a safe name of its own.
void CheckPlan(const std::vector<ExtractItem>& items)
{
    std::set<std::string> names;
    for (const ExtractItem& item : items) {
        CheckSavedName(item.FileName);
        Check(names.insert(item.FileName).second);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t offset = (data[0] & 1) != 0 ? kGifPassStart - 64 : 0;
    // The padding repeats the facts' stop bytes so that the long stretch below
    // the input costs little: every fact that starts there ends at once.
    static const std::vector<uint8_t> kPadding = [] {
        std::vector<uint8_t> bytes(kGifPassStart - 64);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = "\x00\x05\xFF"[i % 3];
        return bytes;
    }();
    // One block kept across inputs, so that only the buffer's own block is
    // allocated for each input.
    static std::vector<uint8_t> image;
    const std::size_t imageSize = std::max<std::size_t>(offset + size - 1, 1001);
    image.resize(imageSize);
    uint8_t* bytes = image.data();
    std::copy(kPadding.begin(), kPadding.begin() + static_cast<std::ptrdiff_t>(offset), bytes);
    std::fill(bytes + offset, bytes + imageSize, 0);
    std::copy(data + 1, data + size, bytes + offset);

    THexBuffer buffer;
    buffer.LoadFromBytes(image);
    const int32_t dataSize = buffer.DataSize();

    for (const FirmwareFact& fact : ReadFirmwareInfo(buffer.Bytes()))
        Check(fact.Value.size() <= kMaxFactBytes && (!fact.Length || *fact.Length >= 0));

    FoundRows files;
    Check(ScanFileEntries(buffer, {}, files));
    for (std::size_t i = 0; i < files.Count(); ++i) {
        const FoundRow& row = files[i];
        Check(row.Start >= 89 + 38 && row.Start + 25 - 38 < dataSize);
        Check(!row.HasEnd() || (row.End >= row.Start && row.End - row.Start <= 384));
        Check(!files.Name(i).empty());
        CheckName(std::string(files.Name(i)));
        const ResultRow text = FileRowText(files, i);
        Check(text.Cell(RowCell::Start) == std::to_string(row.Start));
        Check(Number(text.Cell(RowCell::End)) == (row.HasEnd() ? row.End : -1));
    }
    const auto saved = PlanExtraction(ListKind::Files, files);
    CheckPlan(saved);
    for (const ExtractItem& item : saved)
        Check(files[static_cast<std::size_t>(item.Row)].HasEnd());

    FoundRows pictures;
    Check(ScanGraphics(buffer, {}, pictures));
    for (std::size_t i = 0; i < pictures.Count(); ++i) {
        const FoundRow& row = pictures[i];
        Check(row.Start >= 0 && row.Start < dataSize && row.HasEnd());
        if (row.Type == ItemType::Gif)
            Check(row.Start > kGifPassStart && row.End > row.Start && row.End <= std::min(dataSize, kGifSearchBound));
        else
            Check(row.Type == ItemType::Bmp && row.End >= row.Start && row.End - row.Start <= 255);
        const ResultRow text = PictureRowText(pictures, i);
        CheckName(text.Caption + "." + text.Cell(RowCell::Type));
    }
    CheckPlan(PlanExtraction(ListKind::Graphics, pictures));
    return 0;
}

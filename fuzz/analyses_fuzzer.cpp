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

void CheckName(const std::string& caption)
{
    const std::string name = SafeFileName(caption);
    Check(!name.empty() && name != "." && name != "..");
    for (const char c : name)
        Check(c != '/' && c != '\\' && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t offset = (data[0] & 1) != 0 ? kGifPassStart - 64 : 0;
    // The padding repeats the facts' stop bytes so that the long stretch below
    // the input costs little: every fact that starts there ends at once.
    static const std::vector<uint8_t> padding = [] {
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
    std::copy(padding.begin(), padding.begin() + static_cast<std::ptrdiff_t>(offset), bytes);
    std::fill(bytes + offset, bytes + imageSize, 0);
    std::copy(data + 1, data + size, bytes + offset);

    THexBuffer buffer;
    buffer.LoadFromBytes(image);
    const int32_t dataSize = buffer.DataSize();

    Check(ReadFirmwareInfo(buffer).size() == 5);

    const auto files = ScanFileEntries(buffer, {});
    Check(files.has_value());
    for (const TResultRow& row : *files) {
        const int32_t start = Number(row.Cell(rcStart));
        const int32_t end = Number(row.Cell(rcEnd));
        Check(start >= 89 + 38 && start + 25 - 38 < dataSize);
        Check(row.Cell(rcEnd).empty() || (end >= start && end - start <= 384));
        Check(!row.Caption.empty());
        CheckName(row.Caption);
    }
    for (const ExtractItem& item : PlanExtraction(spFiles, *files))
        CheckName(item.FileName), Check(!item.EndText.empty());

    const auto pictures = ScanGraphics(buffer, {});
    Check(pictures.has_value());
    for (const TResultRow& row : *pictures) {
        const int32_t start = Number(row.Cell(rcStart));
        const int32_t end = Number(row.Cell(rcEnd));
        Check(start >= 0 && start < dataSize);
        if (row.Cell(rcType) == "gif")
            Check(start > kGifPassStart && end > start && end <= std::min(dataSize, kGifSearchBound));
        else
            Check(row.Cell(rcType) == "bmp" && end >= start && end - start <= 255);
        CheckName(row.Caption + "." + row.Cell(rcType));
    }
    return 0;
}

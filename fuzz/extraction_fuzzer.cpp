// Saving every row of both lists of an arbitrary image into a fresh folder:
// every file lands directly inside the folder, under a name no other row of the
// save took, that hides nothing and carries no separator or control character,
// and holds exactly the image's bytes of its row. The first input byte chooses
// where the rest lands (offset 0, or just below the GIF pass start).
#include "custom_hex_buffer.h"
#include "exceptions.h"
#include "extraction.h"
#include "graphics_scan.h"
#include "list_kind.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace kestrix;
namespace fs = std::filesystem;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

const fs::path& Folder()
{
    static const fs::path kFolder = [] {
        const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        return base / ("kestrix-extraction-fuzz-" + std::to_string(::getpid()));
    }();
    return kFolder;
}

void CheckSafeName(const std::string& name)
{
    Check(!name.empty() && name.front() != '.');
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<uint8_t>(name[i]);
        Check(byte != '/' && byte != '\\' && byte >= 0x20 && byte != 0x7F);
        // U+0080..U+009F in UTF-8: C2 80..C2 9F.
        Check(!(byte == 0xC2 && i + 1 < name.size() && static_cast<uint8_t>(name[i + 1]) <= 0x9F));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t offset = (data[0] & 1) != 0 ? kGifPassStart - 64 : 0;
    std::vector<uint8_t> image(std::max<std::size_t>(offset + size - 1, 1001), 0);
    std::copy(data + 1, data + size, image.begin() + static_cast<std::ptrdiff_t>(offset));
    THexBuffer buffer;
    buffer.LoadFromBytes(image);

    for (const ListTraits& list : AllLists()) {
        fs::remove_all(Folder());
        fs::create_directories(Folder());
        FoundRows rows;
        list.Scan(buffer, {}, rows);
        std::set<std::string> names;
        const std::vector<ExtractItem> items = PlanExtraction(list.Kind, rows);
        for (const ExtractItem& item : items) {
            CheckSafeName(item.FileName);
            Check(names.insert(item.FileName).second);
            Check(rows[static_cast<std::size_t>(item.Row)].HasEnd());
        }
        SaveHooks hooks;
        hooks.Written = [&](const ExtractItem& item, std::size_t) {
            const FoundRow& row = rows[static_cast<std::size_t>(item.Row)];
            std::ifstream in(Folder() / item.FileName, std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            Check(bytes == std::vector<uint8_t>(image.begin() + row.Start, image.begin() + row.End));
        };
        hooks.Failed = [&](const ExtractItem& item, const std::exception& failure) {
            // A range outside the image fails its row; nothing of it may be left.
            Check(dynamic_cast<const Exception*>(&failure) != nullptr);
            Check(!fs::exists(Folder() / item.FileName));
            return AfterFailure::GoOn;
        };
        const auto rangeOf = [&rows](const ExtractItem& item) {
            const FoundRow& row = rows[static_cast<std::size_t>(item.Row)];
            return ItemRange{row.Start, row.End};
        };
        const std::size_t written = SaveToFolder(buffer, Folder().string(), items, rangeOf, hooks).Written;
        std::size_t present = 0;
        for (const auto& entry : fs::directory_iterator(Folder())) {
            Check(entry.is_regular_file() && !entry.is_symlink());
            Check(names.count(entry.path().filename().string()) == 1);
            ++present;
        }
        Check(present == written);
    }
    fs::remove_all(Folder());
    return 0;
}

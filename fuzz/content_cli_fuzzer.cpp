// The whole content command over arbitrary bytes, as a user runs it:
// `kestrix-cli content IMAGE --json --extract DIR [--wav]`, with the real
// picture checks, the sound decoders' module and the command line's
// extraction. Every run must end with one JSON line, every written file must
// hold exactly the bytes of its row (a WAV beside a sound excepted), and the
// folder must hold nothing else. The first input byte chooses how much erased
// flash lies before and after the rest, and (40h) whether sounds also become
// WAV files.
#include "cli_runner.h"
#include "erased_flash_input.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
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
        return base / ("kestrix-content-cli-fuzz-" + std::to_string(::getpid()));
    }();
    return kFolder;
}

std::vector<uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::vector<uint8_t> image = AmongErasedFlash(data, size, (data[0] & 0x80) != 0 ? 0x00 : 0xFF);
    std::error_code error;
    fs::remove_all(Folder(), error);
    fs::create_directories(Folder());
    const fs::path imagePath = Folder() / "image.bin";
    {
        std::ofstream out(imagePath, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    const fs::path saved = Folder() / "out";
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> arguments{"kestrix-cli", "content",   imagePath.string(),
                                       "--json",      "--extract", saved.string()};
    if ((data[0] & 0x40) != 0)
        arguments.emplace_back("--wav");
    const CliStatus status = RunCli(arguments, out, err);
    const std::string text = out.str();
    // One JSON object on one line, whatever the image holds.
    Check(!text.empty() && text.front() == '{' && text.back() == '\n' && text.find('\n') == text.size() - 1);
    Check(status == CliStatus::Ok || status == CliStatus::Failed);

    QJsonParseError parse{};
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parse).object();
    Check(parse.error == QJsonParseError::NoError);
    const QJsonArray rows = json["rows"].toArray();
    std::set<fs::path> listed;
    std::set<int> savedRows;
    for (const QJsonValue value : json["written"].toArray()) {
        const QJsonObject written = value.toObject();
        const int row = written["row"].toInt(-1);
        Check(row >= 0 && row < rows.size());
        // A row's first file is its bytes, a second one its WAV.
        const bool wav = !savedRows.insert(row).second;
        const std::string name = written["file"].toString().toStdString();
        const fs::path path = saved / name;
        listed.insert(path);
        const std::vector<uint8_t> bytes = ReadAll(path);
        const QJsonObject item = rows[row].toObject();
        const auto start = static_cast<std::size_t>(item["start"].toInteger(-1));
        const auto length = static_cast<std::size_t>(item["size"].toInteger(-1));
        if (wav) {
            Check(bytes.size() >= 44 && std::equal(bytes.begin(), bytes.begin() + 4, "RIFF"));
            continue;
        }
        Check(start + length <= image.size() && bytes.size() == length &&
              std::equal(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(start)));
    }
    if (fs::exists(saved))
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(saved))
            Check(entry.is_directory() || listed.contains(entry.path()));
    fs::remove_all(Folder(), error);
    return 0;
}

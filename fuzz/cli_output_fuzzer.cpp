// kestrix-cli's output over arbitrary images: every JSON line parses as one
// object and names the image; the plain tables carry valid UTF-8 and no control
// byte but line breaks, so an image cannot drive the terminal. The first input
// byte chooses the command and where the rest lands (offset 0, or just below the
// GIF pass start); the image lives in an in-memory file.
#include "cli_runner.h"
#include "graphics_scan.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace kestrix;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Valid UTF-8 without C0 controls (but "\n"), DEL or C1 controls.
bool SafeForTerminal(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<uint8_t>(text[i]);
        const std::size_t length = lead < 0x80             ? 1
                                   : (lead & 0xE0) == 0xC0 ? 2
                                   : (lead & 0xF0) == 0xE0 ? 3
                                   : (lead & 0xF8) == 0xF0 ? 4
                                                           : 0;
        if (length == 0 || i + length > text.size())
            return false;
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (static_cast<uint8_t>(text[i + k]) & 0x3F);
        }
        if ((cp < 0x20 && cp != U'\n') || (cp >= 0x7F && cp <= 0x9F))
            return false;
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const char* const kCommands[] = {"info", "files", "graphics", "pictures"};
    const char* command = kCommands[data[0] & 3];
    const std::size_t offset = (data[0] & 4) != 0 ? kGifPassStart - 64 : 0;
    // Padding of the facts' stop bytes keeps the long stretch below the input cheap.
    static const std::vector<uint8_t> kPadding = [] {
        std::vector<uint8_t> bytes(kGifPassStart - 64);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = "\x00\x05\xFF"[i % 3];
        return bytes;
    }();
    std::vector<uint8_t> image(std::max<std::size_t>(offset + size - 1, 1001), 0);
    std::copy(kPadding.begin(), kPadding.begin() + static_cast<std::ptrdiff_t>(offset), image.begin());
    std::copy(data + 1, data + size, image.begin() + static_cast<std::ptrdiff_t>(offset));

    const int fd = ::memfd_create("kestrix-fuzz-image", MFD_CLOEXEC);
    Check(fd >= 0);
    Check(::write(fd, image.data(), image.size()) == static_cast<ssize_t>(image.size()));
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    for (const bool json : {true, false}) {
        std::vector<std::string> arguments{"kestrix-cli", command, path};
        if (json)
            arguments.push_back("--json");
        std::ostringstream out;
        std::ostringstream err;
        Check(RunCli(arguments, out, err) == CliStatus::Ok);
        const std::string text = out.str();
        Check(!text.empty() && text.back() == '\n');
        if (json) {
            Check(text.find('\n') == text.size() - 1);
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
            Check(error.error == QJsonParseError::NoError && document.isObject());
            Check(document.object()["image"].toString().toStdString() == path);
        } else {
            Check(SafeForTerminal(text));
        }
        Check(SafeForTerminal(err.str()));
    }
    ::close(fd);
    return 0;
}

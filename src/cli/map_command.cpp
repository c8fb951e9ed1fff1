#include "map_command.h"

#include "content_search.h"
#include "custom_hex_buffer.h"
#include "extraction.h"
#include "flash_map.h"
#include "png_encoder.h"
#include "terminal_text.h"

#include <charconv>
#include <optional>

namespace kestrix {

const char* const kMapCommandHelp = "  map IMAGE --png FILE [--width N]\n"
                                    "                       draw the map of the flash (what lies where, and the\n"
                                    "                       entropy beside it) as a PNG picture N pixels wide\n"
                                    "                       (default 512, 32 to 4096)\n";

namespace {

constexpr int32_t kDefaultMapWidth = 512;

struct MapRequest {
    std::string Image;
    std::string Png;
    int32_t Width = kDefaultMapWidth;
};

// Reads the arguments after "map"; a usage message, empty on success.
std::string ParseMapArguments(const std::vector<std::string>& arguments, MapRequest& request)
{
    std::vector<std::string> positional;
    std::optional<std::string> png;
    bool optionsEnd = false;
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnd || argument.size() < 2 || argument[0] != '-') {
            positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnd = true;
            continue;
        }
        std::string name = argument.substr(argument[1] == '-' ? 2 : 1);
        std::optional<std::string> value;
        if (const auto equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        }
        if (name == "png") {
            if (!value || value->empty())
                return "Missing value after '--png'.";
            png = value;
        } else if (name == "width") {
            int width = 0;
            const char* end = value ? value->data() + value->size() : nullptr;
            if (!value || std::from_chars(value->data(), end, width).ptr != end || width < kMinMapWidth ||
                width > kMaxMapWidth)
                return "--width takes a whole number from " + std::to_string(kMinMapWidth) + " to " +
                       std::to_string(kMaxMapWidth) + ".";
            request.Width = width;
        } else {
            return "Unknown option '" + TerminalText(name) + "'.";
        }
    }
    if (positional.empty())
        return "missing image";
    if (positional.size() > 1)
        return "map takes one image";
    if (!png)
        return "map needs --png FILE";
    request.Image = positional[0];
    request.Png = *png;
    return {};
}

}  // namespace

CliStatus RunMapCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    MapRequest request;
    if (const std::string usage = ParseMapArguments(arguments, request); !usage.empty()) {
        err << "kestrix-cli: " << usage << "\nTry 'kestrix-cli --help'.\n";
        return CliStatus::Usage;
    }
    THexBuffer buffer;
    try {
        buffer.LoadFromFile(request.Image);
    } catch (const std::exception& e) {
        err << "kestrix-cli: " << TerminalText(LoadFailureText(request.Image, buffer.LastLoadFailure(), e)) << '\n';
        return CliStatus::Failed;
    }
    const std::optional<ContentFound> found = FindAllContent(buffer.Bytes(), {});
    const std::vector<MapItem> items = MapItemsOf(buffer.Bytes(), found ? found->Items : std::vector<FoundItem>{});
    const MapPicture picture = DrawFlashMap(buffer.Bytes(), items, request.Width);
    const std::vector<uint8_t> png = EncodeRgbPng(picture.Width, picture.Height, picture.Rgb);
    try {
        WriteBytesToFileAtomically(buffer, request.Png, png);
    } catch (const std::exception& e) {
        err << "kestrix-cli: " << TerminalText(e.what()) << '\n';
        return CliStatus::Failed;
    }
    out << TerminalText(request.Png) << ": " << picture.Width << " x " << picture.Height << " pixels, "
        << picture.CellBytes << (picture.CellBytes == 1 ? " byte" : " bytes") << " a cell\n";
    return CliStatus::Ok;
}

}  // namespace kestrix

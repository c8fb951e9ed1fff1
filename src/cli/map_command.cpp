#include "map_command.h"

#include "content_search.h"
#include "custom_hex_buffer.h"
#include "extraction.h"
#include "flash_map.h"
#include "png_encoder.h"
#include "terminal_text.h"

namespace kestrix {

CliStatus RunMapCommand(const CliRequest& request, std::ostream& out, std::ostream& err)
{
    const std::string& image = request.Images.front();
    THexBuffer buffer;
    try {
        buffer.LoadFromFile(image);
    } catch (const std::exception& e) {
        err << "kestrix-cli: " << TerminalText(LoadFailureText(image, buffer.LastLoadFailure(), e)) << '\n';
        return CliStatus::Failed;
    }
    const std::optional<ContentFound> found = FindAllContent(buffer.Bytes(), {});
    const std::vector<MapItem> items = MapItemsOf(buffer.Bytes(), found ? found->Items : std::vector<FoundItem>{});
    const MapPicture picture = DrawFlashMap(buffer.Bytes(), items, request.MapWidth);
    const std::vector<uint8_t> png = EncodeRgbPng(picture.Width, picture.Height, picture.Rgb);
    try {
        WriteBytesToFileAtomically(buffer, request.MapPng, png);
    } catch (const std::exception& e) {
        err << "kestrix-cli: " << TerminalText(e.what()) << '\n';
        return CliStatus::Failed;
    }
    out << TerminalText(request.MapPng) << ": " << picture.Width << " x " << picture.Height << " pixels, "
        << picture.CellBytes << (picture.CellBytes == 1 ? " byte" : " bytes") << " a cell\n";
    return CliStatus::Ok;
}

}  // namespace kestrix

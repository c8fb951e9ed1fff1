#include "cli_output.h"

#include "code_page.h"
#include "content_list.h"
#include "digest.h"
#include "firmware_info.h"
#include "picture_check.h"
#include "row_digests.h"
#include "terminal_text.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace kestrix {
namespace {

// Bytes of JSON text gathered before they are written out.
constexpr std::size_t kJsonFlushSize = 1 << 16;

// Image text as printable UTF-8 for the plain tables: control characters are
// shown as \xNN so that the terminal is not driven by the image's bytes.
std::string Printable(const std::string& cp1251)
{
    return Cp1251ToCleanUtf8(cp1251, ControlShown::HexEscape);
}

// Width of UTF-8 text in characters.
std::size_t Columns(const std::string& utf8)
{
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<uint8_t>(c) & 0xC0) != 0x80; }));
}

std::string Padded(const std::string& utf8, std::size_t width)
{
    const std::size_t used = Columns(utf8);
    return utf8 + std::string(width > used ? width - used : 0, ' ');
}

// Prints count lines of cells in columns as wide as their widest cell (the
// last column unpadded). lineOf(k) gives line k; it is asked twice per line,
// so that a table of millions of lines is never held whole.
void PrintTable(std::ostream& out, std::size_t count,
                const std::function<std::vector<std::string>(std::size_t)>& lineOf)
{
    std::vector<std::size_t> widths;
    for (std::size_t i = 0; i < count; ++i) {
        const auto line = lineOf(i);
        widths.resize(std::max(widths.size(), line.size()));
        for (std::size_t k = 0; k < line.size(); ++k)
            widths[k] = std::max(widths[k], Columns(line[k]));
    }
    for (std::size_t i = 0; i < count; ++i) {
        const auto line = lineOf(i);
        std::string text;
        for (std::size_t k = 0; k < line.size(); ++k)
            text += k + 1 == line.size() ? line[k] : Padded(line[k], widths[k]) + "  ";
        out << text << '\n';
    }
}

// What an extraction adds to an image's JSON object: the files written, the
// rows that failed and (wav) the sounds no WAV file was made of.
void ReportFields(JsonWriter& json, const ExtractReport& report, bool wav)
{
    const auto list = [&json](const char* key, const char* field,
                              const std::vector<std::pair<int32_t, std::string>>& rows) {
        json.Key(key).BeginArray();
        for (const auto& [row, text] : rows)
            json.BeginObject().Key("row").Number(row).Key(field).String(text).EndObject();
        json.EndArray();
    };
    list("written", "file", report.Written);
    list("failed", "error", report.Failed);
    if (wav)
        list("no_wav", "why", report.NoWav);
}

// A list row's bytes; none without an end.
RowDigests::Range RowRange(const FoundRow& row)
{
    return {row.Start, row.HasEnd() ? row.End : -1};
}

// Row i's SHA-256 as a JSON field, from digests when they are under way;
// null when its range is not inside the image.
void DigestField(JsonWriter& json, RowDigests* digests, std::size_t i, std::span<const uint8_t> image,
                 RowDigests::Range range)
{
    json.Key("sha256");
    if (const RowDigests::Hex digest = digests != nullptr ? digests->At(i) : RowDigests::Of(image, range))
        json.String(std::string_view(digest->data(), digest->size()));
    else
        json.Null();
}

// What a row of the deep picture search adds to its JSON object.
void PictureFields(JsonWriter& json, const FoundRows& rows, std::size_t index, const ResultRow& text)
{
    const PictureDetails details = rows.Details(index);
    json.Key("width").Number(details.Width).Key("height").Number(details.Height);
    json.Key("frames").NumberText(text.Cell(RowCell::Frames));
    json.Key("status").String(ItemStatusName(details.Status)).Key("entry");
    if (rows.Name(index).empty())
        json.Null();
    else
        json.String(Cp1251ToUtf8(rows.Name(index)));
}

// An application's manifest facts in its JSON object.
void MidletFields(JsonWriter& json, const FoundItem& item, const MidletInfo& midlet)
{
    json.BeginObject().Key("name").String(ShownText(midlet.Name)).Key("vendor").String(ShownText(midlet.Vendor));
    json.Key("version").String(ShownText(midlet.Version)).Key("icon").String(ShownText(midlet.IconPath));
    if (item.Type == ItemType::Jad) {
        json.Key("jar_url").String(ShownText(midlet.JarUrl)).Key("jar_size");
        if (midlet.JarSize >= 0)
            json.Number(midlet.JarSize);
        else
            json.Null();
    }
    json.EndObject();
}

// What a row of the content search says beyond its range, for its kind.
void ContentFields(JsonWriter& json, const FoundItem& item, const ContentFound& found,
                   const std::vector<std::string>& captions)
{
    switch (KindOf(item.Type)) {
    case ContentKind::Picture:
        json.Key("width").Number(item.Width).Key("height").Number(item.Height);
        json.Key("frames");
        if (item.Type == ItemType::Gif)
            json.Number(item.Frames);
        else
            json.Null();
        break;
    case ContentKind::Sound:
        json.Key("duration_ms").Number(item.DurationMs).Key("sample_rate").Number(item.SampleRate);
        json.Key("channels").Number(item.Channels).Key("tracks").Number(item.Tracks);
        break;
    case ContentKind::Application:
        json.Key("midlet");
        if (item.Midlet < 0)
            json.Null();
        else
            MidletFields(json, item, found.Midlets[static_cast<std::size_t>(item.Midlet)]);
        if (item.Type != ItemType::Jad)
            break;
        json.Key("jar");
        if (item.Jar < 0) {
            json.Null();
            break;
        }
        json.BeginObject().Key("caption").String(Cp1251ToUtf8(captions[static_cast<std::size_t>(item.Jar)]));
        json.Key("start").Number(found.Items[static_cast<std::size_t>(item.Jar)].Start);
        json.Key("cut").Bool(item.JarFit == JarMatch::Cut).EndObject();
        break;
    case ContentKind::File: break;
    }
}

// The details column of the content search's plain table.
std::string ContentDetails(const FoundItem& item, const ContentFound& found, const std::vector<std::string>& captions)
{
    switch (KindOf(item.Type)) {
    case ContentKind::Picture: {
        std::string text = std::to_string(item.Width) + "x" + std::to_string(item.Height);
        if (item.Type == ItemType::Gif)
            text += ", " + std::to_string(item.Frames) + (item.Frames == 1 ? " frame" : " frames");
        return text;
    }
    case ContentKind::Sound: {
        std::string text =
            std::to_string(item.DurationMs / 1000) + "." + std::to_string(item.DurationMs % 1000 / 100) + " s";
        if (item.SampleRate > 0)
            text += ", " + std::to_string(item.SampleRate) + " Hz";
        if (item.Channels > 0)
            text += ", " + std::to_string(item.Channels) + " ch";
        if (item.Tracks > 0)
            text += ", " + std::to_string(item.Tracks) + (item.Tracks == 1 ? " track" : " tracks");
        return text;
    }
    case ContentKind::Application: {
        if (item.Midlet < 0)
            return {};
        const MidletInfo& midlet = found.Midlets[static_cast<std::size_t>(item.Midlet)];
        std::string text = TerminalText(midlet.Name);
        if (!midlet.Vendor.empty())
            text.append(", ").append(TerminalText(midlet.Vendor));
        if (!midlet.Version.empty())
            text.append(" ").append(TerminalText(midlet.Version));
        if (item.Jar >= 0) {
            text.append("; jar: ").append(Printable(captions[static_cast<std::size_t>(item.Jar)]));
            if (item.JarFit == JarMatch::Cut)
                text.append(" (cut)");
        }
        return text;
    }
    case ContentKind::File: return {};
    }
    return {};
}

void PrintJson(std::ostream& out, const ImageTask& task, std::size_t imageSize, const Listing& listing,
               const std::optional<ExtractReport>& report)
{
    JsonWriter json;
    json.BeginObject().Key("image").String(task.ShownPath).Key("size").Number(static_cast<int64_t>(imageSize));
    json.Key("rows").BeginArray();
    for (std::size_t i = 0; i < listing.Count; ++i) {
        json.BeginObject();
        listing.Fields(json, i);
        json.EndObject();
        if (json.Text().size() >= kJsonFlushSize)
            json.WriteTo(out);
    }
    json.EndArray();
    if (report)
        ReportFields(json, *report, listing.Wav);
    json.EndObject();
    json.WriteTo(out);
    out << '\n';
}

}  // namespace

std::shared_ptr<RowDigests> RowDigestsOf(std::span<const uint8_t> image, const FoundRows& rows)
{
    return std::make_shared<RowDigests>(image, rows.Count(), [&rows](std::size_t i) { return RowRange(rows[i]); });
}

std::shared_ptr<RowDigests> ItemDigestsOf(std::span<const uint8_t> image, const std::vector<FoundItem>& items,
                                          const std::vector<std::size_t>& rows)
{
    return std::make_shared<RowDigests>(image, rows.size(), [&items, &rows](std::size_t i) {
        return RowDigests::Range(items[rows[i]].Start, items[rows[i]].End);
    });
}

Listing ListRows(ListKind list, const FoundRows& rows, const RowTextFunction& rowText, std::span<const uint8_t> image,
                 std::shared_ptr<RowDigests> digests)
{
    Listing listing;
    listing.Count = rows.Count();
    const bool pictures = list == ListKind::Pictures;
    listing.Columns = {"name", "type", "start", "end", "size"};
    if (pictures)
        listing.Columns.insert(listing.Columns.end(), {"width", "height", "frames", "status", "entry"});
    listing.Cells = [&rows, rowText, pictures](std::size_t i) {
        const ResultRow row = rowText(i);
        std::vector<std::string> cells{Printable(row.Caption), Printable(row.Cell(RowCell::Type)),
                                       row.Cell(RowCell::Start), row.Cell(RowCell::End), row.Cell(RowCell::Size)};
        if (pictures)
            cells.insert(cells.end(), {row.Cell(RowCell::Width), row.Cell(RowCell::Height), row.Cell(RowCell::Frames),
                                       row.Cell(RowCell::Status), Printable(std::string(rows.Name(i)))});
        return cells;
    };
    listing.Fields = [&rows, rowText, pictures, digests, image](JsonWriter& json, std::size_t i) {
        const FoundRow& row = rows[i];
        const ResultRow text = rowText(i);
        json.Key("caption").String(Cp1251ToUtf8(text.Caption));
        json.Key("type").String(Cp1251ToUtf8(text.Cell(RowCell::Type)));
        json.Key("start").Number(row.Start).Key("end");
        if (row.HasEnd())
            json.Number(row.End);
        else
            json.Null();
        json.Key("size").Number(row.Size);
        DigestField(json, digests.get(), i, image, RowRange(row));
        if (pictures)
            PictureFields(json, rows, i, text);
    };
    return listing;
}

Listing ContentRows(const ContentFound& found, const std::vector<std::string>& captions,
                    const std::vector<std::size_t>& rows, bool wav, std::span<const uint8_t> image,
                    std::shared_ptr<RowDigests> digests)
{
    Listing listing;
    listing.Count = rows.size();
    listing.Wav = wav;
    listing.Columns = {"name", "kind", "type", "start", "end", "size", "status", "details", "entry"};
    listing.Cells = [&found, &captions, &rows](std::size_t i) {
        const FoundItem& item = found.Items[rows[i]];
        return std::vector<std::string>{Printable(captions[rows[i]]),  std::string(ContentKindName(KindOf(item.Type))),
                                        Printable(ItemTypeName(item)), std::to_string(item.Start),
                                        std::to_string(item.End),      std::to_string(item.Size()),
                                        ItemStatusName(item.Status),   ContentDetails(item, found, captions),
                                        Printable(item.EntryName)};
    };
    listing.Fields = [&found, &captions, &rows, digests, image](JsonWriter& json, std::size_t i) {
        const FoundItem& item = found.Items[rows[i]];
        json.Key("caption").String(Cp1251ToUtf8(captions[rows[i]]));
        json.Key("kind").String(ContentKindName(KindOf(item.Type)));
        json.Key("type").String(Cp1251ToUtf8(ItemTypeName(item)));
        json.Key("start").Number(item.Start).Key("end").Number(item.End).Key("size").Number(item.Size());
        json.Key("status").String(ItemStatusName(item.Status)).Key("entry");
        if (item.EntryName.empty())
            json.Null();
        else
            json.String(Cp1251ToUtf8(item.EntryName));
        json.Key("trailing").Number(item.Trailing).Key("detail").String(StatusDetail(item));
        DigestField(json, digests.get(), i, image, {item.Start, item.End});
        ContentFields(json, item, found, captions);
    };
    return listing;
}

void PrintListing(std::ostream& out, bool json, const ImageTask& task, std::size_t imageSize, const Listing& listing,
                  const std::optional<ExtractReport>& report)
{
    if (json) {
        PrintJson(out, task, imageSize, listing, report);
        return;
    }
    PrintTable(out, listing.Count + 1, [&listing](std::size_t line) {
        std::vector<std::string> cells;
        if (line == 0) {
            cells = listing.Columns;
            cells.insert(cells.begin(), "#");
        } else {
            cells = listing.Cells(line - 1);
            cells.insert(cells.begin(), std::to_string(line - 1));
        }
        return cells;
    });
    out << listing.Count << (listing.Count == 1 ? " row" : " rows") << '\n';
    if (report) {
        out << "written: " << report->Written.size() << ", failed: " << report->Failed.size();
        if (listing.Wav)
            out << ", sounds without WAV: " << report->NoWav.size();
        out << '\n';
    }
}

void PrintInfo(std::ostream& out, bool json, const ImageTask& task, const THexBuffer& buffer)
{
    const auto facts = ReadFirmwareInfo(buffer.Bytes());
    const std::optional<ImageDigests> digests = DigestImage(buffer.Bytes());
    if (json) {
        JsonWriter writer;
        writer.BeginObject().Key("image").String(task.ShownPath).Key("size").Number(buffer.DataSize());
        writer.Key("info").BeginArray();
        for (const FirmwareFact& fact : facts) {
            writer.BeginObject().Key("caption").String(Cp1251ToUtf8(fact.Caption));
            writer.Key("value").String(Cp1251ToUtf8(fact.Value)).Key("length");
            if (fact.Length)
                writer.Number(*fact.Length);
            else
                writer.Null();
            writer.EndObject();
        }
        writer.EndArray();
        writer.Key("sha256").String(digests->Sha256).Key("md5").String(digests->Md5).EndObject();
        out << writer.Text() << '\n';
        return;
    }
    PrintTable(out, facts.size() + 2, [&facts, &digests](std::size_t i) {
        if (i == facts.size())
            return std::vector<std::string>{"SHA-256", digests->Sha256};
        if (i == facts.size() + 1)
            return std::vector<std::string>{"MD5", digests->Md5};
        return std::vector<std::string>{Cp1251ToUtf8(facts[i].Caption), Printable(ShownFactValue(facts[i]))};
    });
}

}  // namespace kestrix

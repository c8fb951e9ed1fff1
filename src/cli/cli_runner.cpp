#include "cli_runner.h"

#include "batch_runner.h"
#include "code_page.h"
#include "content_list.h"
#include "custom_hex_buffer.h"
#include "exceptions.h"
#include "extraction.h"
#include "firmware_info.h"
#include "json_writer.h"
#include "kestrix_version.h"
#include "list_kind.h"
#include "map_command.h"
#include "picture_check.h"
#include "sound_loader.h"
#include "terminal_text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrix {
namespace {

// Bytes of JSON text gathered before they are written out.
constexpr std::size_t kJsonFlushSize = 1 << 16;

struct CliRequest {
    // The list to print; none for the facts ("info") and the content search.
    std::optional<ListKind> List;
    // "content": every item of the kinds in Kinds (all when empty).
    bool Content = false;
    std::vector<ContentKind> Kinds;
    // content --extract: each sound also as a 16-bit PCM WAV file beside it.
    bool Wav = false;
    std::vector<std::string> Images;  // as given, bytes
    bool Json = false;
    std::optional<std::string> ExtractFolder;
    int Jobs = 1;
    // Every image of the run: no extraction may replace any of them.
    KeptFiles Kept;
};

// One image of a request: its path (bytes, as given) and where its files go.
struct ImageTask {
    std::string ImagePath;
    std::string ShownPath;  // UTF-8 for JSON and tables
    std::optional<std::string> ExtractFolder;
    bool ErrorObject = false;  // a failed load prints {"image", "error"} in JSON
};

struct ExtractReport {
    std::vector<std::pair<int32_t, std::string>> Written;
    std::vector<std::pair<int32_t, std::string>> Failed;
    // Sounds no WAV file was made of, and why (content --wav).
    std::vector<std::pair<int32_t, std::string>> NoWav;
};

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
template <std::size_t N>
void PrintTable(std::ostream& out, std::size_t count,
                const std::function<std::array<std::string, N>(std::size_t)>& lineOf)
{
    std::array<std::size_t, N> widths{};
    for (std::size_t i = 0; i < count; ++i) {
        const auto line = lineOf(i);
        for (std::size_t k = 0; k < N; ++k)
            widths[k] = std::max(widths[k], Columns(line[k]));
    }
    for (std::size_t i = 0; i < count; ++i) {
        const auto line = lineOf(i);
        std::string text;
        for (std::size_t k = 0; k < N; ++k)
            text += k + 1 == N ? line[k] : Padded(line[k], widths[k]) + "  ";
        out << text << '\n';
    }
}

// Writes what json holds so far, so that a long list is never held whole.
void Flush(std::ostream& out, JsonWriter& json)
{
    out << json.TakeText();
}

void PrintInfo(std::ostream& out, const CliRequest& request, const ImageTask& task, const THexBuffer& buffer)
{
    const auto facts = ReadFirmwareInfo(buffer.Bytes());
    if (request.Json) {
        JsonWriter json;
        json.BeginObject().Key("image").String(task.ShownPath).Key("size").Number(buffer.DataSize());
        json.Key("info").BeginArray();
        for (const FirmwareFact& fact : facts) {
            json.BeginObject().Key("caption").String(Cp1251ToUtf8(fact.Caption));
            json.Key("value").String(Cp1251ToUtf8(fact.Value)).Key("length");
            if (fact.Length)
                json.Number(*fact.Length);
            else
                json.Null();
            json.EndObject();
        }
        json.EndArray().EndObject();
        out << json.Text() << '\n';
        return;
    }
    PrintTable<2>(out, facts.size(), [&facts](std::size_t i) {
        return std::array<std::string, 2>{Cp1251ToUtf8(facts[i].Caption), Printable(ShownFactValue(facts[i]))};
    });
}

// Save hooks that list each file written in report and tell each failure on
// err, going on with the next file; files are named subfolder/name (name
// alone while subfolder is empty), subfolder read at each call (it must live
// as long as the hooks).
SaveHooks ReportingHooks(ExtractReport& report, std::ostream& err, const std::string& subfolder)
{
    const auto shown = [&subfolder](const ExtractItem& item) {
        return subfolder.empty() ? item.FileName : subfolder + "/" + item.FileName;
    };
    SaveHooks hooks;
    hooks.Written = [&report, shown](const ExtractItem& item, std::size_t) {
        report.Written.emplace_back(item.Row, shown(item));
    };
    hooks.Failed = [&report, &err, shown](const ExtractItem& item, const std::exception& failure) {
        std::string message = failure.what();
        std::replace(message.begin(), message.end(), '\r', ' ');
        err << "kestrix-cli: row " << item.Row << " (" << TerminalText(shown(item)) << "): " << TerminalText(message)
            << '\n';
        report.Failed.emplace_back(item.Row, message);
        return AfterFailure::GoOn;
    };
    return hooks;
}

// Creates path and the folders above it; false, with the reason told on err
// and kept in why, when it cannot.
bool CreateFolder(const std::string& path, std::ostream& err, std::string& why)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!error)
        return true;
    why = "cannot create the folder " + path + ": " + error.message();
    err << "kestrix-cli: cannot create the folder " << TerminalText(path) << ": " << error.message() << '\n';
    return false;
}

ExtractReport Extract(THexBuffer& buffer, const FoundRows& rows, ListKind list, const std::string& folder,
                      const KeptFiles& images, std::ostream& err)
{
    ExtractReport report;
    static const std::string kNoSubfolder;
    const SaveHooks hooks = ReportingHooks(report, err, kNoSubfolder);
    const auto rangeOf = [&rows](const ExtractItem& item) {
        const FoundRow& row = rows[static_cast<std::size_t>(item.Row)];
        return ItemRange{row.Start, row.End};
    };
    SaveToFolder(buffer, folder, PlanExtraction(list, rows), rangeOf, hooks, images);
    return report;
}

}  // namespace

std::string LoadFailureText(const std::string& path, const LoadFailure& failure, const std::exception& error)
{
    std::string cause;
    switch (failure.Cause) {
    case LoadCause::CannotOpen: cause = SystemErrorText(failure.Error); break;
    case LoadCause::NotAFile:
        if (failure.Error == EISDIR)
            cause = "it is a folder";
        else if (failure.Error == ESPIPE)
            cause = "it is a FIFO, pipe or socket, whose size is not known before it is read; only files and "
                    "block devices can be read";
        else if (failure.Error == ENOTSUP)
            cause = "it is a device other than a block device; only files and block devices can be read";
        else
            cause =
                "its size is not known, as the system cannot seek to its end (" + SystemErrorText(failure.Error) + ")";
        break;
    case LoadCause::TooLarge:
        cause = "it has " + std::to_string(failure.Size) +
                " bytes; images of 2 GiB (2147483648 bytes) or more cannot be read";
        break;
    case LoadCause::ShortRead:
        cause = failure.Error != 0
                    ? "reading it failed: " + SystemErrorText(failure.Error)
                    : "it gave fewer bytes than its size of " + std::to_string(failure.Size) +
                          " bytes: it shrank while it was read, or it is a system file whose size is not its length";
        break;
    case LoadCause::OutOfMemory:
        cause = "there is not enough memory for its " + std::to_string(failure.Size) + " bytes";
        break;
    case LoadCause::None:
    case LoadCause::Cancelled: {
        cause = error.what();
        std::replace(cause.begin(), cause.end(), '\r', ' ');
        std::replace(cause.begin(), cause.end(), '\n', ' ');
        break;
    }
    }
    return "cannot read " + path + ": " + cause;
}

namespace {

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

// The plain table of the deep picture search: the columns of its JSON rows.
void PrintPictureTable(std::ostream& out, const FoundRows& rows, const RowTextFunction& rowText)
{
    PrintTable<11>(out, rows.Count() + 1, [&rows, &rowText](std::size_t line) {
        if (line == 0)
            return std::array<std::string, 11>{"#",     "name",   "type",   "start",  "end",  "size",
                                               "width", "height", "frames", "status", "entry"};
        const ResultRow row = rowText(line - 1);
        return std::array<std::string, 11>{std::to_string(line - 1),
                                           Printable(row.Caption),
                                           row.Cell(RowCell::Type),
                                           row.Cell(RowCell::Start),
                                           row.Cell(RowCell::End),
                                           row.Cell(RowCell::Size),
                                           row.Cell(RowCell::Width),
                                           row.Cell(RowCell::Height),
                                           row.Cell(RowCell::Frames),
                                           row.Cell(RowCell::Status),
                                           Printable(std::string(rows.Name(line - 1)))};
    });
}

void PrintRows(std::ostream& out, const CliRequest& request, const ImageTask& task, const THexBuffer& buffer,
               const FoundRows& rows, const RowTextFunction& rowText, const std::optional<ExtractReport>& report)
{
    if (request.Json) {
        JsonWriter json;
        json.BeginObject().Key("image").String(task.ShownPath).Key("size").Number(buffer.DataSize());
        json.Key("rows").BeginArray();
        for (std::size_t i = 0; i < rows.Count(); ++i) {
            const FoundRow& row = rows[i];
            const ResultRow text = rowText(i);
            json.BeginObject().Key("caption").String(Cp1251ToUtf8(text.Caption));
            json.Key("type").String(Cp1251ToUtf8(text.Cell(RowCell::Type)));
            json.Key("start").Number(row.Start);
            if (row.HasEnd())
                json.Key("end").Number(row.End);
            else
                json.Key("end").Null();
            json.Key("size").Number(row.Size);
            if (request.List == ListKind::Pictures)
                PictureFields(json, rows, i, text);
            json.EndObject();
            if (json.Text().size() >= kJsonFlushSize)
                Flush(out, json);
        }
        json.EndArray();
        if (report)
            ReportFields(json, *report, false);
        json.EndObject();
        Flush(out, json);
        out << '\n';
        return;
    }
    if (request.List == ListKind::Pictures)
        PrintPictureTable(out, rows, rowText);
    else
        PrintTable<6>(out, rows.Count() + 1, [&rowText](std::size_t line) {
            if (line == 0)
                return std::array<std::string, 6>{"#", "name", "type", "start", "end", "size"};
            const ResultRow row = rowText(line - 1);
            return std::array<std::string, 6>{
                std::to_string(line - 1), Printable(row.Caption), Printable(row.Cell(RowCell::Type)),
                row.Cell(RowCell::Start), row.Cell(RowCell::End), row.Cell(RowCell::Size)};
        });
    out << rows.Count() << (rows.Count() == 1 ? " row" : " rows") << '\n';
    if (report)
        out << "written: " << report->Written.size() << ", failed: " << report->Failed.size() << '\n';
}

// What a row of the content search says beyond its range, for its kind.
void ContentFields(JsonWriter& json, const FoundItem& item, const ContentFound& found)
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
    case ContentKind::Application: {
        json.Key("midlet");
        if (item.Midlet < 0) {
            json.Null();
            break;
        }
        const MidletInfo& midlet = found.Midlets[static_cast<std::size_t>(item.Midlet)];
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
        break;
    }
    case ContentKind::File: break;
    }
}

// The details column of the content search's plain table.
std::string ContentDetails(const FoundItem& item, const ContentFound& found)
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
        return TerminalText(midlet.Name) + (midlet.Vendor.empty() ? "" : ", " + TerminalText(midlet.Vendor)) +
               (midlet.Version.empty() ? "" : " " + TerminalText(midlet.Version));
    }
    case ContentKind::File: return {};
    }
    return {};
}

// The bound of the WAV files of one image (content --wav).
constexpr int64_t kWavBytesPerImageByte = 32;
constexpr int64_t kWavFixedBytes = int64_t{64} << 20;

// Saves the listed items into one folder per kind under folder.
ExtractReport ExtractContent(THexBuffer& buffer, const std::vector<FoundItem>& items,
                             const std::vector<std::string>& captions, const std::string& folder,
                             const KeptFiles& images, const SoundPlugin* wavFrom, std::ostream& err)
{
    ExtractReport report;
    std::string kindFolder;
    const SaveHooks hooks = ReportingHooks(report, err, kindFolder);
    const auto rangeOf = [&items](const ExtractItem& item) {
        const FoundItem& found = items[static_cast<std::size_t>(item.Row)];
        return ItemRange{found.Start, found.End};
    };
    for (const ContentKind kind :
         {ContentKind::Picture, ContentKind::Sound, ContentKind::Application, ContentKind::File}) {
        const std::vector<ExtractItem> plan = PlanContentExtraction(items, captions, kind);
        if (plan.empty())
            continue;
        kindFolder = ContentKindFolder(kind);
        const std::string path = folder + "/" + kindFolder;
        std::string why;
        if (!CreateFolder(path, err, why)) {
            for (const ExtractItem& item : plan)
                report.Failed.emplace_back(item.Row, why);
            continue;
        }
        SaveToFolder(buffer, path, plan, rangeOf, hooks, images);
        if (kind == ContentKind::Sound && wavFrom != nullptr) {
            // The WAV files of an image hold at most kWavBytesPerImageByte times
            // its bytes, plus kWavFixedBytes, in all: a sound the bound cannot
            // take is refused before it is decoded.
            int64_t wavLeft = kWavBytesPerImageByte * static_cast<int64_t>(buffer.Bytes().size()) + kWavFixedBytes;
            const WavStreamer toWav = [wavFrom, &wavLeft](ItemType type, std::span<const uint8_t> sound, Stream& out,
                                                          std::string& why) {
                const bool whole = wavFrom->ToWavStream(type, sound.data(), sound.size(), &out, wavLeft, &why);
                if (whole)
                    wavLeft -= out.Position();
                return whole;
            };
            const auto skipped = [&report](const ExtractItem& item, const std::string& why) {
                report.NoWav.emplace_back(item.Row, why);
            };
            StreamSoundsAsWav(buffer, items, PlanWavFiles(plan), path, toWav, hooks, skipped, images);
        }
    }
    return report;
}

void PrintContent(std::ostream& out, const CliRequest& request, const ImageTask& task, const THexBuffer& buffer,
                  const ContentFound& found, const std::vector<FoundItem>& items,
                  const std::vector<std::string>& captions, const std::optional<ExtractReport>& report)
{
    if (request.Json) {
        JsonWriter json;
        json.BeginObject().Key("image").String(task.ShownPath).Key("size").Number(buffer.DataSize());
        json.Key("rows").BeginArray();
        for (std::size_t i = 0; i < items.size(); ++i) {
            const FoundItem& item = items[i];
            json.BeginObject().Key("caption").String(Cp1251ToUtf8(captions[i]));
            json.Key("kind").String(std::string(ContentKindName(KindOf(item.Type))));
            json.Key("type").String(Cp1251ToUtf8(ItemTypeName(item)));
            json.Key("start").Number(item.Start).Key("end").Number(item.End).Key("size").Number(item.Size());
            json.Key("status").String(ItemStatusName(item.Status)).Key("entry");
            if (item.EntryName.empty())
                json.Null();
            else
                json.String(Cp1251ToUtf8(item.EntryName));
            ContentFields(json, item, found);
            json.EndObject();
            if (json.Text().size() >= kJsonFlushSize)
                Flush(out, json);
        }
        json.EndArray();
        if (report)
            ReportFields(json, *report, request.Wav);
        json.EndObject();
        Flush(out, json);
        out << '\n';
        return;
    }
    PrintTable<10>(out, items.size() + 1, [&](std::size_t line) {
        if (line == 0)
            return std::array<std::string, 10>{"#",   "name", "kind",   "type",    "start",
                                               "end", "size", "status", "details", "entry"};
        const FoundItem& item = items[line - 1];
        return std::array<std::string, 10>{std::to_string(line - 1),
                                           Printable(captions[line - 1]),
                                           std::string(ContentKindName(KindOf(item.Type))),
                                           Printable(ItemTypeName(item)),
                                           std::to_string(item.Start),
                                           std::to_string(item.End),
                                           std::to_string(item.Size()),
                                           ItemStatusName(item.Status),
                                           ContentDetails(item, found),
                                           Printable(item.EntryName)};
    });
    out << items.size() << (items.size() == 1 ? " row" : " rows") << '\n';
    if (report) {
        out << "written: " << report->Written.size() << ", failed: " << report->Failed.size();
        if (request.Wav)
            out << ", sounds without WAV: " << report->NoWav.size();
        out << '\n';
    }
}

CliStatus ExecuteContent(const CliRequest& request, const ImageTask& task, THexBuffer& buffer, std::ostream& out,
                         std::ostream& err)
{
    ScanHooks hooks;
    hooks.DecodeCheck = CheckPicture;
    // The sound decoders are loaded only when sounds are asked for.
    const bool sounds = request.Kinds.empty() || std::find(request.Kinds.begin(), request.Kinds.end(),
                                                           ContentKind::Sound) != request.Kinds.end();
    const SoundPlugin* plugin = nullptr;
    SoundDecodeCheck soundCheck;
    if (sounds) {
        std::string why;
        plugin = LoadSoundPlugin(why);
        if (plugin != nullptr)
            soundCheck = [plugin](ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel) {
                return plugin->Check(type, bytes.data(), bytes.size(), &cancel);
            };
        else
            err << "kestrix-cli: sounds are not decoded (" << TerminalText(why) << "); their status is the walk's\n";
    }
    const std::optional<ContentFound> found = FindAllContent(buffer.Bytes(), hooks, soundCheck);
    const std::vector<std::string> allCaptions = ContentCaptions(found->Items);
    // Captions are numbered over all kinds, so that a kind's names do not
    // depend on which other kinds were asked for.
    std::vector<FoundItem> items;
    std::vector<std::string> captions;
    for (std::size_t i = 0; i < found->Items.size(); ++i) {
        const ContentKind kind = KindOf(found->Items[i].Type);
        if (request.Kinds.empty() ||
            std::find(request.Kinds.begin(), request.Kinds.end(), kind) != request.Kinds.end()) {
            items.push_back(found->Items[i]);
            captions.push_back(allCaptions[i]);
        }
    }
    std::optional<ExtractReport> report;
    if (std::string why; task.ExtractFolder) {
        if (!CreateFolder(*task.ExtractFolder, err, why))
            return CliStatus::Failed;
        report = ExtractContent(buffer, items, captions, *task.ExtractFolder, request.Kept,
                                request.Wav ? plugin : nullptr, err);
    }
    PrintContent(out, request, task, buffer, *found, items, captions, report);
    return report && !report->Failed.empty() ? CliStatus::Failed : CliStatus::Ok;
}

CliStatus Execute(const CliRequest& request, const ImageTask& task, std::ostream& out, std::ostream& err)
{
    THexBuffer buffer;
    buffer.ResetToEmpty("Untitled");
    try {
        buffer.LoadFromFile(task.ImagePath);
    } catch (const std::exception& e) {
        const std::string message = LoadFailureText(task.ImagePath, buffer.LastLoadFailure(), e);
        err << "kestrix-cli: " << TerminalText(message) << '\n';
        if (task.ErrorObject && request.Json) {
            JsonWriter json;
            json.BeginObject().Key("image").String(task.ShownPath).Key("error").String(ShownText(message)).EndObject();
            out << json.Text() << '\n';
        }
        return CliStatus::Failed;
    }
    if (request.Content)
        return ExecuteContent(request, task, buffer, out, err);
    if (!request.List) {
        PrintInfo(out, request, task, buffer);
        return CliStatus::Ok;
    }

    const ListTraits& list = TraitsOf(*request.List);
    FoundRows rows;
    ScanHooks hooks;
    hooks.DecodeCheck = CheckPicture;
    if (!list.Scan(buffer, hooks, rows))
        err << "kestrix-cli: the image has " << buffer.DataSize()
            << " bytes; images of 1000 bytes or less are not scanned\n";
    const RowTextFunction rowText = [&rows, &list](std::size_t i) { return list.Text(rows, i); };

    std::optional<ExtractReport> report;
    if (std::string why; task.ExtractFolder) {
        if (!CreateFolder(*task.ExtractFolder, err, why))
            return CliStatus::Failed;
        report = Extract(buffer, rows, list.Kind, *task.ExtractFolder, request.Kept, err);
    }
    PrintRows(out, request, task, buffer, rows, rowText, report);
    return report && !report->Failed.empty() ? CliStatus::Failed : CliStatus::Ok;
}

// Runs the request over its images: one image as a single run, several side by
// side (at most request.jobs at once) with their output in the order given.
CliStatus ExecuteAll(CliRequest& request, std::ostream& out, std::ostream& err)
{
    if (request.ExtractFolder)
        for (const std::string& image : request.Images)
            request.Kept.Add(image);
    const bool several = request.Images.size() > 1;
    const std::vector<std::string> folders = several ? ImageFolderNames(request.Images) : std::vector<std::string>{};
    auto run = [&](std::size_t index, const std::string& image, std::ostream& imageOut, std::ostream& imageErr) {
        ImageTask task{image, ShownText(image), request.ExtractFolder, several};
        if (several && task.ExtractFolder)
            *task.ExtractFolder += "/" + folders[index];
        if (several && !request.Json)
            imageOut << "==> " << TerminalText(image) << " <==\n";
        return static_cast<int>(Execute(request, task, imageOut, imageErr));
    };
    return static_cast<CliStatus>(RunImagesInOrder(request.Images, request.Jobs, run, out, err));
}

std::string Help()
{
    std::string commands;
    for (const ListTraits& list : AllLists()) {
        const std::string usage = std::string(list.Name) + " IMAGE...";
        commands += "  " + usage + std::string(usage.size() < 19 ? 19 - usage.size() : 1, ' ') +
                    std::string(list.Description) + "\n";
    }
    return "Usage: kestrix-cli [options] command image...\n"
           "Reads Motorola flash images (*.bin) and prints what Kestrix finds in them.\n"
           "\n"
           "Commands:\n"
           "  info IMAGE...        the five facts read at fixed offsets\n" +
           commands +
           "  content IMAGE...     every picture, sound, Java application and file of the\n"
           "                       phone, each whole, checked and named\n" +
           std::string(kMapCommandHelp) +
           "\n"
           "Options:\n"
           "  --json               Print one JSON object per image (one per line).\n"
           "  --extract DIR        Lists: also save every listed item into DIR (created when\n"
           "                       missing); with several images each image's items go into\n"
           "                       DIR/<image file name>/.\n"
           "  --kind KIND,...      content: only these kinds (picture, sound, application,\n"
           "                       file); --extract puts each kind in its own folder.\n"
           "  --wav                content --extract: also write each sound as a 16-bit PCM\n"
           "                       WAV file beside it (NAME.wav added to its name).\n"
           "  --jobs N             Read at most N images at once (default: the number of cores).\n"
           "  -h, --help           Show this help.\n"
           "  -v, --version        Show the version.\n"
           "\n"
           "Exit status: 0 success, 1 an image could not be read, a file could not be written\n"
           "or the output could not be written, 2 usage.\n";
}

// Parses the arguments (bytes as the system gave them, arguments[0] the program)
// into request; returns a usage message, empty on success.
std::string ParseArguments(const std::vector<std::string>& arguments, CliRequest& request, bool& help, bool& version)
{
    std::vector<std::string> positional;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnd || argument.size() < 2 || argument[0] != '-') {
            positional.push_back(argument);
            continue;
        }
        std::string name = argument.substr(argument[1] == '-' ? 2 : 1);
        std::optional<std::string> value;
        if (const auto equals = name.find('='); argument[1] == '-' && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
        }
        auto takeValue = [&]() -> std::optional<std::string> {
            if (value)
                return value;
            if (i + 1 < arguments.size())
                return arguments[++i];
            return std::nullopt;
        };
        if (argument == "--") {
            optionsEnd = true;
        } else if (name == "json" && !value) {
            request.Json = true;
        } else if (name == "h" || name == "help") {
            help = true;
        } else if (name == "v" || name == "version") {
            version = true;
        } else if (name == "extract") {
            request.ExtractFolder = takeValue();
            if (!request.ExtractFolder || request.ExtractFolder->empty())
                return "Missing value after '--extract'.";
        } else if (name == "wav" && !value) {
            request.Wav = true;
        } else if (name == "kind") {
            const std::optional<std::string> text = takeValue();
            if (!text || text->empty())
                return "Missing value after '--kind'.";
            std::string_view rest = *text;
            while (!rest.empty()) {
                const std::size_t comma = rest.find(',');
                const std::string_view word = rest.substr(0, comma);
                const std::optional<ContentKind> kind = ContentKindNamed(word);
                if (!kind)
                    return "Unknown kind '" + TerminalText(std::string(word)) +
                           "': use picture, sound, application or file.";
                request.Kinds.push_back(*kind);
                rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            }
        } else if (name == "jobs") {
            const std::optional<std::string> text = takeValue();
            int jobs = 0;
            const char* end = text ? text->data() + text->size() : nullptr;
            if (!text || std::from_chars(text->data(), end, jobs).ptr != end || jobs < 1)
                return "--jobs takes a whole number of at least 1.";
            request.Jobs = jobs;
        } else {
            return "Unknown option '" + TerminalText(name) + "'.";
        }
    }
    if (help || version)
        return {};
    const std::string command = positional.empty() ? std::string() : positional[0];
    const auto named = std::find_if(AllLists().begin(), AllLists().end(),
                                    [&command](const ListTraits& list) { return command == list.Name; });
    if (named != AllLists().end())
        request.List = named->Kind;
    else if (command == "content")
        request.Content = true;
    else if (command != "info")
        return command.empty() ? "missing command" : "unknown command '" + TerminalText(command) + "'";
    if (positional.size() < 2)
        return "missing image";
    if (request.ExtractFolder && !request.List && !request.Content)
        return "--extract goes with a list, not info";
    if (!request.Kinds.empty() && !request.Content)
        return "--kind goes with content";
    if (request.Wav && (!request.Content || !request.ExtractFolder))
        return "--wav goes with content and --extract";
    request.Images.assign(positional.begin() + 1, positional.end());
    return {};
}

}  // namespace

CliStatus RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    if (arguments.size() > 1 && arguments[1] == "map")
        return RunMapCommand(arguments, out, err);
    CliRequest request;
    request.Jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    bool help = false;
    bool version = false;
    const std::string usage = ParseArguments(arguments, request, help, version);
    if (!usage.empty()) {
        err << "kestrix-cli: " << usage << "\nTry 'kestrix-cli --help'.\n";
        return CliStatus::Usage;
    }
    CliStatus status = CliStatus::Ok;
    if (help)
        out << Help();
    else if (version)
        out << "kestrix-cli " << kVersion << '\n';
    else
        status = ExecuteAll(request, out, err);
    out.flush();
    if (!out) {
        err << "kestrix-cli: the output could not be written\n";
        return CliStatus::Failed;
    }
    return status;
}

}  // namespace kestrix

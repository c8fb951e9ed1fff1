#include "cli_runner.h"

#include "code_page.h"
#include "custom_hex_buffer.h"
#include "exceptions.h"
#include "extraction.h"
#include "firmware_info.h"
#include "json_writer.h"
#include "list_kind.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <array>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace kestrix {
namespace {

// Bytes of JSON text gathered before they are written out.
constexpr std::size_t kJsonFlushSize = 1 << 16;

struct CliRequest {
    // The list to print; none for the facts ("info").
    std::optional<ListKind> list;
    std::string imagePath;  // as given
    bool json = false;
    std::optional<std::string> extractFolder;
};

struct ExtractReport {
    std::vector<std::pair<int32_t, std::string>> written;
    std::vector<std::pair<int32_t, std::string>> failed;
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
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<uint8_t>(c) & 0xC0) != 0x80;
    }));
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

void PrintInfo(std::ostream& out, const CliRequest& request, const THexBuffer& buffer)
{
    const auto facts = ReadFirmwareInfo(buffer.Bytes());
    if (request.json) {
        JsonWriter json;
        json.BeginObject().Key("image").String(request.imagePath).Key("size").Number(buffer.DataSize());
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

ExtractReport Extract(THexBuffer& buffer, const FoundRows& rows, ListKind list, const std::string& folder,
                      std::ostream& err)
{
    ExtractReport report;
    for (const ExtractItem& item : PlanExtraction(list, rows)) {
        try {
            const FoundRow& row = rows[static_cast<std::size_t>(item.Row)];
            ExtractToFolder(buffer, folder, item.FileName, {row.Start, row.End});
            report.written.emplace_back(item.Row, item.FileName);
        } catch (const std::exception& e) {
            std::string message = e.what();
            std::replace(message.begin(), message.end(), '\r', ' ');
            err << "kestrix-cli: row " << item.Row << " (" << item.FileName << "): " << message << '\n';
            report.failed.emplace_back(item.Row, message);
        }
    }
    return report;
}

void PrintRows(std::ostream& out, const CliRequest& request, const THexBuffer& buffer, const FoundRows& rows,
               const RowTextFunction& rowText, const std::optional<ExtractReport>& report)
{
    if (request.json) {
        JsonWriter json;
        json.BeginObject().Key("image").String(request.imagePath).Key("size").Number(buffer.DataSize());
        json.Key("rows").BeginArray();
        for (std::size_t i = 0; i < rows.Count(); ++i) {
            const FoundRow& row = rows[i];
            const TResultRow text = rowText(i);
            json.BeginObject().Key("caption").String(Cp1251ToUtf8(text.Caption));
            json.Key("type").String(Cp1251ToUtf8(text.Cell(RowCell::Type)));
            json.Key("start").Number(row.Start);
            if (row.HasEnd())
                json.Key("end").Number(row.End);
            else
                json.Key("end").Null();
            json.Key("size").Number(row.Size);
            json.EndObject();
            if (json.Text().size() >= kJsonFlushSize)
                Flush(out, json);
        }
        json.EndArray();
        if (report) {
            json.Key("written").BeginArray();
            for (const auto& [row, file] : report->written)
                json.BeginObject().Key("row").Number(row).Key("file").String(file).EndObject();
            json.EndArray().Key("failed").BeginArray();
            for (const auto& [row, error] : report->failed)
                json.BeginObject().Key("row").Number(row).Key("error").String(error).EndObject();
            json.EndArray();
        }
        json.EndObject();
        Flush(out, json);
        out << '\n';
        return;
    }
    PrintTable<6>(out, rows.Count() + 1, [&rowText](std::size_t line) {
        if (line == 0)
            return std::array<std::string, 6>{"#", "name", "type", "start", "end", "size"};
        const TResultRow row = rowText(line - 1);
        return std::array<std::string, 6>{std::to_string(line - 1),   Printable(row.Caption),
                                          Printable(row.Cell(RowCell::Type)), row.Cell(RowCell::Start),
                                          row.Cell(RowCell::End),             row.Cell(RowCell::Size)};
    });
    out << rows.Count() << (rows.Count() == 1 ? " row" : " rows") << '\n';
    if (report)
        out << "written: " << report->written.size() << ", failed: " << report->failed.size() << '\n';
}

CliStatus Execute(const CliRequest& request, std::ostream& out, std::ostream& err)
{
    THexBuffer buffer;
    buffer.ResetToEmpty("Untitled");
    try {
        buffer.LoadFromFile(request.imagePath);
    } catch (const std::exception& e) {
        std::string message = e.what();
        message.erase(std::remove(message.begin(), message.end(), '\r'), message.end());
        err << "kestrix-cli: " << message << '\n';
        return CliStatus::Failed;
    }
    if (!request.list) {
        PrintInfo(out, request, buffer);
        return CliStatus::Ok;
    }

    const ListTraits& list = TraitsOf(*request.list);
    FoundRows rows;
    if (!list.Scan(buffer, {}, rows))
        err << "kestrix-cli: the image has " << buffer.DataSize()
            << " bytes; images of 1000 bytes or less are not scanned\n";
    const RowTextFunction rowText = [&rows, &list](std::size_t i) { return list.Text(rows, i); };

    std::optional<ExtractReport> report;
    if (request.extractFolder) {
        if (!QDir().mkpath(QFile::decodeName(request.extractFolder->c_str()))) {
            err << "kestrix-cli: cannot create the folder " << *request.extractFolder << '\n';
            return CliStatus::Failed;
        }
        report = Extract(buffer, rows, list.Kind, *request.extractFolder, err);
    }
    PrintRows(out, request, buffer, rows, rowText, report);
    return report && !report->failed.empty() ? CliStatus::Failed : CliStatus::Ok;
}

}  // namespace

CliStatus RunCli(const QStringList& arguments, std::ostream& out, std::ostream& err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Reads a Motorola flash image (*.bin) and prints what Kestrix finds in it.\n\n"
        "Commands:\n"
        "  info IMAGE        the five facts read at fixed offsets\n"
        "  files IMAGE       the phone file system's entries\n"
        "  graphics IMAGE    GIF pictures and small bitmaps\n\n"
        "Exit status: 0 success, 1 the image could not be read or a file could not be written, 2 usage.");
    parser.addPositionalArgument("command", "info, files or graphics");
    parser.addPositionalArgument("image", "the flash image to read");
    const QCommandLineOption jsonOption("json", "Print one JSON object instead of a table.");
    const QCommandLineOption extractOption(
        "extract", "files, graphics: also save every listed item into DIR (created when missing).", "DIR");
    const QCommandLineOption helpOption({"h", "help"}, "Show this help.");
    const QCommandLineOption versionOption({"v", "version"}, "Show the version.");
    parser.addOptions({jsonOption, extractOption, helpOption, versionOption});

    if (!parser.parse(arguments)) {
        err << "kestrix-cli: " << parser.errorText().toStdString() << "\nTry 'kestrix-cli --help'.\n";
        return CliStatus::Usage;
    }
    if (parser.isSet(helpOption)) {
        out << parser.helpText().replace(QStringLiteral("[options]"), QStringLiteral("[options] command image"))
                   .toStdString();
        return CliStatus::Ok;
    }
    if (parser.isSet(versionOption)) {
        out << "kestrix-cli " << KESTRIX_VERSION << '\n';
        return CliStatus::Ok;
    }

    const QStringList positional = parser.positionalArguments();
    const QString command = positional.value(0);
    CliRequest request;
    const std::string commandName = command.toStdString();
    const auto named = std::find_if(AllLists().begin(), AllLists().end(),
                                    [&commandName](const ListTraits& list) { return commandName == list.Name; });
    if (named != AllLists().end())
        request.list = named->Kind;
    else if (command != QLatin1String("info")) {
        err << (command.isEmpty() ? std::string("kestrix-cli: missing command")
                                  : "kestrix-cli: unknown command '" + command.toStdString() + "'")
            << "\nTry 'kestrix-cli --help'.\n";
        return CliStatus::Usage;
    }
    if (positional.size() != 2) {
        err << "kestrix-cli: " << (positional.size() < 2 ? "missing image" : "too many arguments")
            << "\nTry 'kestrix-cli --help'.\n";
        return CliStatus::Usage;
    }
    if (parser.isSet(extractOption) && !request.list) {
        err << "kestrix-cli: --extract goes with files or graphics\n";
        return CliStatus::Usage;
    }
    request.imagePath = QFile::encodeName(positional[1]).toStdString();
    request.json = parser.isSet(jsonOption);
    if (parser.isSet(extractOption))
        request.extractFolder = QFile::encodeName(parser.value(extractOption)).toStdString();
    try {
        return Execute(request, out, err);
    } catch (const std::bad_alloc&) {
        out.flush();
        err << "kestrix-cli: Out of memory\n";
        return CliStatus::Failed;
    }
}

}  // namespace kestrix

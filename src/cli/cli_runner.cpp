#include "cli_runner.h"

#include "code_page.h"
#include "custom_hex_buffer.h"
#include "exceptions.h"
#include "extraction.h"
#include "file_entry_scan.h"
#include "firmware_info.h"
#include "graphics_scan.h"
#include "batch_runner.h"
#include "json_writer.h"
#include "kestrix_version.h"
#include "terminal_text.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <thread>
#include <optional>
#include <string>
#include <vector>

namespace kestrix {
namespace {

enum class Command { Info, Files, Graphics };

struct CliRequest {
    Command command = Command::Info;
    std::vector<std::string> images;  // as given, bytes
    bool json = false;
    std::optional<std::string> extractFolder;
    int jobs = 1;
};

// One image of a request: its path (bytes, as given) and where its files go.
struct ImageTask {
    std::string imagePath;
    std::string shownPath;  // UTF-8 for JSON and tables
    std::optional<std::string> extractFolder;
    bool errorObject = false;  // a failed load prints {"image", "error"} in JSON
};

struct ExtractReport {
    std::vector<std::pair<int32_t, std::string>> written;
    std::vector<std::pair<int32_t, std::string>> failed;
};

// Image text as printable UTF-8 for the plain tables: control characters are
// shown as \xNN so that the terminal is not driven by the image's bytes.
std::string Printable(const std::string& cp1251)
{
    std::string out;
    for (const char c : cp1251) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F || byte == 0x98) {
            static const char* digits = "0123456789ABCDEF";
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 15];
        } else {
            out += Cp1251ToUtf8(std::string_view(&c, 1));
        }
    }
    return out;
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

void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& lines)
{
    std::vector<std::size_t> widths;
    for (const auto& line : lines)
        for (std::size_t k = 0; k < line.size(); ++k) {
            widths.resize(std::max(widths.size(), line.size()));
            widths[k] = std::max(widths[k], Columns(line[k]));
        }
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t k = 0; k < line.size(); ++k)
            text += k + 1 == line.size() ? line[k] : Padded(line[k], widths[k]) + "  ";
        out << text << '\n';
    }
}

void PrintInfo(std::ostream& out, const CliRequest& request, const ImageTask& task, const THexBuffer& buffer)
{
    const auto rows = ReadFirmwareInfo(buffer);
    if (request.json) {
        JsonWriter json;
        json.BeginObject().Key("image").String(task.shownPath).Key("size").Number(buffer.DataSize());
        json.Key("info").BeginArray();
        for (const TResultRow& row : rows)
            json.BeginObject()
                .Key("caption")
                .String(Cp1251ToUtf8(row.Caption))
                .Key("value")
                .String(Cp1251ToUtf8(row.Cell(0)))
                .EndObject();
        json.EndArray().EndObject();
        out << json.Text() << '\n';
        return;
    }
    std::vector<std::vector<std::string>> lines;
    for (const TResultRow& row : rows)
        lines.push_back({Cp1251ToUtf8(row.Caption), Printable(row.Cell(0))});
    PrintTable(out, lines);
}

ExtractReport Extract(THexBuffer& buffer, const std::vector<TResultRow>& rows, SavePage page,
                       const std::string& folder, std::ostream& err)
{
    ExtractReport report;
    for (const ExtractItem& item : PlanExtraction(page, rows)) {
        try {
            ExtractToFolder(buffer, folder, item);
            report.written.emplace_back(item.Row, item.FileName);
        } catch (const std::exception& e) {
            std::string message = e.what();
            std::replace(message.begin(), message.end(), '\r', ' ');
            err << "kestrix-cli: row " << item.Row << " (" << TerminalText(item.FileName) << "): "
                << TerminalText(message) << '\n';
            report.failed.emplace_back(item.Row, message);
        }
    }
    return report;
}

void PrintRows(std::ostream& out, const CliRequest& request, const ImageTask& task, const THexBuffer& buffer,
               const std::vector<TResultRow>& rows, const std::optional<ExtractReport>& report)
{
    if (request.json) {
        JsonWriter json;
        json.BeginObject().Key("image").String(task.shownPath).Key("size").Number(buffer.DataSize());
        json.Key("rows").BeginArray();
        for (const TResultRow& row : rows) {
            json.BeginObject().Key("caption").String(Cp1251ToUtf8(row.Caption));
            json.Key("type").String(Cp1251ToUtf8(row.Cell(rcType)));
            json.Key("start").NumberText(row.Cell(rcStart));
            json.Key("end").NumberText(row.Cell(rcEnd));
            json.Key("size").NumberText(row.Cell(rcSize));
            json.EndObject();
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
        out << json.Text() << '\n';
        return;
    }
    std::vector<std::vector<std::string>> lines{{"#", "name", "type", "start", "end", "size"}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TResultRow& row = rows[i];
        lines.push_back({std::to_string(i), Printable(row.Caption), Printable(row.Cell(rcType)),
                         row.Cell(rcStart), row.Cell(rcEnd), row.Cell(rcSize)});
    }
    PrintTable(out, lines);
    out << rows.size() << (rows.size() == 1 ? " row" : " rows") << '\n';
    if (report)
        out << "written: " << report->written.size() << ", failed: " << report->failed.size() << '\n';
}

int Execute(const CliRequest& request, const ImageTask& task, std::ostream& out, std::ostream& err)
{
    THexBuffer buffer;
    buffer.ResetToEmpty("Untitled");
    try {
        buffer.LoadFromFile(task.imagePath);
    } catch (const std::exception& e) {
        std::string message = e.what();
        message.erase(std::remove(message.begin(), message.end(), '\r'), message.end());
        err << "kestrix-cli: " << TerminalText(message, true) << '\n';
        if (task.errorObject && request.json) {
            JsonWriter json;
            std::replace(message.begin(), message.end(), '\n', ' ');
            json.BeginObject().Key("image").String(task.shownPath).Key("error").String(ShownText(message)).EndObject();
            out << json.Text() << '\n';
        }
        return csFailed;
    }
    if (request.command == Command::Info) {
        PrintInfo(out, request, task, buffer);
        return csOk;
    }

    const bool files = request.command == Command::Files;
    const auto scanned = files ? ScanFileEntries(buffer, {}) : ScanGraphics(buffer, {});
    if (!scanned)
        err << "kestrix-cli: the image has " << buffer.DataSize()
            << " bytes; images of 1000 bytes or less are not scanned\n";
    const std::vector<TResultRow> rows = scanned.value_or(std::vector<TResultRow>{});

    std::optional<ExtractReport> report;
    if (task.extractFolder) {
        std::error_code error;
        std::filesystem::create_directories(*task.extractFolder, error);
        if (error) {
            err << "kestrix-cli: cannot create the folder " << TerminalText(*task.extractFolder) << ": "
                << error.message() << '\n';
            return csFailed;
        }
        report = Extract(buffer, rows, files ? spFiles : spGraphics, *task.extractFolder, err);
    }
    PrintRows(out, request, task, buffer, rows, report);
    return report && !report->failed.empty() ? csFailed : csOk;
}

// Runs the request over its images: one image as a single run, several side by
// side (at most request.jobs at once) with their output in the order given.
int ExecuteAll(const CliRequest& request, std::ostream& out, std::ostream& err)
{
    const bool several = request.images.size() > 1;
    const std::vector<std::string> folders = several ? ImageFolderNames(request.images) : std::vector<std::string>{};
    auto run = [&](std::size_t index, const std::string& image, std::ostream& imageOut, std::ostream& imageErr) {
        ImageTask task{image, ShownText(image), request.extractFolder, several};
        if (several && task.extractFolder)
            *task.extractFolder += "/" + folders[index];
        if (several && !request.json)
            imageOut << "==> " << TerminalText(image) << " <==\n";
        return Execute(request, task, imageOut, imageErr);
    };
    return RunImagesInOrder(request.images, request.jobs, run, out, err);
}

constexpr const char* kHelp =
    "Usage: kestrix-cli [options] command image...\n"
    "Reads Motorola flash images (*.bin) and prints what Kestrix finds in them.\n"
    "\n"
    "Commands:\n"
    "  info IMAGE...        the five facts read at fixed offsets\n"
    "  files IMAGE...       the phone file system's entries\n"
    "  graphics IMAGE...    GIF pictures and small bitmaps\n"
    "\n"
    "Options:\n"
    "  --json               Print one JSON object per image (one per line).\n"
    "  --extract DIR        files, graphics: also save every listed item into DIR\n"
    "                       (created when missing); with several images each image's\n"
    "                       items go into DIR/<image file name>/.\n"
    "  --jobs N             Read at most N images at once (default: the number of cores).\n"
    "  -h, --help           Show this help.\n"
    "  -v, --version        Show the version.\n"
    "\n"
    "Exit status: 0 success, 1 an image could not be read, a file could not be written\n"
    "or the output could not be written, 2 usage.\n";

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
            request.json = true;
        } else if (name == "h" || name == "help") {
            help = true;
        } else if (name == "v" || name == "version") {
            version = true;
        } else if (name == "extract") {
            request.extractFolder = takeValue();
            if (!request.extractFolder || request.extractFolder->empty())
                return "Missing value after '--extract'.";
        } else if (name == "jobs") {
            const std::optional<std::string> text = takeValue();
            int jobs = 0;
            const char* end = text ? text->data() + text->size() : nullptr;
            if (!text || std::from_chars(text->data(), end, jobs).ptr != end || jobs < 1)
                return "--jobs takes a whole number of at least 1.";
            request.jobs = jobs;
        } else {
            return "Unknown option '" + TerminalText(name) + "'.";
        }
    }
    if (help || version)
        return {};
    const std::string command = positional.empty() ? std::string() : positional[0];
    if (command == "info")
        request.command = Command::Info;
    else if (command == "files")
        request.command = Command::Files;
    else if (command == "graphics")
        request.command = Command::Graphics;
    else
        return command.empty() ? "missing command" : "unknown command '" + TerminalText(command) + "'";
    if (positional.size() < 2)
        return "missing image";
    if (request.extractFolder && request.command == Command::Info)
        return "--extract goes with files or graphics";
    request.images.assign(positional.begin() + 1, positional.end());
    return {};
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    CliRequest request;
    request.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    bool help = false;
    bool version = false;
    const std::string usage = ParseArguments(arguments, request, help, version);
    if (!usage.empty()) {
        err << "kestrix-cli: " << usage << "\nTry 'kestrix-cli --help'.\n";
        return csUsage;
    }
    int status = csOk;
    if (help)
        out << kHelp;
    else if (version)
        out << "kestrix-cli " << kVersion << '\n';
    else
        status = ExecuteAll(request, out, err);
    out.flush();
    if (!out) {
        err << "kestrix-cli: the output could not be written\n";
        return csFailed;
    }
    return status;
}

int RunCli(const QStringList& arguments, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> bytes;
    for (const QString& argument : arguments)
        bytes.push_back(QFile::encodeName(argument).toStdString());
    return RunCli(bytes, out, err);
}

}  // namespace kestrix

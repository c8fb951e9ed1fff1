#include "cli_arguments.h"

#include "content_list.h"
#include "flash_map.h"
#include "terminal_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>

namespace kestrix {
namespace {

constexpr CliOption kOptions[] = {
    {CliOptionId::Json, "json", 0, "", "Print one JSON object per image (one per line).", CliScope::Any, ""},
    {CliOptionId::Kind, "kind", 0, "KIND,...",
     "content: only these kinds (picture, sound, application, file); --extract puts each kind in its own folder.",
     CliScope::Content, "--kind goes with content"},
    {CliOptionId::Extract, "extract", 0, "DIR",
     "Lists: also save every listed item into DIR (created when missing); with several images each image's items "
     "go into DIR/<image file name>/.",
     CliScope::Extracting, "--extract goes with a list, not info"},
    {CliOptionId::Wav, "wav", 0, "",
     "content --extract: also write each sound as a 16-bit PCM WAV file beside it (NAME.wav added to its name).",
     CliScope::ContentExtract, "--wav goes with content and --extract"},
    {CliOptionId::Out, "out", 0, "DIR",
     "report: the folder the report goes into (created when missing); with several images each image's report "
     "goes into DIR/<image file name>/.",
     CliScope::Report, "--out goes with report"},
    {CliOptionId::Png, "png", 0, "FILE", "map: the PNG file the map of the flash goes into.", CliScope::MapNeeded, ""},
    {CliOptionId::Width, "width", 0, "N", "map: the map's width in pixels (default 512, 32 to 4096).", CliScope::Map,
     ""},
    {CliOptionId::Jobs, "jobs", 0, "N", "Read at most N images at once (default: the number of cores).", CliScope::Any,
     ""},
    {CliOptionId::Help, "help", 'h', "", "Show this help.", CliScope::Alone, ""},
    {CliOptionId::Version, "version", 'v', "", "Show the version.", CliScope::Alone, ""},
};

constexpr std::string_view kKindNames[] = {"picture", "sound", "application", "file"};

// The column where --help's descriptions start, and the width it wraps at.
constexpr std::size_t kHelpColumn = 23;
constexpr std::size_t kHelpWidth = 80;

// "  label   text", text wrapped at kHelpWidth with its lines starting at
// kHelpColumn; a label too long for that column has its text on the next line.
std::string HelpEntry(const std::string& label, std::string_view text)
{
    std::string entry = "  " + label;
    entry += entry.size() + 2 <= kHelpColumn ? std::string(kHelpColumn - entry.size(), ' ')
                                             : "\n" + std::string(kHelpColumn, ' ');
    std::size_t column = kHelpColumn;
    bool first = true;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
        if (!first && column + 1 + word.size() > kHelpWidth) {
            entry += "\n" + std::string(kHelpColumn, ' ');
            column = kHelpColumn;
        } else if (!first) {
            entry += ' ';
            ++column;
        }
        entry += word;
        column += word.size();
        first = false;
    }
    return entry + "\n";
}

std::string OptionLabel(const CliOption& option)
{
    std::string label;
    if (option.Short != 0)
        label.append("-").append(1, option.Short).append(", ");
    label.append("--").append(option.Long);
    if (!option.Value.empty())
        label.append(" ").append(option.Value);
    return label;
}

const CliOption* OptionNamed(std::string_view name)
{
    for (const CliOption& option : kOptions)
        if (name == option.Long || (name.size() == 1 && option.Short != 0 && name[0] == option.Short))
            return &option;
    return nullptr;
}

// Whether option goes with command (none: no command, as with --help).
bool Admits(const CliOption& option, const CliCommand& command)
{
    switch (option.Scope) {
    case CliScope::Any: return !command.Map;
    case CliScope::Extracting: return command.List.has_value() || command.Content;
    case CliScope::Content:
    case CliScope::ContentExtract: return command.Content;
    case CliScope::Report: return command.Report;
    case CliScope::MapNeeded:
    case CliScope::Map: return command.Map;
    case CliScope::Alone: return false;
    }
    return false;
}

// Reads --kind's value: kinds separated by commas; empty words between
// commas are passed over, wherever they stand.
std::string ParseKinds(std::string_view text, std::vector<ContentKind>& kinds)
{
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view word = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (word.empty())
            continue;
        const std::optional<ContentKind> kind = ContentKindNamed(word);
        if (!kind)
            return "Unknown kind '" + TerminalText(std::string(word)) + "': use picture, sound, application or file.";
        kinds.push_back(*kind);
    }
    return kinds.empty() ? "Missing value after '--kind'." : std::string();
}

// Reads --jobs's value: a whole number of at least 1; one beyond what an int
// holds asks for as many as there can be, which the runner bounds anyway.
std::string ParseJobs(const std::string& text, int& jobs)
{
    const bool digits =
        !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits)
        return "--jobs takes a whole number of at least 1.";
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (error == std::errc::result_out_of_range)
        jobs = INT_MAX;
    return jobs >= 1 ? std::string() : "--jobs takes a whole number of at least 1.";
}

// Reads --width's value: a whole number from kMinMapWidth to kMaxMapWidth.
std::string ParseWidth(const std::string& text, int32_t& width)
{
    const char* end = text.data() + text.size();
    if (text.empty() || std::from_chars(text.data(), end, width).ptr != end || width < kMinMapWidth ||
        width > kMaxMapWidth)
        return "--width takes a whole number from " + std::to_string(kMinMapWidth) + " to " +
               std::to_string(kMaxMapWidth) + ".";
    return {};
}

// Takes option's value into request; returns a usage message, empty on success.
std::string TakeOption(const CliOption& option, const std::string& value, CliRequest& request, bool& help,
                       bool& version)
{
    switch (option.Id) {
    case CliOptionId::Json: request.Json = true; break;
    case CliOptionId::Wav: request.Wav = true; break;
    case CliOptionId::Help: help = true; break;
    case CliOptionId::Version: version = true; break;
    case CliOptionId::Extract: request.ExtractFolder = value; break;
    case CliOptionId::Out: request.ReportFolder = value; break;
    case CliOptionId::Png: request.MapPng = value; break;
    case CliOptionId::Width: return ParseWidth(value, request.MapWidth);
    case CliOptionId::Kind: return ParseKinds(value, request.Kinds);
    case CliOptionId::Jobs: return ParseJobs(value, request.Jobs);
    }
    return {};
}

// The usage error of the first option given that does not go with command;
// an option with no such error is unknown there.
std::string Misplaced(const CliCommand& command, const CliRequest& request, const std::vector<CliOptionId>& given)
{
    for (const CliOption& option : kOptions) {
        const bool fits =
            Admits(option, command) && (option.Scope != CliScope::ContentExtract || request.ExtractFolder);
        if (fits || std::find(given.begin(), given.end(), option.Id) == given.end())
            continue;
        return option.Misplaced.empty() ? "Unknown option '" + std::string(option.Long) + "'."
                                        : std::string(option.Misplaced);
    }
    return {};
}

// The usage error of a command given too few or too many images, or without
// an option it needs.
std::string Incomplete(const CliCommand& command, const CliRequest& request, std::size_t images)
{
    if (images == 0)
        return "missing image";
    if (command.Map && images > 1)
        return "map takes one image";
    if (command.Map && request.MapPng.empty())
        return "map needs --png FILE";
    if (command.Report && !request.ReportFolder)
        return "report needs --out DIR";
    return {};
}

}  // namespace

std::span<const CliOption> CliOptions() noexcept
{
    return kOptions;
}

std::span<const CliCommand> CliCommands()
{
    static const std::vector<CliCommand> kCommands = [] {
        std::vector<CliCommand> commands{{"info", "the five facts read at fixed offsets", std::nullopt, false}};
        for (const ListTraits& list : AllLists())
            commands.push_back({list.Name, list.Description, list.Kind, false});
        commands.push_back({"content",
                            "every picture, sound, Java application and file of the phone, each whole, checked and "
                            "named",
                            std::nullopt, true});
        commands.push_back({"report",
                            "a report of all content for handing over: the items saved as --extract saves them, "
                            "index.html (a page in Russian with the facts, the image's digests, the map of the flash "
                            "and every item), items.csv and report.xml (DFXML), each item with its SHA-256",
                            std::nullopt, false, true});
        commands.push_back({"map",
                            "draw the map of the flash (what lies where, and the entropy beside it) as a PNG picture "
                            "N pixels wide (default 512, 32 to 4096)",
                            std::nullopt, false, false, true});
        return commands;
    }();
    return kCommands;
}

std::span<const std::string_view> CliKindNames() noexcept
{
    return kKindNames;
}

std::string CliSynopsis(const CliCommand& command)
{
    std::string line = std::string(command.Name) + (command.Map ? " IMAGE" : " IMAGE...");
    for (const CliOption& option : kOptions) {
        if (!Admits(option, command) || option.Scope == CliScope::ContentExtract)
            continue;
        // An option a command needs is written without brackets.
        const bool needed = option.Scope == CliScope::Report || option.Scope == CliScope::MapNeeded;
        line.append(needed ? " --" : " [--").append(option.Long);
        if (!option.Value.empty())
            line.append(" ").append(option.Value);
        // Options that need --extract are written inside its brackets.
        if (option.Id == CliOptionId::Extract)
            for (const CliOption& inner : kOptions)
                if (inner.Scope == CliScope::ContentExtract && Admits(inner, command))
                    line.append(" [--").append(inner.Long).append("]");
        if (!needed)
            line += "]";
    }
    return line;
}

std::string CliCommandLabel(const CliCommand& command)
{
    return command.Map ? CliSynopsis(command) : std::string(command.Name) + " IMAGE...";
}

std::string CliHelp()
{
    std::string text = "Usage: kestrix-cli [options] command image...\n"
                       "Reads Motorola flash images (*.bin) and prints what Kestrix finds in them.\n"
                       "\n"
                       "Commands:\n";
    for (const CliCommand& command : CliCommands())
        text += HelpEntry(CliCommandLabel(command), command.Help);
    text += "\nOptions:\n";
    for (const CliOption& option : kOptions)
        text += HelpEntry(OptionLabel(option), option.Help);
    return text + "\n"
                  "Exit status: 0 success, 1 an image could not be read, a file could not be written\n"
                  "or the output could not be written, 2 usage.\n";
}

std::string ParseArguments(const std::vector<std::string>& arguments, CliRequest& request, bool& help, bool& version)
{
    std::vector<std::string> positional;
    std::vector<CliOptionId> given;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
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
        if (const auto equals = name.find('='); argument[1] == '-' && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
        }
        const CliOption* option = OptionNamed(name);
        if (option == nullptr || (option->Value.empty() && value))
            return "Unknown option '" + TerminalText(name) + "'.";
        if (!option->Value.empty() && !value && i + 1 < arguments.size())
            value = arguments[++i];
        // --jobs and --width say themselves what they take.
        if (!option->Value.empty() && (!value || value->empty()) && option->Id != CliOptionId::Jobs &&
            option->Id != CliOptionId::Width)
            return "Missing value after '--" + std::string(option->Long) + "'.";
        given.push_back(option->Id);
        if (std::string usage = TakeOption(*option, value.value_or(std::string()), request, help, version);
            !usage.empty())
            return usage;
    }
    if (help || version)
        return {};
    const std::string command = positional.empty() ? std::string() : positional[0];
    const auto commands = CliCommands();
    const auto named =
        std::find_if(commands.begin(), commands.end(), [&command](const CliCommand& c) { return command == c.Name; });
    if (named == commands.end())
        return command.empty() ? "missing command" : "unknown command '" + TerminalText(command) + "'";
    request.List = named->List;
    request.Content = named->Content;
    request.Report = named->Report;
    request.Map = named->Map;
    if (positional.size() < 2)
        return "missing image";
    if (std::string usage = Misplaced(*named, request, given); !usage.empty())
        return usage;
    if (std::string usage = Incomplete(*named, request, positional.size() - 1); !usage.empty())
        return usage;
    request.Images.assign(positional.begin() + 1, positional.end());
    return {};
}

}  // namespace kestrix

#pragma once

#include "cli_request.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

// The options of kestrix-cli.
enum class CliOptionId : uint8_t { Json, Kind, Extract, Wav, Out, Png, Width, Jobs, Help, Version };

// Which commands an option goes with.
enum class CliScope : uint8_t {
    Any,             // every command but map
    Extracting,      // the lists and content, not info
    Content,         // content only
    ContentExtract,  // content with --extract
    Report,          // report only, and needed there
    MapNeeded,       // map only, and needed there
    Map,             // map only
    Alone,           // instead of a command (--help, --version)
};

// One row of the table of options: what the parser reads, what --help, the
// manual pages and the shell's completion show.
struct CliOption {
    CliOptionId Id;
    std::string_view Long;   // "json" for --json
    char Short;              // 'h' for -h; 0 for none
    std::string_view Value;  // the value's name ("DIR"); empty for a flag
    std::string_view Help;   // one paragraph
    CliScope Scope;
    // The usage error for an option given where it does not go.
    std::string_view Misplaced;
};

// One command of kestrix-cli.
struct CliCommand {
    std::string_view Name;  // "info", "files", ...
    std::string_view Help;  // one paragraph
    std::optional<ListKind> List;
    bool Content = false;
    bool Report = false;
    // "map": one image, drawn as a PNG picture.
    bool Map = false;
};

// The table of options, in the order --help shows them.
std::span<const CliOption> CliOptions() noexcept;
// Every command, in the order --help shows them: info, the lists, content,
// report, map.
std::span<const CliCommand> CliCommands();
// The values --kind takes.
std::span<const std::string_view> CliKindNames() noexcept;

// A command's usage line without the program: "files IMAGE... [--json]
// [--extract DIR] [--jobs N]", its options from the table.
std::string CliSynopsis(const CliCommand& command);

// How --help and the manual pages name a command: "files IMAGE..."; map,
// whose options are needed to use it, with them: "map IMAGE --png FILE
// [--width N]".
std::string CliCommandLabel(const CliCommand& command);

// The text of --help, from the tables.
std::string CliHelp();

// Parses the arguments (bytes as the system gave them, arguments[0] the
// program) into request; returns a usage message, empty on success. help and
// version are set when asked for; then no command is needed.
std::string ParseArguments(const std::vector<std::string>& arguments, CliRequest& request, bool& help, bool& version);

}  // namespace kestrix

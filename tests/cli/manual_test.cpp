#include "cli_arguments.h"
#include "cli_manual.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace kestrix {
namespace {

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The words that follow "kestrix-cli " in text: its commands and options.
std::set<std::string> CommandsNamed(const std::string& text)
{
    std::set<std::string> words;
    const std::regex named(R"(kestrix-cli (--?[a-z]+|[a-z]+))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), named); it != std::sregex_iterator(); ++it)
        words.insert((*it)[1].str());
    return words;
}

// The Russian guide that is installed and the English README name the same
// commands, among them every command of the table.
TEST(Guides, BothReadmesNameTheCommandsOfTheTable)
{
    const std::set<std::string> english = CommandsNamed(FileText(KESTRIX_SOURCE_DIR "/README.md"));
    const std::set<std::string> russian = CommandsNamed(FileText(KESTRIX_SOURCE_DIR "/README.ru"));
    EXPECT_EQ(russian, english);
    for (const CliCommand& command : CliCommands())
        EXPECT_TRUE(english.contains(std::string(command.Name))) << command.Name;
}

// The manual pages are made from the table: every command and option, in
// roff's spelling of hyphens.
TEST(Manuals, NameEveryCommandAndOptionOfTheTable)
{
    const std::string cli = CliManualPage("9.9");
    const std::string window = WindowManualPage("9.9");
    EXPECT_EQ(cli.rfind(".TH kestrix\\-cli 1 ", 0), 0u);
    EXPECT_EQ(window.rfind(".TH kestrix 1 ", 0), 0u);
    for (const CliCommand& command : CliCommands()) {
        EXPECT_NE(cli.find(".TP\n\\fB" + std::string(command.Name) + "\\fR"), std::string::npos) << command.Name;
        EXPECT_NE(window.find(".TP\n\\fB" + std::string(command.Name) + "\\fR"), std::string::npos) << command.Name;
    }
    for (const CliOption& option : CliOptions())
        EXPECT_NE(cli.find("\\fB\\-\\-" + std::string(option.Long) + "\\fR"), std::string::npos) << option.Long;
    EXPECT_NE(cli.find("content IMAGE... [\\-\\-json] [\\-\\-kind KIND,...] [\\-\\-extract DIR [\\-\\-wav]]"),
              std::string::npos);
    EXPECT_EQ(cli.find("\n."), cli.find("\n.SH NAME")) << "no text line starts with a roff request by chance";
}

// The completion script, run by bash, completes commands, options, --kind's
// values after commas, folders after --extract and *.bin images.
TEST(Completion, CompletesCommandsOptionsKindsFoldersAndImages)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string script = folder + "/kestrix-cli.bash";
    std::ofstream(script) << BashCompletion();
    std::ofstream(folder + "/dump.bin") << "x";
    std::ofstream(folder + "/notes.txt") << "x";
    std::ofstream(folder + "/DUMP2.BIN") << "x";
    const struct {
        const char* words;
        const char* replies;
    } cases[] = {
        {"kestrix-cli c", "content"},
        {"kestrix-cli ", "info files graphics pictures content report map"},
        {"kestrix-cli map x.bin --png n", "notes.txt"},
        {"kestrix-cli map x.bin --wi", "--width"},
        {"kestrix-cli content --j", "--json --jobs"},
        {"kestrix-cli content x.bin --kind so", "sound"},
        {"kestrix-cli content x.bin --kind picture,a", "picture,application"},
        {"kestrix-cli content x.bin --jobs ", ""},
        {"kestrix-cli files ", "DUMP2.BIN dump.bin sub"},
        {"kestrix-cli files d", "dump.bin"},
        {"kestrix-cli --json files n", ""},
        {"kestrix-cli files x.bin --extract s", "sub"},
        {"kestrix-cli report x.bin --out s", "sub"},
    };
    std::filesystem::create_directory(folder + "/sub");
    for (const auto& c : cases) {
        const std::string command = "cd '" + folder + "' && bash -c 'source kestrix-cli.bash; COMP_WORDS=(" + c.words +
                                    (std::string(c.words).ends_with(" ") ? "\"\"" : "") +
                                    "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _kestrix_cli; "
                                    "printf \"%s\\n\" \"${COMPREPLY[@]}\" | sort | tr \"\\n\" \" \"' 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buffer[256];
        while (const std::size_t n = std::fread(buffer, 1, sizeof(buffer), pipe))
            out.append(buffer, n);
        ::pclose(pipe);
        std::set<std::string> got;
        std::istringstream words(out);
        for (std::string word; words >> word;)
            got.insert(word);
        std::set<std::string> expected;
        std::istringstream wanted(c.replies);
        for (std::string word; wanted >> word;)
            expected.insert(word);
        EXPECT_EQ(got, expected) << c.words << ": " << out;
    }
}

}  // namespace
}  // namespace kestrix

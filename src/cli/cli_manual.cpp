#include "cli_manual.h"

#include "cli_arguments.h"

namespace kestrix {
namespace {

// Text as roff shows it literally: backslashes and hyphens escaped, and a line
// that would start with a control character guarded.
std::string Roff(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        if (c == '\n')
            out += "\\&";
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\''))
        out.insert(0, "\\&");
    return out;
}

std::string Header(std::string_view name, std::string_view version)
{
    return ".TH " + Roff(std::string(name)) + " 1 \"\" \"Kestrix " + Roff(version) + "\" \"User Commands\"\n";
}

std::string OptionTag(const CliOption& option)
{
    std::string tag;
    if (option.Short != 0)
        tag.append("\\fB\\-").append(1, option.Short).append("\\fR, ");
    tag.append("\\fB\\-\\-").append(Roff(option.Long)).append("\\fR");
    if (!option.Value.empty())
        tag.append(" \\fI").append(Roff(option.Value)).append("\\fR");
    return tag;
}

std::string CommandsSection()
{
    std::string text;
    for (const CliCommand& command : CliCommands()) {
        const std::string label = CliCommandLabel(command);
        const std::string rest = label.substr(label.find(' ') + 1);
        text += ".TP\n\\fB" + Roff(command.Name) + "\\fR " +
                (rest == "IMAGE..." ? std::string("\\fIIMAGE\\fR...") : Roff(rest)) + "\n" + Roff(command.Help) + ".\n";
    }
    return text;
}

std::string Words(std::string_view prefix, const auto& names)
{
    std::string words;
    for (const auto& name : names)
        words.append(words.empty() ? "" : " ").append(prefix).append(name);
    return words;
}

}  // namespace

std::string CliManualPage(std::string_view version)
{
    std::string page = Header("kestrix-cli", version);
    page += ".SH NAME\nkestrix\\-cli \\- take apart Motorola phone flash images from the command line\n";
    page += ".SH SYNOPSIS\n";
    for (const CliCommand& command : CliCommands())
        page += ".B kestrix\\-cli\n" + Roff(CliSynopsis(command)) + "\n.br\n";
    page += ".B kestrix\\-cli\n\\-\\-help | \\-\\-version\n";
    page += ".SH DESCRIPTION\n"
            "Reads Motorola flash images (*.bin) whole, never changing them, and prints what Kestrix finds in "
            "them: the firmware facts, the phone's file-system entries, pictures, sounds, Java applications and "
            "files, as tables or as one JSON object per image.\n"
            "With \\fB\\-\\-extract\\fR it saves what it lists, each file written whole or not at all, under names "
            "made safe; no image of the run is ever replaced. \\fBreport\\fR writes what a person hands over: the "
            "items, a page, CSV and DFXML, with the SHA-256 of each item and of the image.\n";
    page += ".SH COMMANDS\n" + CommandsSection();
    page += ".SH OPTIONS\n";
    for (const CliOption& option : CliOptions())
        page += ".TP\n" + OptionTag(option) + "\n" + Roff(option.Help) + "\n";
    page += ".SH EXIT STATUS\n"
            ".TP\n0\nSuccess.\n"
            ".TP\n1\nAn image could not be read, a file could not be written, or the output could not be "
            "written.\n"
            ".TP\n2\nA usage error.\n";
    page += ".SH EXAMPLES\n.nf\nkestrix\\-cli content dump.bin \\-\\-json \\-\\-extract out\n"
            "kestrix\\-cli files dumps/*.bin \\-\\-json \\-\\-jobs 4 > files.jsonl\n.fi\n";
    page += ".SH SEE ALSO\n.BR kestrix (1)\n";
    return page;
}

std::string WindowManualPage(std::string_view version)
{
    std::string page = Header("kestrix", version);
    page += ".SH NAME\nkestrix \\- take apart Motorola phone flash images in a window\n";
    page += ".SH SYNOPSIS\n.B kestrix\n[\\fIIMAGE\\fR]\n";
    page += ".SH DESCRIPTION\n"
            "The desktop window of Kestrix (its interface is in Russian). It opens a flash image (*.bin), given "
            "on the command line, dropped on the window or chosen with Ctrl+O, shows its five firmware facts, and "
            "searches it for the phone's files (F5), its pictures (F6, F7) and all its content (F8): pictures, "
            "sounds, which it plays, Java applications and files. Found items are saved with Ctrl+S and "
            "Ctrl+Shift+S, opened with a double click, or dragged to a file manager.\n"
            "The installed guide, in Russian, opens from the about page.\n";
    page += ".SH COMMAND LINE\nThe same searches run without a display in \\fBkestrix\\-cli\\fR:\n" + CommandsSection();
    page += ".SH FILES\n.TP\n~/.cache/Kestrix\nScratch copies of items opened or dragged out.\n";
    page += ".SH SEE ALSO\n.BR kestrix\\-cli (1)\n";
    return page;
}

std::string BashCompletion()
{
    std::string commands;
    for (const CliCommand& command : CliCommands())
        commands.append(commands.empty() ? "" : " ").append(command.Name);
    std::string options;
    std::string valued;
    std::string folders;
    std::string files;
    for (const CliOption& option : CliOptions()) {
        if (option.Value == "DIR")
            folders.append(folders.empty() ? "" : "|").append("--").append(option.Long);
        if (option.Value == "FILE")
            files.append(files.empty() ? "" : "|").append("--").append(option.Long);
        options.append(options.empty() ? "" : " ").append("--").append(option.Long);
        if (!option.Value.empty())
            valued.append(valued.empty() ? "" : "|").append("--").append(option.Long);
    }
    const std::string kinds = Words("", CliKindNames());
    return "# bash completion for kestrix-cli and kestrix\n"
           "_kestrix_cli()\n"
           "{\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} i command=\n"
           "    case $prev in\n"
           "    " +
           folders +
           ") compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n"
           "    " +
           files +
           ") compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
           "    --kind) COMPREPLY=($(compgen -P \"${cur%\"${cur##*,}\"}\" -W \"" +
           kinds +
           "\" -- \"${cur##*,}\")); return ;;\n"
           "    " +
           valued +
           ") COMPREPLY=(); return ;;\n"
           "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"" +
           options +
           "\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        case ${COMP_WORDS[i]} in\n"
           "        -*) ;;\n"
           "        *) case ${COMP_WORDS[i-1]} in " +
           valued +
           ") ;; *) command=${COMP_WORDS[i]}; break ;; esac ;;\n"
           "        esac\n"
           "    done\n"
           "    if [[ -z $command ]]; then\n"
           "        COMPREPLY=($(compgen -W \"" +
           commands +
           "\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    compopt -o filenames 2>/dev/null\n"
           "    COMPREPLY=($(compgen -f -X '!*.[bB][iI][nN]' -- \"$cur\") $(compgen -d -- \"$cur\"))\n"
           "}\n"
           "complete -F _kestrix_cli kestrix-cli\n"
           "complete -o filenames -o plusdirs -f -X '!*.[bB][iI][nN]' kestrix\n";
}

}  // namespace kestrix

// Writes the manual pages of kestrix-cli and kestrix and the bash completion
// script, all made from the command line's table of commands and options:
//   kestrix-make-manuals FOLDER
// writes FOLDER/kestrix-cli.1, FOLDER/kestrix.1 and FOLDER/kestrix-cli.bash.
#include "cli_manual.h"
#include "kestrix_version.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool WriteText(std::string path, const std::string& name, const std::string& text)
{
    path.append("/").append(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        std::fprintf(stderr, "kestrix-make-manuals: cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrix-make-manuals FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const bool written = WriteText(folder, "kestrix-cli.1", kestrix::CliManualPage(kestrix::kVersion)) &&
                         WriteText(folder, "kestrix.1", kestrix::WindowManualPage(kestrix::kVersion)) &&
                         WriteText(folder, "kestrix-cli.bash", kestrix::BashCompletion());
    return written ? 0 : 1;
}

#pragma once

#include <string>
#include <string_view>

namespace kestrix {

// The manual page of kestrix-cli (roff, section 1) for version: its synopsis,
// commands and options made from the tables of the argument parser, so that
// the page and --help cannot disagree.
std::string CliManualPage(std::string_view version);

// The manual page of the window, kestrix (roff, section 1), naming the
// command line's commands from the same table.
std::string WindowManualPage(std::string_view version);

// A bash completion script for kestrix-cli and kestrix from the same tables:
// commands, options, the values of --kind (also after a comma), folders after
// --extract, and *.bin files (and folders) for images.
std::string BashCompletion();

}  // namespace kestrix

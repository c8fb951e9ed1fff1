#pragma once

#include "cli_runner.h"

#include <ostream>
#include <string>
#include <vector>

namespace kestrix {

// The command line's help lines for "map".
extern const char* const kMapCommandHelp;

// Runs "kestrix-cli map IMAGE --png FILE [--width N]" (arguments[0] the
// program, arguments[1] "map"): finds the image's content and facts and writes
// the map of the flash as a PNG picture N pixels wide (default 512), whole or
// not at all and never over the image. One line on out tells what was
// written; usage errors are CliStatus::Usage, a read or write failure Failed.
CliStatus RunMapCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace kestrix

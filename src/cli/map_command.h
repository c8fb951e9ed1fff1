#pragma once

#include "cli_request.h"
#include "cli_runner.h"

#include <ostream>

namespace kestrix {

// Runs "kestrix-cli map IMAGE --png FILE [--width N]" (request.Map, parsed by
// ParseArguments: one image, MapPng and MapWidth): finds the image's content and facts and writes
// the map of the flash as a PNG picture N pixels wide (default 512), whole or
// not at all and never over the image. One line on out tells what was
// written; usage errors are CliStatus::Usage, a read or write failure Failed.
CliStatus RunMapCommand(const CliRequest& request, std::ostream& out, std::ostream& err);

}  // namespace kestrix

#pragma once

#include "custom_hex_buffer.h"

#include <exception>
#include <ostream>
#include <string>
#include <vector>

namespace kestrix {

// Exit statuses of kestrix-cli.
enum class CliStatus : int { Ok = 0, Failed = 1, Usage = 2 };

// Why an image could not be read, naming it: "cannot read PATH: cause" (bytes
// as given; the caller makes them safe for where they go).
std::string LoadFailureText(const std::string& path, const LoadFailure& failure, const std::exception& error);

// Runs kestrix-cli with its arguments, bytes as the system gave them (arguments[0]
// is the program name):
//   info IMAGE... [--json] [--jobs N]
//   LIST IMAGE... [--json] [--extract DIR] [--jobs N]   (LIST: files, graphics, pictures)
//   content IMAGE... [--json] [--kind KIND,...] [--extract DIR [--wav]] [--jobs N]
//   report IMAGE... --out DIR [--json] [--jobs N]     (see report_writer.h)
//   map IMAGE --png FILE [--width N]                   (see map_command.h)
// Results go to out, messages to err. An output that could not be written is
// CliStatus::Failed.
CliStatus RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace kestrix

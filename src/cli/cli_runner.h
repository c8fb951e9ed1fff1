#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kestrix {

// Exit statuses of kestrix-cli.
enum class CliStatus : int { Ok = 0, Failed = 1, Usage = 2 };

// Runs kestrix-cli with its arguments, bytes as the system gave them (arguments[0]
// is the program name):
//   info IMAGE... [--json] [--jobs N]
//   LIST IMAGE... [--json] [--extract DIR] [--jobs N]   (LIST: files, graphics, pictures)
//   content IMAGE... [--json] [--kind KIND,...] [--extract DIR [--wav]] [--jobs N]
// Results go to out, messages to err. An output that could not be written is
// CliStatus::Failed.
CliStatus RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace kestrix

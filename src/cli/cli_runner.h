#pragma once

#include <QStringList>

#include <ostream>

namespace kestrix {

// Exit statuses of kestrix-cli.
enum class CliStatus : int { Ok = 0, Failed = 1, Usage = 2 };

// Runs kestrix-cli with its arguments (arguments[0] is the program name):
//   info IMAGE [--json]
//   files IMAGE [--json] [--extract DIR]
//   graphics IMAGE [--json] [--extract DIR]
// Results go to out, messages to err.
CliStatus RunCli(const QStringList& arguments, std::ostream& out, std::ostream& err);

}  // namespace kestrix

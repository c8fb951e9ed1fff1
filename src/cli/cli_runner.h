#pragma once

#include <QStringList>

#include <ostream>
#include <string>
#include <vector>

namespace kestrix {

// Exit statuses of kestrix-cli.
enum CliStatus : int { csOk = 0, csFailed = 1, csUsage = 2 };

// Runs kestrix-cli with its arguments, bytes as the system gave them (arguments[0]
// is the program name):
//   info IMAGE... [--json] [--jobs N]
//   files IMAGE... [--json] [--extract DIR] [--jobs N]
//   graphics IMAGE... [--json] [--extract DIR] [--jobs N]
// Results go to out, messages to err. Returns a CliStatus; an output that could
// not be written is csFailed.
int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
// The same with arguments as text, encoded as file names (for tests).
int RunCli(const QStringList& arguments, std::ostream& out, std::ostream& err);

}  // namespace kestrix

#include "atomic_file.h"
#include "cli_runner.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

namespace {

// A closed standard stream is held open on /dev/null, so that no file the program
// opens later takes its number and receives its text. Returns whether fd was closed.
bool HoldClosedStream(int fd)
{
    if (fcntl(fd, F_GETFD) != -1)
        return false;
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null != -1 && null != fd) {
        dup2(null, fd);
        close(null);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    HoldClosedStream(STDIN_FILENO);
    const bool outputClosed = HoldClosedStream(STDOUT_FILENO);
    HoldClosedStream(STDERR_FILENO);
    // A file-size limit then fails the write (and the row) instead of killing the
    // program, and a closed pipe fails the output, which ends with status 1.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    kestrix::InstallInterruptCleanup();
    std::ios::sync_with_stdio(false);
    if (outputClosed)
        std::cout.setstate(std::ios::badbit);
    // File names are bytes: the arguments are taken as the system gave them.
    const std::vector<std::string> arguments(argv, argv + argc);
    return static_cast<int>(kestrix::RunCli(arguments, std::cout, std::cerr));
}

#include "cli_runner.h"

#include <QCoreApplication>

#include <csignal>
#include <iostream>

int main(int argc, char** argv)
{
    // A file-size limit then fails the write (and the row) instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrix-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIX_VERSION));
    std::ios::sync_with_stdio(false);
    const auto status = static_cast<int>(kestrix::RunCli(QCoreApplication::arguments(), std::cout, std::cerr));
    std::cout.flush();
    return status;
}

// The program entry: one main window and its event loop.
#include "atomic_file.h"
#include "form1.h"

#include <QApplication>

#include <csignal>

int main(int argc, char** argv)
{
    // A write past the file-size limit then fails with an error message
    // instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    kestrix::InstallInterruptCleanup();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrix"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrix"));

    kestrix::TForm1 form;
    form.show();
    return QApplication::exec();
}

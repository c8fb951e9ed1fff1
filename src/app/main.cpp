// The program entry: one main window and its event loop.
#include "atomic_file.h"
#include "command_line.h"
#include "form1.h"
#include "kestrix_version.h"
#include "qt_translations.h"

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
    QApplication::setApplicationVersion(QString::fromLatin1(kestrix::kShortVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kestrix.Kestrix"));
    kestrix::InstallQtTranslations(app);
    const QString image = kestrix::ImageArgument(QApplication::arguments());
    const QByteArray imagePath = image.isEmpty() ? QByteArray() : kestrix::ImageArgumentBytes(image, argc, argv);

    kestrix::TForm1 form;
    form.show();
    if (!image.isEmpty()) {
        // Opened from the running event loop, so that the window is on screen
        // before a possible error box.
        QMetaObject::invokeMethod(
            &form, [&form, imagePath] { form.OpenLocalFile(imagePath); }, Qt::QueuedConnection);
    }
    return QApplication::exec();
}

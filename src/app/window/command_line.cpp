#include "command_line.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kestrix {

QString ImageArgument(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kestrix: разбор образов прошивки телефонов Motorola."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("образ"),
                                 QStringLiteral("образ прошивки (*.bin), открываемый при запуске"),
                                 QStringLiteral("[образ]"));
    parser.process(arguments);
    const QStringList images = parser.positionalArguments();
    if (images.size() > 1)
        parser.showHelp(1);
    if (images.isEmpty() || images.front().isEmpty())
        return {};
    return QFileInfo(images.front()).absoluteFilePath();
}

QByteArray ImageArgumentBytes(const QString& image, int argc, const char* const* argv)
{
    for (int i = argc - 1; i >= 1; --i) {
        const QByteArray argument(argv[i]);
        if (QFileInfo(QFile::decodeName(argument)).absoluteFilePath() != image)
            continue;
        return argument.startsWith('/') ? argument : QFile::encodeName(QDir::currentPath()) + '/' + argument;
    }
    return QFile::encodeName(image);
}

}  // namespace kestrix

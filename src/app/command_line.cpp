#include "command_line.h"

#include <QCommandLineParser>
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

}  // namespace kestrix

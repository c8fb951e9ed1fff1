#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kestrix {

// The image named on the window's command line, "kestrix [IMAGE]", made
// absolute; an empty text when none is named. --help and --version print
// their text and end the program; an unknown option prints the error and
// ends it with status 1, more than one image prints the help and ends it with
// status 1. A running QCoreApplication is required.
QString ImageArgument(const QStringList& arguments);

// The bytes of the program's argument that ImageArgument read as image, made
// absolute: Qt's texts lose a name that is not UTF-8, the bytes keep it.
QByteArray ImageArgumentBytes(const QString& image, int argc, const char* const* argv);

}  // namespace kestrix

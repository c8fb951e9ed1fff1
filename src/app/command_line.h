#pragma once

#include <QString>
#include <QStringList>

namespace kestrix {

// The image named on the window's command line, "kestrix [IMAGE]", made
// absolute; an empty text when none is named. --help and --version print
// their text and end the program; an unknown option prints the error and
// ends it with status 1, more than one image prints the help and ends it with
// status 1. A running QCoreApplication is required.
QString ImageArgument(const QStringList& arguments);

}  // namespace kestrix

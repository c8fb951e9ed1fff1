#pragma once

#include <QStringList>
#include <QUrl>

namespace kestrix {

// Where the user guide may be, best first: the README page installed with
// the program (share/doc/Kestrix/README.html beside its bin folder, which
// the build folder mirrors), then the README of the source tree it was built
// from.
QStringList UserGuideCandidates();

// The first candidate that exists as a local file URL; the last one when none does.
QUrl UserGuideUrl();

}  // namespace kestrix

#pragma once

#include <QStringList>
#include <QUrl>

namespace kestrix {

// Where the user guide may be on this machine, best first: the README page
// installed with the program (share/doc/Kestrix/README.html beside its bin
// folder, which the build folder mirrors), then doc/Kestrix/README.html in each
// of the system's shared data folders (XDG_DATA_HOME, XDG_DATA_DIRS).
QStringList UserGuideCandidates();

// The first of candidates that is a file, as a local file URL; an empty URL
// when none is.
QUrl UserGuideUrl(const QStringList& candidates);
// The same over UserGuideCandidates().
QUrl UserGuideUrl();

}  // namespace kestrix

#pragma once

#include "firmware_info.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>

#include <string>

namespace kestrix {

// A fact's value as the window shows it (Windows-1251 bytes): the value kept,
// followed by "… (N байт)" (the count agreeing with N) when the whole value is
// longer. The command line keeps its own "… (N bytes)" (ShownFactValue).
std::string WindowFactValue(const FirmwareFact& fact);

// text broken into lines of at most lineLength characters, so a tooltip of a
// long cell stays inside the screen; lines already shorter are kept as they are.
QString WrappedToolTip(const QString& text, int lineLength = 100);

// An offset as our lists show it: decimal, or with hex "0x1A2B".
QString OffsetText(int64_t offset, bool hex);

// n with its digits grouped by threes, as Russian writes counts: "1 903 299"
// (no-break spaces).
QString GroupedNumber(int64_t n);

// text with its control characters (C0 and DEL) shown as their Unicode
// pictures ("␊" for a newline), so that a file name is drawn on one line.
QString VisibleText(const QString& text);

// A local path (bytes, as the system names the file) as the window shows it:
// each part that is UTF-8 as such, any other part read as Windows-1251 (the
// names of these phones' users' older disks).
QString ShownPath(const QByteArray& localPath);

// The local path (bytes) of a file URL, with the bytes of a name that is not
// UTF-8 kept, where QUrl::toLocalFile would lose them.
QByteArray LocalPathOfUrl(const QUrl& url);

// message in Russian when it is one of our own failures that the window
// shows in its error box (the settings file cannot be read or is damaged, a
// save would replace the open image); any other message, the fixed English
// ones of the original program among them, unchanged.
QString OwnErrorInRussian(const QString& message);

}  // namespace kestrix

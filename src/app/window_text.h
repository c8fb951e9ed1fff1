#pragma once

#include "firmware_info.h"

#include <QString>

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

}  // namespace kestrix

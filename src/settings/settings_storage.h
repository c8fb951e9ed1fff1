#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace kestrix {

// One place where named text settings live, grouped in sections.
class SettingsStorage {
public:
    virtual ~SettingsStorage() = default;

    // True when the section exists and holds a value named ident (letter case ignored).
    virtual bool ValueExists(const QString& section, const QString& ident) = 0;
    // The stored text, or defaultValue when the section or the value is missing.
    virtual QString ReadString(const QString& section, const QString& ident, const QString& defaultValue) = 0;
    // Stores value under ident in section, creating the section when missing.
    virtual void WriteString(const QString& section, const QString& ident, const QString& value) = 0;
    // Stores each (ident, value) of values in section as WriteString does; a
    // storage may write them all at once.
    virtual void WriteStrings(const QString& section, const QList<QPair<QString, QString>>& values)
    {
        for (const auto& [ident, value] : values)
            WriteString(section, ident, value);
    }
};

}  // namespace kestrix

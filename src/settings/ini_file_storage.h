#pragma once

#include "settings_storage.h"

namespace kestrix {

// Settings in an ini file (UTF-8): "[section]" lines and "key=value" lines.
// Sections and keys are matched without regard to letter case and the first
// match wins; keys and values are read without surrounding blanks, and a value
// enclosed in a pair of matching quotes loses them. Lines before the first
// section, lines without '=' and lines starting with ';' or '#' are skipped.
class IniFileStorage : public SettingsStorage {
public:
    // fileName is used as given (a relative name against the working folder).
    explicit IniFileStorage(QString fileName);

    // The file as given to the constructor.
    const QString& FileName() const { return m_fileName; }

    // A missing file holds nothing. Raises IniFileError when it exists but cannot be read.
    bool ValueExists(const QString& section, const QString& ident) override;
    // At most kMaxRead characters of the value, or of defaultValue. Raises like ValueExists.
    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue) override;
    // Replaces the key's line in the first matching section, or adds the key at
    // the end of that section, or adds the section at the end of the file; the
    // other lines stay as they were. The file is replaced atomically under its
    // lock. Raises IniFileError "Unable to write to <file name>" when it
    // cannot be read or written, or when a name or the value cannot be held by
    // one line (a line break, '=' in the key, ']' in the section, an empty name).
    void WriteString(const QString& section, const QString& ident, const QString& value) override;
    // All of values at once, under one lock and in one replacement of the file.
    void WriteStrings(const QString& section, const QList<QPair<QString, QString>>& values) override;

    // Longest text ReadString returns.
    static constexpr int32_t kMaxRead = 2047;

private:
    QString m_fileName;
};

}  // namespace kestrix

#include "ini_file_storage.h"

#include "settings_exceptions.h"

#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#include <QStringList>

#include <optional>

namespace kestrix {

namespace {

constexpr int kLockTimeoutMs = 10000;
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// The file as lines, with what is needed to write it back as it was.
struct IniText {
    QStringList Lines;
    QString Eol = QStringLiteral("\n");
    bool Bom = false;
    bool FinalEol = true;
};

// A missing file is an empty text; false when the file exists but cannot be read.
bool LoadIni(const QString& fileName, IniText* text)
{
    QFile file(fileName);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    if (bytes.startsWith(kUtf8Bom)) {
        text->Bom = true;
        bytes.remove(0, 3);
    }
    if (bytes.isEmpty())
        return true;
    if (bytes.contains("\r\n"))
        text->Eol = QStringLiteral("\r\n");
    text->FinalEol = bytes.endsWith('\n');
    text->Lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    if (text->FinalEol)
        text->Lines.removeLast();
    for (QString& line : text->Lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return true;
}

bool IsSectionLine(const QString& line, QString* name)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(QLatin1Char('[')))
        return false;
    const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
    *name = (close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1)).trimmed();
    return true;
}

bool IsKeyLine(const QString& line, QString* key, QString* value)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed[0] == QLatin1Char(';') || trimmed[0] == QLatin1Char('#'))
        return false;
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0)
        return false;
    *key = line.left(equals).trimmed();
    *value = line.mid(equals + 1).trimmed();
    return true;
}

// The lines of the first section named section: its header and the line after its last one.
struct SectionRange {
    qsizetype Header = -1;
    qsizetype End = -1;
};

SectionRange FindSection(const QStringList& lines, const QString& section)
{
    SectionRange range;
    const QString wanted = section.trimmed();
    QString name;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!IsSectionLine(lines[i], &name))
            continue;
        if (range.Header >= 0) {
            range.End = i;
            return range;
        }
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            range.Header = i;
    }
    if (range.Header >= 0)
        range.End = lines.size();
    return range;
}

// The line of the first key named ident in range, or -1.
qsizetype FindKey(const QStringList& lines, const SectionRange& range, const QString& ident, QString* key,
                  QString* value)
{
    const QString wanted = ident.trimmed();
    for (qsizetype i = range.Header + 1; i < range.End; ++i) {
        if (IsKeyLine(lines[i], key, value) && key->compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString Unquote(const QString& value)
{
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
        return value.mid(1, value.size() - 2);
    return value;
}

QString Truncate(const QString& text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    // Never leave half of a surrogate pair at the end.
    if (text[length - 1].isHighSurrogate())
        --length;
    return text.left(length);
}

bool HasLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

// The raw value of ident in section of fileName, or nothing when either is missing.
std::optional<QString> LookUp(const QString& fileName, const QString& section, const QString& ident)
{
    IniText text;
    if (!LoadIni(fileName, &text))
        throw IniFileError(FormatMessage("Unable to read %s", {fileName.toStdString()}));
    const SectionRange range = FindSection(text.Lines, section);
    QString key;
    QString value;
    if (range.Header < 0 || FindKey(text.Lines, range, ident, &key, &value) < 0)
        return std::nullopt;
    return value;
}

}  // namespace

IniFileStorage::IniFileStorage(QString fileName) : m_fileName(std::move(fileName)) {}

bool IniFileStorage::ValueExists(const QString& section, const QString& ident)
{
    return LookUp(m_fileName, section, ident).has_value();
}

QString IniFileStorage::ReadString(const QString& section, const QString& ident, const QString& defaultValue)
{
    const std::optional<QString> value = LookUp(m_fileName, section, ident);
    return Truncate(value ? Unquote(*value) : defaultValue, kMaxRead);
}

void IniFileStorage::WriteString(const QString& section, const QString& ident, const QString& value)
{
    WriteStrings(section, {{ident, value}});
}

void IniFileStorage::WriteStrings(const QString& section, const QList<QPair<QString, QString>>& values)
{
    const auto fail = [this] {
        throw IniFileError(FormatMessage("Unable to write to %s", {m_fileName.toStdString()}));
    };
    for (const auto& [ident, value] : values) {
        const QString trimmedIdent = ident.trimmed();
        if (section.trimmed().isEmpty() || trimmedIdent.isEmpty() || HasLineBreak(section) || HasLineBreak(ident) ||
            HasLineBreak(value) || section.contains(QLatin1Char(']')) || ident.contains(QLatin1Char('=')) ||
            trimmedIdent.startsWith(QLatin1Char('[')) || trimmedIdent.startsWith(QLatin1Char(';')) ||
            trimmedIdent.startsWith(QLatin1Char('#')))
            fail();
    }

    QLockFile lock(m_fileName + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockTimeoutMs))
        fail();
    IniText text;
    if (!LoadIni(m_fileName, &text))
        fail();

    bool changed = false;
    for (const auto& [ident, value] : values) {
        const SectionRange range = FindSection(text.Lines, section);
        if (range.Header < 0) {
            text.Lines << QLatin1Char('[') + section + QLatin1Char(']') << ident + QLatin1Char('=') + value;
            changed = true;
            continue;
        }
        QString key;
        QString oldValue;
        const qsizetype line = FindKey(text.Lines, range, ident, &key, &oldValue);
        if (line >= 0) {
            const QString replaced = key + QLatin1Char('=') + value;
            if (text.Lines[line] != replaced) {
                text.Lines[line] = replaced;
                changed = true;
            }
            continue;
        }
        qsizetype after = range.Header;
        for (qsizetype i = range.Header + 1; i < range.End; ++i) {
            if (!text.Lines[i].trimmed().isEmpty())
                after = i;
        }
        text.Lines.insert(after + 1, ident + QLatin1Char('=') + value);
        changed = true;
    }
    // Values as they were leave the file untouched.
    if (!changed)
        return;

    QByteArray bytes = text.Bom ? QByteArray(kUtf8Bom) : QByteArray();
    bytes += text.Lines.join(text.Eol).toUtf8();
    if (text.FinalEol)
        bytes += text.Eol.toUtf8();
    QSaveFile out(m_fileName);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        fail();
}

}  // namespace kestrix

#include "window_text.h"

#include "code_page.h"
#include "save_summary.h"

#include <QRegularExpression>
#include <QStringList>

namespace kestrix {

std::string WindowFactValue(const FirmwareFact& fact)
{
    if (!fact.Length || static_cast<std::size_t>(*fact.Length) <= fact.Value.size())
        return fact.Value;
    const QString suffix = QStringLiteral("… (%1)").arg(
        RussianCount(*fact.Length, QStringLiteral("байт"), QStringLiteral("байта"), QStringLiteral("байт")));
    return fact.Value + Utf8ToCp1251(suffix.toStdString());
}

QString WrappedToolTip(const QString& text, int lineLength)
{
    if (text.size() <= lineLength || lineLength <= 0)
        return text;
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        for (qsizetype at = 0; at < line.size(); at += lineLength)
            lines << line.mid(at, lineLength);
        if (line.isEmpty())
            lines << QString();
    }
    return lines.join(QLatin1Char('\n'));
}

QString OffsetText(int64_t offset, bool hex)
{
    return hex ? QStringLiteral("0x") + QString::number(offset, 16).toUpper() : QString::number(offset);
}

QString GroupedNumber(int64_t n)
{
    QString digits = QString::number(n < 0 ? -n : n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QChar(0x00A0));
    return n < 0 ? u'-' + digits : digits;
}

QString VisibleText(const QString& text)
{
    QString shown = text;
    for (QChar& c : shown) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode());
        else if (c.unicode() == 0x7F)
            c = QChar(0x2421);
    }
    return shown;
}

QString ShownPath(const QByteArray& localPath)
{
    QStringList parts;
    for (const QByteArray& part : localPath.split('/')) {
        const QString utf8 = QString::fromUtf8(part);
        parts << (utf8.toUtf8() == part ? utf8 : QString::fromStdString(Cp1251ToUtf8(part.toStdString())));
    }
    return parts.join(u'/');
}

QByteArray LocalPathOfUrl(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    // The fully encoded path keeps every byte of the name as %XX.
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

QString OwnErrorInRussian(const QString& message)
{
    struct Own {
        const char* English;
        const char* Russian;
    };
    // Our own messages as the core and the settings store raise them, whole, with their parts captured.
    static const Own kOwn[] = {
        {R"(Cannot read the settings file (.*): (.*))", "Не удалось прочитать файл настроек %1: %2"},
        {R"(The settings file (.*) is damaged: (.*))", "Файл настроек %1 повреждён: %2"},
        {R"(Unable to read (.*))", "Не удалось прочитать %1"},
        {R"re(Cannot replace the open image "(.*)")re", "Нельзя заменить открытый образ «%1»"},
    };
    for (const Own& own : kOwn) {
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(QString::fromUtf8(own.English)),
                                         QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch match = pattern.match(message);
        if (!match.hasMatch())
            continue;
        // One arg call for all parts, so that a "%2" inside a path is not taken for a place.
        const QString text = QString::fromUtf8(own.Russian);
        return match.lastCapturedIndex() == 1 ? text.arg(match.captured(1))
                                              : text.arg(match.captured(1), match.captured(2));
    }
    return message;
}

}  // namespace kestrix

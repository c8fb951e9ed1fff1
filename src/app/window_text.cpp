#include "window_text.h"

#include "code_page.h"
#include "save_summary.h"

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

}  // namespace kestrix

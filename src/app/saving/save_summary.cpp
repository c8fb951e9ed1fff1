#include "save_summary.h"

#include <QDir>

namespace kestrix {
namespace {

enum class NounForm { One, Few, Many };

NounForm FormFor(int32_t n)
{
    const int32_t m = n < 0 ? -(n % 100) : n % 100;
    const int32_t last = m % 10;
    if (last == 1 && m != 11)
        return NounForm::One;
    if (last >= 2 && last <= 4 && (m < 12 || m > 14))
        return NounForm::Few;
    return NounForm::Many;
}

// "Сохранён 1 файл", "Сохранено 3 файла": the participle agrees with a count
// that takes the singular.
QString Done(int32_t n, const QString& one, const QString& other, const QString& noun)
{
    return (FormFor(n) == NounForm::One ? one : other) + u' ' + noun;
}

// " из 4 показанных фильтром", " из 1 выбранной" (of rows), or nothing for a whole list.
QString Of(SaveScope scope, int32_t considered)
{
    if (scope == SaveScope::All)
        return {};
    const bool one = FormFor(considered) == NounForm::One;
    const QString which = scope == SaveScope::Selected
                              ? (one ? QStringLiteral("выбранной") : QStringLiteral("выбранных"))
                              : (one ? QStringLiteral("показанной фильтром") : QStringLiteral("показанных фильтром"));
    return QStringLiteral(" из ") + QString::number(considered) + u' ' + which;
}

}  // namespace

QString RussianCount(int32_t n, const QString& one, const QString& few, const QString& many)
{
    const NounForm form = FormFor(n);
    return QString::number(n) + u' ' + (form == NounForm::One ? one : form == NounForm::Few ? few : many);
}

QString SaveSummary(const SaveOutcome& outcome)
{
    switch (outcome.End) {
    case SaveEnd::Cancelled: return {};
    case SaveEnd::NoList: return QStringLiteral("Ничего не сохранено: на этой странице нечего сохранять");
    case SaveEnd::EmptyList: return QStringLiteral("Ничего не сохранено: список пуст");
    case SaveEnd::NoSelection: return QStringLiteral("Ничего не сохранено: не выбрано ни одной строки");
    case SaveEnd::NoneShown: return QStringLiteral("Ничего не сохранено: фильтр скрывает все строки");
    case SaveEnd::Written:
    case SaveEnd::Stopped:
    case SaveEnd::Failed: break;
    }
    QString text;
    if (outcome.Written > 0) {
        text = Done(outcome.Written, QStringLiteral("Сохранён"), QStringLiteral("Сохранено"),
                    RussianCount(outcome.Written, QStringLiteral("файл"), QStringLiteral("файла"),
                                 QStringLiteral("файлов"))) +
               Of(outcome.Scope, outcome.Considered) + QStringLiteral(" в ") + QDir::toNativeSeparators(outcome.Folder);
    } else {
        text = QStringLiteral("Ничего не сохранено");
    }
    if (outcome.Skipped > 0) {
        text += QStringLiteral("; ") +
                Done(outcome.Skipped, QStringLiteral("пропущена"), QStringLiteral("пропущено"),
                     RussianCount(outcome.Skipped, QStringLiteral("строка"), QStringLiteral("строки"),
                                  QStringLiteral("строк"))) +
                (outcome.Reason == SkipReason::NoEndAddress ? QStringLiteral(" без конечного адреса")
                 : outcome.Reason == SkipReason::NoName     ? QStringLiteral(" без имени")
                                                        : QStringLiteral(": звук не воспроизводится"));
    }
    const QString file = QStringLiteral("файл"), files = QStringLiteral("файла"), many = QStringLiteral("файлов");
    const QString old = QStringLiteral("прежний файл"), olds = QStringLiteral("прежних файла"),
                  oldMany = QStringLiteral("прежних файлов");
    if (outcome.Replaced > 0)
        text += QStringLiteral("; ") + Done(outcome.Replaced, QStringLiteral("заменён"), QStringLiteral("заменено"),
                                            RussianCount(outcome.Replaced, old, olds, oldMany));
    if (outcome.KeptBoth > 0)
        text += QStringLiteral("; из них ") + RussianCount(outcome.KeptBoth, file, files, many) +
                QStringLiteral(" под новым именем рядом с прежним");
    if (outcome.KeptExisting > 0)
        text +=
            QStringLiteral("; ") + Done(outcome.KeptExisting, QStringLiteral("оставлен"), QStringLiteral("оставлено"),
                                        RussianCount(outcome.KeptExisting, old, olds, oldMany));
    if (outcome.End == SaveEnd::Failed)
        text += QStringLiteral("; сохранение прервано ошибкой");
    if (outcome.End == SaveEnd::Stopped)
        text += QStringLiteral("; сохранение остановлено");
    return text;
}

}  // namespace kestrix

#include "scratch_copy.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kestrix {
namespace {

// Scratch copies take the names a save gives: made safe by the same rules,
// and distinct for rows whose names collide, so a drag of several rows hands
// the file manager a file of its own for each.
TEST(ScratchCopies, FollowTheSaveNamingRulesAndCollidingRowsGetCopiesOfTheirOwn)
{
    QTemporaryDir cache;
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    const struct {
        QString name;
        QString copy;
    } rows[] = {
        {"a/b.txt", "a_b.txt"},
        {"a\\b.txt", "a_b (2).txt"},
        {"a_b.txt", "a_b (3).txt"},
        {"x.mid", "x.mid"},
        {"x.mid", "x (2).mid"},
        {".hidden", "_.hidden"},
        {QString::fromUtf8("line\nbreak\x1b\x7f\xc2\x85.amr"), "line_break___.amr"},
        {"", "_"},
    };
    QStandardItemModel model(static_cast<int>(std::size(rows)), 1);
    QModelIndexList indexes;
    for (int row = 0; row < model.rowCount(); ++row)
        indexes.append(model.index(row, 0));
    const auto copyOf = [&rows](int row) {
        const QByteArray bytes = QByteArray::number(row);
        return WriteScratchCopy(
            QStringLiteral("items"), rows[row].name,
            {reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<std::size_t>(bytes.size())});
    };
    std::unique_ptr<QMimeData> data(ScratchCopiesMimeData(&model, indexes, copyOf));
    ASSERT_NE(data, nullptr);
    const QList<QUrl> urls = data->urls();
    ASSERT_EQ(urls.size(), model.rowCount());
    for (int row = 0; row < model.rowCount(); ++row) {
        const QFileInfo copy(urls[row].toLocalFile());
        EXPECT_EQ(copy.fileName(), rows[row].copy) << row;
        EXPECT_TRUE(copy.path().startsWith(cache.path()) && copy.path().endsWith("/items")) << row;
        QFile file(copy.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << row;
        EXPECT_EQ(file.readAll(), QByteArray::number(row)) << "each row's own bytes";
    }
    EXPECT_TRUE(copyOf(4).endsWith("/x.mid")) << "outside a drag a row takes its plain name";
    qputenv("XDG_CACHE_HOME", oldCache);
}

}  // namespace
}  // namespace kestrix

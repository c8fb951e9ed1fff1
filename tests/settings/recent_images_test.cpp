#include "recent_images.h"
#include "reg_ini_store.h"
#include "settings_test_support.h"

#include <gtest/gtest.h>

namespace kestrix::test_support {
namespace {

QStringList Numbered(int from, int to)
{
    QStringList paths;
    for (int i = from; i <= to; ++i)
        paths << QStringLiteral("/images/%1.bin").arg(i);
    return paths;
}

TEST(RecentImages, MostRecentFirstEachOnceAtMostTen)
{
    RecentImages recent;
    for (const QString& path : Numbered(1, 12))
        recent.Add(path);
    QStringList expected = Numbered(3, 12);
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(recent.Paths(), expected);

    // Opening one again moves it to the top instead of listing it twice.
    recent.Add(QStringLiteral("/images/7.bin"));
    EXPECT_EQ(recent.Paths().size(), RecentImages::kLimit);
    EXPECT_EQ(recent.Paths().front(), QStringLiteral("/images/7.bin"));
    EXPECT_EQ(recent.Paths().count(QStringLiteral("/images/7.bin")), 1);
    EXPECT_EQ(recent.Paths()[1], QStringLiteral("/images/12.bin"));

    recent.Add(QString());
    EXPECT_EQ(recent.Paths().front(), QStringLiteral("/images/7.bin"));

    // A list read back from the store is cleaned the same way.
    const RecentImages read(QStringList{QStringLiteral("/a"), QString(), QStringLiteral("/a"), QStringLiteral("/b")} +
                            Numbered(1, 12));
    EXPECT_EQ(read.Paths().mid(0, 3),
              (QStringList{QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/images/1.bin")}));
    EXPECT_EQ(read.Paths().size(), RecentImages::kLimit);
}

class RecentImagesStoreTest : public TempConfigTest {};

TEST_F(RecentImagesStoreTest, MissingFilesAreDroppedAndTheListSurvivesTheStore)
{
    const QString kept = TempPath(QStringLiteral("kept.bin"));
    const QString gone = TempPath(QStringLiteral("gone.bin"));
    WriteFile(kept, "x");
    RecentImages recent(QStringList{gone, kept, TempPath(QString())});
    EXPECT_EQ(recent.DropMissing(), 2);  // the missing file and the folder
    EXPECT_EQ(recent.Paths(), QStringList{kept});
    EXPECT_EQ(RecentImages(Numbered(1, 3)).DropMissing([](const QString& p) { return p.endsWith(u"2.bin"); }), 2);

    TRegIniStore store;
    store.SetPathType(ptRegistry);
    store.SetPath(QStringLiteral("\\Software\\"));
    const QString section = QStringLiteral("KestrixRecent");
    EXPECT_TRUE(RecentImages::Load(store, section).Paths().isEmpty());
    RecentImages(Numbered(1, 10)).Save(store, section);
    EXPECT_EQ(RecentImages::Load(store, section).Paths(), Numbered(1, 10));
    // A shorter list leaves none of the longer one behind.
    RecentImages(QStringList{QStringLiteral("/только/этот.bin")}).Save(store, section);
    EXPECT_EQ(RecentImages::Load(store, section).Paths(), QStringList{QStringLiteral("/только/этот.bin")});
}

}  // namespace
}  // namespace kestrix::test_support

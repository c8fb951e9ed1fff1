// The window comes back as the user left it, and fits every tab on a first start.

#include "content_page.h"
#include "form_fixture.h"
#include "picture_gallery.h"
#include "sound_player_bar.h"

#include <QAction>
#include <QHeaderView>
#include <QSlider>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>

namespace kestrix::test_support {
namespace {

QAction* HexOf(QWidget* page)
{
    return page->findChild<QAction*>(QStringLiteral("HexOffsets"));
}

TEST_F(FormTest, AFirstStartShowsEveryTab)
{
    TForm1& f = Form();
    f.show();
    EXPECT_LE(f.Page()->tabBar()->sizeHint().width(), f.Page()->width());
}

TEST_F(FormTest, TheLayoutIsRememberedAcrossARestartInASectionOfItsOwn)
{
    QList<int> splitterSizes;
    {
        auto before = MakeForm();
        TForm1& f = *before;
        f.AllPictures()->SetMode(PictureGallery::ViewMode::Details);
        f.AllPictures()->SetThumbnailSide(150);
        HexOf(f.AllPictures())->setChecked(true);
        HexOf(f.ApplicationsPage())->setChecked(true);
        QHeaderView* head = f.SoundsPage()->Table()->horizontalHeader();
        head->resizeSection(0, 333);
        head->moveSection(4, 1);
        f.SoundsPage()->Table()->sortByColumn(4, Qt::DescendingOrder);
        f.AllPictures()->Details()->header()->resizeSection(1, 77);
        f.show();
        f.resize(720, 500);
        f.move(40, 30);
        f.Page()->setCurrentIndex(TForm1::kPicturesPage);
        QSplitter* splitter = f.AllPictures()->findChild<QSplitter*>(QStringLiteral("GallerySplitter"));
        splitter->setSizes({splitter->width() - 260, 250});
        splitterSizes = splitter->sizes();
        ASSERT_NE(f.SoundsPage()->Player(), nullptr);
        f.SoundsPage()->Player()->findChild<QSlider*>(QStringLiteral("PlayVolume"))->setValue(37);
        EXPECT_TRUE(f.close());
    }
    EXPECT_TRUE(Settings().ValueExists(QStringLiteral("KestrixWindow"), QStringLiteral("Geometry")));
    EXPECT_FALSE(Settings().ValueExists(QStringLiteral("Kestrix"), QStringLiteral("Geometry")));

    auto after = MakeForm();
    TForm1& f = *after;
    f.show();
    f.Page()->setCurrentIndex(TForm1::kPicturesPage);
    EXPECT_EQ(f.size(), QSize(720, 500));
    EXPECT_EQ(f.AllPictures()->Mode(), PictureGallery::ViewMode::Details);
    EXPECT_EQ(f.AllPictures()->ThumbnailSide(), 150);
    EXPECT_TRUE(HexOf(f.AllPictures())->isChecked());
    EXPECT_TRUE(HexOf(f.ApplicationsPage())->isChecked());
    EXPECT_FALSE(HexOf(f.SoundsPage())->isChecked());
    const QHeaderView* head = f.SoundsPage()->Table()->horizontalHeader();
    EXPECT_EQ(head->sectionSize(0), 333);
    EXPECT_EQ(head->visualIndex(4), 1);
    EXPECT_EQ(head->sortIndicatorSection(), 4);
    EXPECT_EQ(head->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(f.AllPictures()->Details()->header()->sectionSize(1), 77);
    EXPECT_EQ(f.AllPictures()->findChild<QSplitter*>(QStringLiteral("GallerySplitter"))->sizes(), splitterSizes);
    EXPECT_EQ(f.SoundsPage()->Player()->findChild<QSlider*>(QStringLiteral("PlayVolume"))->value(), 37);
}

}  // namespace
}  // namespace kestrix::test_support

// The habits of a desktop program around the window's own commands: Qt's
// texts in Russian, opening from the command line and by dropping a file.
#include "command_line.h"
#include "file_drop.h"
#include "form_fixture.h"
#include "qt_translations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTranslator>
#include <QUrl>

namespace kestrix::testing {
namespace {

const QString kSection = QStringLiteral("Kestrix");
const QString kKey = QStringLiteral("Path");

QString CancelText()
{
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    return box.button(QDialogButtonBox::Cancel)->text();
}

TEST(QtTranslations, FollowTheSystemLanguageOrFallBackToRussian)
{
    const struct {
        QLocale locale;
        QString cancel;
    } cases[] = {
        {QLocale::c(), QStringLiteral("Отмена")},
        {QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("Отмена")},
        {QLocale(QLocale::German, QLocale::Germany), QStringLiteral("Abbrechen")},
        // No catalogue of Qt's for Tongan.
        {QLocale(QLocale::Tongan), QStringLiteral("Отмена")},
    };
    ASSERT_EQ(CancelText(), QStringLiteral("Cancel"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        QTranslator* translator = InstallQtTranslations(*QCoreApplication::instance(), c.locale);
        ASSERT_NE(translator, nullptr);
        EXPECT_EQ(CancelText(), c.cancel);
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    EXPECT_EQ(CancelText(), QStringLiteral("Cancel"));
}

TEST_F(FormTest, TheImageNamedOnTheCommandLineOpensAsFromTheMenu)
{
    QDir(m_dir.path()).mkpath(QStringLiteral("images"));
    const QString image = Path(QStringLiteral("images/phone.bin"));
    FlashImageBuilder(110000).PutFact(kPdsFact, "ab.12.c").WriteTo(QFile::encodeName(image).toStdString());
    EXPECT_EQ(ImageArgument({QStringLiteral("kestrix")}), QString());
    const QString named = ImageArgument({QStringLiteral("kestrix"), QStringLiteral("images/phone.bin")});
    ASSERT_EQ(named, image);

    TForm1& f = Form();
    f.OpenFile(named);
    EXPECT_TRUE(m_errors.empty());
    EXPECT_EQ(f.Hex1.DataSize(), 110000);
    EXPECT_EQ(f.StatusText(), QStringLiteral("phone.bin"));
    EXPECT_EQ(f.Stat->toolTip(), image);
    ASSERT_EQ(f.InfoListRows().size(), 5u);
    EXPECT_EQ(f.InfoListRows()[0].Cell(0), "AB12C");
    EXPECT_EQ(f.RegIniStore1.ReadString(kSection, kKey, {}), Path(QStringLiteral("images/")));
    EXPECT_EQ(f.OpenDialog1.FileName, image);
    EXPECT_TRUE(m_openStartFolders.empty());

    f.OpenFile(Path(QStringLiteral("missing.bin")));
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("missing.bin"))) << m_errors[0].toStdString();
    EXPECT_EQ(f.Hex1.DataSize(), 110000);
}

TEST_F(FormTest, AFileDroppedOnTheWindowOpens)
{
    const QString image = Path(QStringLiteral("dropped.bin"));
    FlashImageBuilder(2500).WriteTo(QFile::encodeName(image).toStdString());
    const auto mime = [](const std::vector<QString>& paths) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data->setUrls(urls);
        return data;
    };
    const struct {
        const char* name;
        std::vector<QString> paths;
        bool taken;
    } drags[] = {
        {"a folder", {m_dir.path()}, false},
        {"two files", {image, image}, false},
        {"a missing file", {Path(QStringLiteral("none.bin"))}, false},
        {"one file", {image}, true},
    };
    TForm1& f = Form();
    for (const auto& d : drags) {
        SCOPED_TRACE(d.name);
        const auto data = mime(d.paths);
        QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f, &enter);
        EXPECT_EQ(enter.isAccepted(), d.taken);
        QDropEvent drop(QPointF(200, 200), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f, &drop);
        EXPECT_EQ(drop.isAccepted(), d.taken);
        QApplication::processEvents();
        EXPECT_EQ(f.Hex1.DataSize(), d.taken ? 2500 : 0);
    }
    EXPECT_EQ(f.StatusText(), QStringLiteral("dropped.bin"));
    EXPECT_EQ(f.RegIniStore1.ReadString(kSection, kKey, {}), FolderWithSeparator(image));
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(FormTest, TheOpenDialogAlsoOffersEveryFile)
{
    EXPECT_EQ(Form().OpenDialog1.QtFilter(), QStringLiteral("Motorola Flash File (*.bin);;Все файлы (*)"));
}

}  // namespace
}  // namespace kestrix::testing

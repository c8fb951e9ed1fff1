// The window's own Russian words.

#include "content_list_model.h"
#include "filter_bar.h"
#include "form_fixture.h"
#include "status_message.h"
#include "window_text.h"

#include <QLabel>

namespace kestrix::test_support {
namespace {

TEST(WindowWords, StatusWordsAgreeWithTheKind)
{
    const struct {
        ContentKind kind;
        ItemStatus status;
        const char16_t* text;
    } words[] = {
        {ContentKind::Picture, ItemStatus::Complete, u"Целая картинка"},
        {ContentKind::Sound, ItemStatus::Complete, u"Целый звук"},
        {ContentKind::Application, ItemStatus::Complete, u"Целое приложение"},
        {ContentKind::File, ItemStatus::Complete, u"Целый файл"},
        {ContentKind::Application, ItemStatus::Truncated, u"Обрезанное приложение"},
        {ContentKind::Sound, ItemStatus::Damaged, u"Повреждённый звук"},
        {ContentKind::Picture, ItemStatus::Unchecked, u"Непроверенная картинка"},
    };
    for (const auto& w : words)
        EXPECT_EQ(ContentListModel::StatusText(w.kind, w.status), QString::fromUtf16(w.text));
}

TEST(WindowWords, OurOwnErrorsSpeakRussianAndTheOriginalMessagesStay)
{
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Cannot read the settings file /home/u/.config/k.reg: Permission denied",
         "Не удалось прочитать файл настроек /home/u/.config/k.reg: Permission denied"},
        {"The settings file /tmp/%2.reg is damaged: line 3: no value",
         "Файл настроек /tmp/%2.reg повреждён: line 3: no value"},
        {"Unable to read /tmp/k.ini", "Не удалось прочитать /tmp/k.ini"},
        {"Cannot replace the open image \"/tmp/phone.bin\"", "Нельзя заменить открытый образ «/tmp/phone.bin»"},
        {"Unable to write to /tmp/k.ini", "Unable to write to /tmp/k.ini"},
        {"Out of memory while expanding memory stream", "Out of memory while expanding memory stream"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OwnErrorInRussian(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown)) << c.message;
}

TEST(WindowWords, BigNumbersAreGroupedByThrees)
{
    EXPECT_EQ(GroupedNumber(0), QStringLiteral("0"));
    EXPECT_EQ(GroupedNumber(999), QStringLiteral("999"));
    EXPECT_EQ(GroupedNumber(1000), QStringLiteral("1\u00A0000"));
    EXPECT_EQ(GroupedNumber(1903299), QStringLiteral("1\u00A0903\u00A0299"));
    FilterBar bar;
    bar.SetText(QStringLiteral("x"));
    bar.SetCounts(1, 1903299);
    EXPECT_EQ(bar.CountLabel()->text(), QStringLiteral("показано 1 из 1\u00A0903\u00A0299"));
}

TEST_F(FormTest, OurSearchesWithoutAnImageSaySoAndOurMessageDoesNotGoStale)
{
    TForm1& f = Form();
    for (QAction* search : {f.AllPicturesSearch(), f.ContentSearch()}) {
        f.Page()->setCurrentIndex(TForm1::kFilesPage);
        search->trigger();
        EXPECT_EQ(f.SaveSummaryText(), QStringLiteral("Сначала откройте образ"));
        EXPECT_EQ(f.ActivePage(), TForm1::kFilesPage);
    }
    OpenImage(FlashImageBuilder(4000, 0xFF));
    EXPECT_EQ(f.SaveSummaryText(), QString());
    f.SaveResult()->SetMessage(QStringLiteral("Сохранено 8 файлов в /tmp"));
    f.ContentSearch()->trigger();
    EXPECT_EQ(f.SaveSummaryText(), QString());
    EXPECT_TRUE(m_errors.empty());
}

}  // namespace
}  // namespace kestrix::test_support

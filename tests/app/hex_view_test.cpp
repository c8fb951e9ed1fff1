#include "code_page.h"
#include "content_page.h"
#include "file_entry_layout.h"
#include "firmware_info.h"
#include "form_fixture.h"
#include "graphics_scan.h"
#include "hex_dock.h"
#include "hex_page.h"
#include "hex_view.h"
#include "map_strip.h"
#include "picture_gallery.h"
#include "result_list_view.h"
#include "sound_builders.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QTest>

namespace kestrix::test_support {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(HexViewModel, CellsAtTheImagesEdgesAndPastThem)
{
    Bytes image(35, 0x41);
    image[0] = 0xC0;   // "А" in Windows-1251
    image[1] = 0x01;   // a control character
    image[32] = 0x4F;  // "я" in UTF-16LE with the next byte
    image[33] = 0x04;
    image[34] = 0x7F;  // the last byte
    HexViewModel model;
    model.SetImage(image);
    ASSERT_EQ(model.RowCount(), 3);
    struct Case {
        const char* Name;
        HexTextMode Mode;
        int64_t Row;
        int32_t Column;
        QString Hex;
        QString Text;
    };
    const Case cases[] = {
        {"first byte", HexTextMode::Cp1251, 0, 0, QStringLiteral("C0"), QStringLiteral("А")},
        {"control byte", HexTextMode::Cp1251, 0, 1, QStringLiteral("01"), QStringLiteral(".")},
        {"last byte", HexTextMode::Cp1251, 2, 2, QStringLiteral("7F"), QStringLiteral(".")},
        {"past the last byte", HexTextMode::Cp1251, 2, 3, QString(), QString()},
        {"row past the end", HexTextMode::Cp1251, 3, 0, QString(), QString()},
        {"row before the start", HexTextMode::Cp1251, -1, 0, QString(), QString()},
        {"column past the row", HexTextMode::Cp1251, 0, 16, QString(), QString()},
        {"UTF-16LE unit", HexTextMode::Utf16Le, 2, 0, QStringLiteral("4F"), QStringLiteral("я")},
        {"UTF-16BE unit", HexTextMode::Utf16Be, 2, 0, QStringLiteral("4F"), QStringLiteral("伄")},
        {"second byte of a unit", HexTextMode::Utf16Le, 2, 1, QStringLiteral("04"), QString()},
        {"unit cut by the end", HexTextMode::Utf16Le, 2, 2, QStringLiteral("7F"), QStringLiteral(".")},
    };
    for (const Case& c : cases) {
        model.SetTextMode(c.Mode);
        EXPECT_EQ(model.HexCell(c.Row, c.Column), c.Hex) << c.Name;
        EXPECT_EQ(model.TextCell(c.Row, c.Column), c.Text) << c.Name;
    }
    model.SetHexOffsets(true);
    EXPECT_EQ(model.RowOffsetText(2), QStringLiteral("00000020"));
    model.SetHexOffsets(false);
    EXPECT_EQ(model.RowOffsetText(2), QStringLiteral("0000000032"));
    EXPECT_EQ(model.RowOffsetText(3), QString());

    // The values at the cursor leave out what the end cuts.
    EXPECT_EQ(CursorValuesText(model, 33), QStringLiteral("8 бит: 4 · 16 бит LE: 32516, BE: 1151"));
    EXPECT_EQ(CursorValuesText(model, 0),
              QStringLiteral("8 бит: 192 · 16 бит LE: 448, BE: 49153 · 32 бит LE: 1094779328, BE: 3221307713"));
    EXPECT_EQ(SelectionText(model, 16, 32, 16), QStringLiteral("Выделено: 0000000016 – 0000000031 (16 байт)"));
    EXPECT_EQ(BytesAsHex(std::span(image).first(3)), QStringLiteral("C0 01 41"));
}

// The content image of the content pages' tests, with two facts, large
// enough to hold them.
class HexDockTest : public FormTest {
protected:
    FlashImageBuilder Image()
    {
        FlashImageBuilder image(110 * 1024, 0xFF);
        image.Put(1001, m_gif)
            .PutFileEntry(3000, Utf8ToCp1251("Звонок.mid"), static_cast<uint32_t>(m_midi.size()),
                          {reinterpret_cast<const char*>(m_midi.data()), m_midi.size()})
            .Put(5003, m_amr)
            .PutFileEntry(30000, "notes.txt", 5, "hello")
            .PutFact(kPhoneModelFact, "V3i")
            .PutFact(kPdsFact, "PDS.1");
        return image;
    }

    HexDock& Dock() { return *Form().findChild<HexDock*>(QStringLiteral("HexDock")); }
    HexView& View() { return *Dock().Page()->View(); }
    HexPage& Page() { return *Dock().Page(); }

    std::pair<int64_t, int64_t> Highlight() { return {View().HighlightStart(), View().HighlightEnd()}; }

    Bytes m_gif = BuildGif({});
    Bytes m_midi = BuildMidi({});
    Bytes m_amr = BuildAmr({});
};

TEST_F(HexDockTest, SelectingARowOnAnyPageHighlightsItsRange)
{
    OpenImage(Image());
    TForm1& f = Form();
    f.N7Click();
    f.SearchAllContent();
    const std::vector<FactRange> facts = FirmwareFactRanges(f.Hex1().Bytes());
    const int32_t midi = 3000 + static_cast<int32_t>(kFileEntryDataOffset);

    f.FileList()->SelectRows({0});
    EXPECT_EQ(Highlight(), (std::pair<int64_t, int64_t>{midi, midi + static_cast<int64_t>(m_midi.size())}));
    // The entry's name, signature and size fields are marked.
    ASSERT_EQ(View().Marks().size(), 3u);
    EXPECT_EQ(View().Marks()[0].Start, 3000 - kFileEntryNameDistance);
    EXPECT_EQ(View().Marks()[1].Start, 3000);
    EXPECT_EQ(View().Marks()[2].Start, 3000 + kFileEntrySizeOffset);

    // The DRM graphics search looks only past 9 MiB: its row is put in the list.
    FoundRows graphics;
    graphics.Append(
        {static_cast<int64_t>(m_gif.size()), 1001, 1001 + static_cast<int32_t>(m_gif.size()), ItemType::Gif});
    f.Finded()->Model().SetFoundRows(std::move(graphics), PictureRowText);
    f.Finded()->SelectRows({0});
    EXPECT_EQ(View().HighlightStart(), 1001);
    EXPECT_TRUE(View().Marks().empty());

    f.InfoList()->SelectRows({2});  // the phone's model
    EXPECT_EQ(Highlight(), (std::pair<int64_t, int64_t>{facts[2].Start, facts[2].End}));

    f.AllPictures()->SelectRows({0});
    EXPECT_EQ(Highlight(), (std::pair<int64_t, int64_t>{1001, f.PictureRows()[0].End}));

    struct Case {
        const char* Name;
        ContentPage* Page;
        int64_t Start;
    };
    const Case cases[] = {{"sound in an entry", f.SoundsPage(), midi},
                          {"phone file", f.PhoneFilesPage(), 30000 + kFileEntryDataOffset}};
    for (const Case& c : cases) {
        View().Highlight(0, 0);
        c.Page->Table()->selectRow(0);
        EXPECT_EQ(View().HighlightStart(), c.Start) << c.Name;
        EXPECT_GT(View().HighlightEnd(), c.Start) << c.Name;
    }
    // Coming back to a page shows its selected row again.
    f.Page()->setCurrentIndex(TForm1::kFilesPage);
    EXPECT_EQ(View().HighlightStart(), midi);

    // Every found item is tinted, and hovering names it.
    Dock().RefreshItems();
    const HexItem* sound = View().Items().ItemAt(5003);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->Class, MapClass::Sound);
    EXPECT_EQ(View().DescribeItem(*sound), QStringLiteral("Звук (2).amr (amr): Целый звук"));
    EXPECT_EQ(View().Items().ItemAt(20000), nullptr);
    // Every entry's header fields are marked where it is shown, selected or not.
    View().Highlight(0, 0);
    View().SetMarks({});
    View().GoTo(30000);
    const std::vector<HexMark> marks = View().MarksOnScreen();
    EXPECT_TRUE(std::any_of(marks.begin(), marks.end(), [](const HexMark& mark) { return mark.Start == 30000; }));
}

TEST_F(HexDockTest, FindGoToCopyAndSaveWorkOnTheImage)
{
    FlashImageBuilder image = Image();
    image.Put(70001, Utf8ToCp1251("Привет")).Put(70101, std::string("\x1F\x04\x40\x04", 4));  // "Пр" in UTF-16LE
    OpenImage(image);
    HexPage& page = Page();
    struct Case {
        const char* Name;
        const char* Text;
        FindEncoding Encoding;
        int64_t Found;
    };
    const Case cases[] = {
        {"hex", "00 00 01 ff", FindEncoding::Hex, 3000},
        {"Windows-1251", "Привет", FindEncoding::Cp1251, 70001},
        {"UTF-16LE", "Пр", FindEncoding::Utf16Le, 70101},
    };
    for (const Case& c : cases) {
        View().GoTo(0);
        page.FindField()->setText(QString::fromUtf8(c.Text));
        page.SetFindEncoding(c.Encoding);
        EXPECT_TRUE(page.FindNext()) << c.Name;
        EXPECT_EQ(View().SelectionStart(), c.Found) << c.Name;
    }
    // Next from a match goes on to the next one, previous comes back.
    page.FindField()->setText(QStringLiteral("000001FF000000"));
    page.SetFindEncoding(FindEncoding::Hex);
    View().GoTo(0);
    ASSERT_TRUE(page.FindNext());
    ASSERT_TRUE(page.FindNext());
    EXPECT_EQ(View().SelectionStart(), 30000);
    EXPECT_FALSE(page.FindNext());
    EXPECT_EQ(View().SelectionStart(), 30000);
    ASSERT_TRUE(page.FindPrevious());
    EXPECT_EQ(View().SelectionStart(), 3000);
    page.FindField()->setText(QStringLiteral("0F0"));
    EXPECT_FALSE(page.FindNext());

    for (const auto& [text, offset] : {std::pair{"0x10", 16}, {"20h", 32}, {"100", 100}}) {
        EXPECT_TRUE(page.GoToText(QString::fromLatin1(text))) << text;
        EXPECT_EQ(View().Cursor(), offset) << text;
    }
    EXPECT_FALSE(page.GoToText(QStringLiteral("0x1000000")));
    EXPECT_EQ(View().Cursor(), 100);
    // Утилиты / Перейти к смещению (Ctrl+G) asks and goes.
    page.AskOffset = [] { return QStringLiteral("4D2h"); };
    QAction* goTo = Dock().findChild<QAction*>(QStringLiteral("GoToOffset"));
    ASSERT_NE(goTo, nullptr);
    EXPECT_EQ(goTo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
    goTo->trigger();
    EXPECT_EQ(View().Cursor(), 0x4D2);

    // Shift with the arrows selects; the line under the view tells the range and the values.
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(View().viewport(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(View().viewport(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(View().SelectionStart(), 0x4D2);
    EXPECT_EQ(View().SelectionEnd(), 0x4D2 + 3 + 16 + 1);
    EXPECT_TRUE(page.StatusLine()->text().startsWith(
        QStringLiteral("Выделено: 0000001234 – 0000001253 (20 байт) · 8 бит: 255")))
        << page.StatusLine()->text().toStdString();

    View().Select(70001, 70004);
    page.CopyAsHex();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("CF F0 E8"));
    const QString saved = Path(QStringLiteral("part.bin"));
    ASSERT_TRUE(page.SaveSelection(saved));
    EXPECT_EQ(ReadFileBytes(QFile::encodeName(saved).toStdString()), (Bytes{0xCF, 0xF0, 0xE8}));
    // Never over the open image.
    EXPECT_FALSE(page.SaveSelection(Path(QStringLiteral("phone.bin"))));
    EXPECT_EQ(ReadFileBytes(QFile::encodeName(Path(QStringLiteral("phone.bin"))).toStdString()), image.Bytes());
}

TEST_F(HexDockTest, TheMapLeadsToTheItemsAndTheViewFollowsHexOffsets)
{
    OpenImage(Image());
    TForm1& f = Form();
    f.SearchAllContent();
    ASSERT_TRUE(QTest::qWaitFor([this] { return Page().MapReady(); }));
    Dock().RefreshItems();
    const FlashMap& map = Page().Strip()->Map();
    EXPECT_EQ(map.Classes[static_cast<std::size_t>(map.CellOf(5003))], MapClass::Sound);
    EXPECT_EQ(map.Classes[static_cast<std::size_t>(map.CellOf(60000))], MapClass::Erased);
    Page().ChooseOnMap(map.CellStart(map.CellOf(5003)));
    EXPECT_EQ(View().SelectionStart(), 5003);
    EXPECT_EQ(View().SelectionEnd(), 5003 + static_cast<int64_t>(m_amr.size()));
    Page().ChooseOnMap(60000);
    EXPECT_EQ(View().Cursor(), 60000);

    QAction* hex = f.SoundsPage()->findChild<QAction*>(QStringLiteral("HexOffsets"));
    ASSERT_NE(hex, nullptr);
    hex->setChecked(true);
    EXPECT_TRUE(View().Model().HexOffsets());
    hex->setChecked(false);
    EXPECT_FALSE(View().Model().HexOffsets());

    // Another image replaces the view's bytes and its map.
    OpenImage(FlashImageBuilder(5000, 0x00), QStringLiteral("other.bin"));
    EXPECT_EQ(View().Model().Size(), 5000);
    EXPECT_EQ(View().HighlightEnd(), 0);
    ASSERT_TRUE(QTest::qWaitFor([this] { return Page().MapReady(); }));
    EXPECT_EQ(Page().Strip()->Map().ImageSize, 5000);

    // Утилиты / Байты и карта образа shows the dock.
    EXPECT_FALSE(Dock().isVisibleTo(&f));
    QAction* show = Dock().toggleViewAction();
    EXPECT_EQ(show->shortcut(), QKeySequence(Qt::Key_F9));
    show->trigger();
    EXPECT_TRUE(Dock().isVisibleTo(&f));
}

}  // namespace
}  // namespace kestrix::test_support

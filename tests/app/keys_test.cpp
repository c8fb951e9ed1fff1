// The keyboard: menu letters in either layout, F10, Ctrl+F, F1.

#include "content_page.h"
#include "filter_bar.h"
#include "form_fixture.h"
#include "menu_keys.h"
#include "picture_gallery.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTest>

namespace kestrix::test_support {
namespace {

void Press(QWidget* to, int key, const QString& text, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(to, &press);
}

TEST(MenuKeys, TheRussianLetterOfAKeyInEitherLayout)
{
    const struct {
        int key;
        const char16_t* text;
        QChar letter;
    } keys[] = {
        {Qt::Key_A, u"a", u'ф'},           {Qt::Key_A, u"", u'ф'},  {0x424, u"ф", u'ф'},        {0x424, u"Ф", u'ф'},
        {Qt::Key_BracketLeft, u"[", u'х'}, {Qt::Key_J, u"J", u'о'}, {Qt::Key_1, u"1", QChar()},
    };
    for (const auto& k : keys)
        EXPECT_EQ(RussianLetterOfKey(k.key, QString::fromUtf16(k.text)), k.letter) << k.key;
}

TEST_F(FormTest, MenusOpenByTheirLetterInEitherLayoutAndAltNeverTypes)
{
    const struct {
        const char* name;
        int key;
        const char16_t* text;
        const char16_t* menu;  // null: none opens
    } presses[] = {
        {"Latin layout, the key of Ф", Qt::Key_A, u"a", u"&Файл"},
        {"Russian layout, Ф", 0x424, u"ф", u"&Файл"},
        {"Latin layout, the key of У", Qt::Key_E, u"e", u"&Утилиты"},
        {"Latin layout, Alt+F (А): no menu", Qt::Key_F, u"f", nullptr},
    };
    TForm1& f = Form();
    f.show();
    f.Page()->setCurrentIndex(TForm1::kPicturesPage);
    QLineEdit* box = f.AllPictures()->Filter()->TextBox();
    for (const auto& p : presses) {
        SCOPED_TRACE(p.name);
        Press(box, p.key, QString::fromUtf16(p.text), Qt::AltModifier);
        QAction* open = f.menuBar()->activeAction();
        EXPECT_EQ(open ? open->text() : QString(), p.menu ? QString::fromUtf16(p.menu) : QString());
        EXPECT_EQ(box->text(), QString());
        if (open && open->menu())
            open->menu()->close();
        f.menuBar()->setActiveAction(nullptr);
    }

    // In the open menu the key alone picks an item: J is the key of О (Открыть).
    f.OpenMenuBar();
    ASSERT_NE(f.menuBar()->activeAction(), nullptr);
    QMenu* file = f.menuBar()->activeAction()->menu();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(f.findChild<QAction*>(QStringLiteral("OpenMenuBar"))->shortcut(), QKeySequence(Qt::Key_F10));
    Press(file, Qt::Key_J, QStringLiteral("j"), Qt::NoModifier);
    EXPECT_EQ(m_openStartFolders.size(), 1u);
}

TEST_F(FormTest, TheFileMenuHoldsOurItemsBetweenTheDesignsOwn)
{
    TForm1& f = Form();
    QStringList texts;
    for (const QAction* item : f.menuBar()->actions().front()->menu()->actions())
        texts << item->text();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("&Открыть"), QStringLiteral("&Сохранить\tCtrl+S"),
                                  QStringLiteral("Сохранить вс&е\tCtrl+Shift+S"), QStringLiteral("Сохранить о&тчёт…"),
                                  QStringLiteral("&Недавние образы"), QString(), QStringLiteral("&Выход")}));
}

TEST_F(FormTest, CtrlFPutsTheFocusInThePagesFilter)
{
    TForm1& f = Form();
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.Page()->setCurrentIndex(TForm1::kSoundsPage);
    QAction* find = f.findChild<QAction*>(QStringLiteral("FocusFilter"));
    EXPECT_EQ(find->shortcut(), QKeySequence(QKeySequence::Find));
    find->trigger();
    EXPECT_TRUE(f.SoundsPage()->Filter()->TextBox()->hasFocus());
}

}  // namespace
}  // namespace kestrix::test_support

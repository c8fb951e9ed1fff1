#include "menu_keys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace kestrix {
namespace {

// The keys of the Latin layout and the Russian letters on them (ЙЦУКЕН).
constexpr char kLatin[] = "qwertyuiop[]asdfghjkl;'zxcvbnm,.`";
const QString kRussian = QStringLiteral("йцукенгшщзхъфывапролджэячсмитьбюё");

// The letter after "&" in text, lower case; null when none.
QChar MnemonicOf(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&')
            continue;
        if (text[i + 1] != u'&')
            return text[i + 1].toLower();
        ++i;
    }
    return {};
}

QAction* ActionOfLetter(const QList<QAction*>& actions, QChar letter)
{
    for (QAction* action : actions) {
        if (action->isVisible() && !action->isSeparator() && MnemonicOf(action->text()) == letter)
            return action;
    }
    return nullptr;
}

bool OwnedBy(const QObject* object, const QObject* owner)
{
    for (const QObject* at = object; at != nullptr; at = at->parent()) {
        if (at == owner)
            return true;
    }
    return false;
}

bool IsTextBox(const QWidget* widget)
{
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget);
}

}  // namespace

QChar RussianLetterOfKey(int key, const QString& text)
{
    const QString lower = text.toLower();
    if (lower.size() == 1 && kRussian.contains(lower[0]))
        return lower[0];
    // The text may be empty or changed by Alt; the key code names the key.
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return kRussian[qsizetype(std::string_view(kLatin).find(char('a' + (key - Qt::Key_A))))];
    if (lower.size() == 1 && lower[0].unicode() < 0x80) {
        const std::size_t at = std::string_view(kLatin).find(static_cast<char>(lower[0].unicode()));
        if (at != std::string_view::npos)
            return kRussian[qsizetype(at)];
    }
    // Key codes of keys without a character (Shift, F1...) lie past 0xFFFF.
    if (key <= 0 || key > 0xFFFF)
        return {};
    const QChar cyrillic = QChar(static_cast<char16_t>(key)).toLower();
    return kRussian.contains(cyrillic) ? cyrillic : QChar();
}

MenuKeys::MenuKeys(QMenuBar* bar) : QObject(bar), m_bar(bar)
{
    qApp->installEventFilter(this);
}

bool MenuKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    const QChar letter = RussianLetterOfKey(key->key(), key->text());
    if (letter.isNull())
        return false;
    if (auto* menu = qobject_cast<QMenu*>(watched)) {
        // An open menu of this window: its item by the key alone.
        if (modifiers != Qt::NoModifier || event->type() != QEvent::KeyPress || !OwnedBy(menu, m_bar))
            return false;
        QAction* action = ActionOfLetter(menu->actions(), letter);
        if (action == nullptr || !action->isEnabled())
            return false;
        if (action->menu())
            menu->setActiveAction(action);
        else {
            menu->close();
            action->trigger();
        }
        return true;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (modifiers != Qt::AltModifier || widget == nullptr || widget->window() != m_bar->window())
        return false;
    QAction* action = ActionOfLetter(m_bar->actions(), letter);
    if (action != nullptr && !action->isEnabled())
        action = nullptr;
    if (event->type() == QEvent::ShortcutOverride) {
        // Claimed, so that the key press comes here rather than to a shortcut.
        if (action == nullptr && !IsTextBox(widget))
            return false;
        key->accept();
        return true;
    }
    if (action != nullptr) {
        if (action->menu())
            m_bar->setActiveAction(action);
        else
            action->trigger();
        return true;
    }
    // Alt with a letter is never typing.
    return IsTextBox(widget);
}

}  // namespace kestrix

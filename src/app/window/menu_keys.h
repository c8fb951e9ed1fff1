#pragma once

#include <QChar>
#include <QObject>

class QMenu;
class QMenuBar;

namespace kestrix {

// The Russian letter on the key that gives latin in the Latin layout
// ("a" gives "ф"); a Russian letter stays as it is, lower case; anything else
// gives a null character.
QChar RussianLetterOfKey(int key, const QString& text);

// Lets the window's menus open by the key of their underlined letter in
// either keyboard layout: Alt with that key opens a menu of the bar (or runs
// an item of the bar), and in an open menu the key alone picks its item. Alt
// with a letter never types into a text box. Installed on the application;
// owned by the window of bar.
class MenuKeys : public QObject {
    Q_OBJECT
public:
    explicit MenuKeys(QMenuBar* bar);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenuBar* m_bar;
};

}  // namespace kestrix

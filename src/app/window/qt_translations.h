#pragma once

#include <QLocale>

class QCoreApplication;
class QTranslator;

namespace kestrix {

// Installs Qt's own translations (the "qtbase" catalogue: dialog buttons, file
// dialogs, text field menus) on app: the catalogue of locale's languages when Qt
// ships one, otherwise the Russian one, the language of the window's own texts.
// Looks in Qt's translations folder. Returns the installed translator, owned by
// app, or nullptr when neither catalogue could be loaded.
QTranslator* InstallQtTranslations(QCoreApplication& app, const QLocale& locale = QLocale::system());

}  // namespace kestrix

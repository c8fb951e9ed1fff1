// Writes the README (Markdown) as a stand-alone HTML page, the user guide that
// the window's about page opens.
//
//   kestrix-readme-html README.md README.html
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kestrix-readme-html README.md README.html\n");
        return 2;
    }
    // Laying out the text needs fonts, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QFile in(QFile::decodeName(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kestrix-readme-html: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument document;
    // The page's base font; the laid-out default (9 pt) reads small in a browser.
    document.setDefaultFont(QFont(QStringLiteral("sans-serif"), 11));
    document.setMarkdown(QString::fromUtf8(in.readAll()));
    document.setMetaInformation(QTextDocument::DocumentTitle, QStringLiteral("Kestrix"));

    QFile out(QFile::decodeName(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(document.toHtml().toUtf8()) < 0) {
        std::fprintf(stderr, "kestrix-readme-html: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

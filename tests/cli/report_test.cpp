#include "cli_run.h"
#include "cli_runner.h"
#include "code_page.h"
#include "flash_image_builder.h"
#include "jar_builders.h"
#include "picture_builders.h"
#include "sound_builders.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;
using test_support::CliResult;
using test_support::Digest;
using test_support::FlashImageBuilder;
using test_support::Json;
using test_support::RunCliWith;

QString ReadText(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

// The fields of RFC 4180 CSV text, line by line.
std::vector<QStringList> ParseCsv(const QString& text)
{
    std::vector<QStringList> lines(1);
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                field += text[++i];
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            lines.back() << std::exchange(field, {});
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            lines.back() << std::exchange(field, {});
            lines.emplace_back();
            ++i;
        } else {
            field += c;
        }
    }
    if (lines.back().isEmpty() && field.isEmpty())
        lines.pop_back();
    return lines;
}

// An image of one item of each kind, a Cyrillic name among them, and an entry
// whose name is markup, CSV and a formula at once.
class CliReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_image.Put(1001, m_gif)
            .PutFileEntry(3000, Utf8ToCp1251("Звонок.mid"), static_cast<uint32_t>(m_midi.size()),
                          test_support::AsText(m_midi))
            .Put(8003, m_jar)
            .PutFileEntry(20000, "=<b>\"x\",y&.txt", 5, "hello");
        m_path = m_dir.filePath("образ.bin");
        m_image.WriteTo(m_path.toStdString());
        m_out = m_dir.filePath("отчёт");
        const CliResult report = RunCliWith({"report", m_path, "--out", m_out});
        ASSERT_EQ(report.status, CliStatus::Ok) << report.err;
        const CliResult content = RunCliWith({"content", m_path, "--json"});
        ASSERT_EQ(content.status, CliStatus::Ok) << content.err;
        m_rows = Json(content.out)["rows"].toArray();
        ASSERT_EQ(m_rows.size(), 4);
    }

    Bytes m_gif = test_support::BuildGif({});
    Bytes m_midi = test_support::BuildMidi({});
    Bytes m_jar = test_support::BuildJar(test_support::MidletPlan("Snake"));
    FlashImageBuilder m_image{32 * 1024, 0xFF};
    QTemporaryDir m_dir;
    QString m_path;
    QString m_out;
    QJsonArray m_rows;
};

// The DFXML names the image with its digests and each item with the range
// and digest the JSON gives it, and its file holds those bytes.
TEST_F(CliReport, DfxmlReadsBackAsTheJsonRows)
{
    QFile file(m_out + "/report.xml");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    std::vector<QJsonObject> objects;
    QStringList path;
    QJsonObject object;
    QString imageName;
    QString imageSha256;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QString name = xml.name().toString();
            path << name;
            if (name == "byte_run") {
                object["img_offset"] = xml.attributes().value("img_offset").toInt();
                object["len"] = xml.attributes().value("len").toInt();
            } else if (name == "hashdigest" && xml.attributes().value("type") == u"sha256") {
                const QString digest = xml.readElementText();
                path.removeLast();
                if (path.contains("source"))
                    imageSha256 = digest;
                else
                    object["sha256"] = digest;
            } else if (name == "filename" || name == "filesize" || name == "image_filename") {
                const QString text = xml.readElementText();
                path.removeLast();
                if (name == "image_filename")
                    imageName = text;
                else
                    object[name] = text;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (xml.name() == u"fileobject")
                objects.push_back(std::exchange(object, {}));
            path.removeLast();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(imageName, QString::fromUtf8("образ.bin"));
    EXPECT_EQ(imageSha256.toStdString(), test_support::FileDigest(m_path, QCryptographicHash::Sha256));
    ASSERT_EQ(objects.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const QJsonObject row = m_rows[i].toObject();
        const QJsonObject& fileObject = objects[static_cast<std::size_t>(i)];
        EXPECT_EQ(fileObject["img_offset"].toInt(), row["start"].toInt()) << i;
        EXPECT_EQ(fileObject["len"].toInt(), row["size"].toInt()) << i;
        EXPECT_EQ(fileObject["filesize"].toString().toInt(), row["size"].toInt()) << i;
        EXPECT_EQ(fileObject["sha256"].toString(), row["sha256"].toString()) << i;
        const QString saved = m_out + "/" + fileObject["filename"].toString();
        EXPECT_EQ(test_support::FileDigest(saved, QCryptographicHash::Sha256), row["sha256"].toString().toStdString())
            << saved.toStdString();
    }
    EXPECT_EQ(objects[1]["filename"].toString(), QString::fromUtf8("sounds/Звонок.mid"));
    EXPECT_EQ(objects[3]["filename"].toString(), QString::fromUtf8("files/=<b>\"x\",y&.txt"));
}

// The CSV starts with a byte order mark, quotes what needs quoting, keeps
// Cyrillic names, and disarms a name a spreadsheet would take for a formula.
TEST_F(CliReport, CsvReadsBackWithCyrillicAndQuotedNames)
{
    QFile file(m_out + "/items.csv");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const std::vector<QStringList> lines = ParseCsv(QString::fromUtf8(bytes.mid(3)));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], QString::fromUtf8("Название,Вид,Тип,Начало,Конец,Размер,Состояние,SHA-256,Файл").split(u','));
    for (int i = 0; i < 4; ++i) {
        const QJsonObject row = m_rows[i].toObject();
        const QStringList& line = lines[static_cast<std::size_t>(i) + 1];
        ASSERT_EQ(line.size(), 9) << line.join(u'|').toStdString();
        EXPECT_EQ(line[3].toInt(), row["start"].toInt());
        EXPECT_EQ(line[4].toInt(), row["end"].toInt());
        EXPECT_EQ(line[5].toInt(), row["size"].toInt());
        EXPECT_EQ(line[7], row["sha256"].toString());
    }
    EXPECT_EQ(lines[2][0], QString::fromUtf8("Звонок.mid"));
    EXPECT_EQ(lines[2][1], QString::fromUtf8("звук"));
    EXPECT_EQ(lines[2][8], QString::fromUtf8("sounds/Звонок.mid"));
    EXPECT_EQ(lines[4][0], QString::fromUtf8("'=<b>\"x\",y&.txt"));
}

// Every link and source of the page names a file the report wrote; nothing
// is fetched from elsewhere, and markup in a name stays text.
TEST_F(CliReport, PageLinksResolveToWrittenFiles)
{
    const QString html = ReadText(m_out + "/index.html");
    EXPECT_FALSE(html.contains("http:")) << "no network";
    EXPECT_FALSE(html.contains("https:"));
    EXPECT_FALSE(html.contains("<b>"));
    EXPECT_TRUE(html.contains(QString::fromUtf8("=&lt;b&gt;&quot;x&quot;,y&amp;.txt")));
    const QRegularExpression link(QStringLiteral(R"re((?:href|src)="([^"]*)")re"));
    QStringList targets;
    for (auto match = link.globalMatch(html); match.hasNext();)
        targets << match.next().captured(1);
    for (const QString& target : targets) {
        EXPECT_FALSE(target.contains(u':') || target.startsWith(u'/')) << target.toStdString();
        const QString file = QUrl::fromPercentEncoding(target.toUtf8());
        EXPECT_TRUE(QFileInfo(m_out + "/" + file).isFile()) << file.toStdString();
    }
    // The picture's thumbnail, the sound's WAV copy and the application's icon.
    for (const char* expected : {"<img class=\"thumb\"", "<audio controls", "<img class=\"icon\""})
        EXPECT_TRUE(html.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_TRUE(targets.contains(QUrl::toPercentEncoding(QString::fromUtf8("sounds/Звонок.mid.wav"), "/")));
    EXPECT_EQ(html.count("<tr data-kind="), 4);
}

TEST(CliReportUsage, NeedsItsFolderAndKeepsItsOption)
{
    const struct {
        QStringList arguments;
        std::string errContains;
    } cases[] = {
        {{"report", "x.bin"}, "report needs --out DIR"},
        {{"content", "x.bin", "--out", "d"}, "--out goes with report"},
        {{"report", "x.bin", "--out", "d", "--extract", "e"}, "--extract goes with a list"},
    };
    for (const auto& c : cases) {
        const CliResult result = RunCliWith(c.arguments);
        EXPECT_EQ(result.status, CliStatus::Usage) << result.err;
        EXPECT_NE(result.err.find(c.errContains), std::string::npos) << result.err;
    }
}

}  // namespace
}  // namespace kestrix

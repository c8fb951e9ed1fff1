#include "cli_run.h"
#include "cli_runner.h"
#include "code_page.h"
#include "flash_image_builder.h"
#include "picture_builders.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;
using test_support::BuildBmp;
using test_support::BuildGif;
using test_support::BuildJpeg;
using test_support::BuildPng;
using test_support::CliResult;
using test_support::FlashImageBuilder;
using test_support::Json;
using test_support::ReadFileBytes;

std::size_t Find(const Bytes& bytes, const Bytes& what, std::size_t from = 0)
{
    return static_cast<std::size_t>(
        std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), what.begin(), what.end()) -
        bytes.begin());
}

// A GIF whose screen and image claim 60 rows while its LZW data give 6: whole
// in structure, but its pixels stop short.
Bytes ShortPixelsGif()
{
    Bytes gif = BuildGif({});
    gif[8] = 60;
    const std::size_t image = Find(gif, {0x2C, 0x00, 0x00, 0x00, 0x00}, 13);
    gif[image + 7] = 60;
    return gif;
}

// One picture of each kind and each status, one named by its file entry, and
// decoys, among erased flash. expected is the JSON each listed row must give.
struct PictureImage {
    FlashImageBuilder image{64 * 1024, 0xFF};
    struct Row {
        QString caption;
        QString type;
        std::size_t start;
        Bytes bytes;  // what the row's range holds
        int width;
        int height;
        QJsonValue frames;
        QString status;
        QJsonValue entry;
    };
    std::vector<Row> rows;

    PictureImage()
    {
        const Bytes gif87 = BuildGif({.gif87a = true, .frames = 1});
        const Bytes bmp = BuildBmp({.bits = 24});
        const Bytes jpeg = BuildJpeg({.thumbnail = true});
        const Bytes png = BuildPng({.width = 30, .height = 20, .idatChunks = 3});
        const Bytes named = BuildGif({.frames = 2, .comment = std::string("\0\x3B", 2)});
        const Bytes damaged = ShortPixelsGif();
        const std::size_t secondIdat = Find(png, {'I', 'D', 'A', 'T'}, 40) - 4;
        const Bytes cut(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(secondIdat + 30));

        Put(1001, gif87, "Картинка (1).gif", "gif", 8, 6, 1, "complete");
        Put(3000, bmp, "Картинка (2).bmp", "bmp", 5, 3, QJsonValue::Null, "complete");
        Put(5003, jpeg, "Картинка (3).jpg", "jpg", 32, 8, QJsonValue::Null, "complete");
        Put(9000, png, "Картинка (4).png", "png", 30, 20, QJsonValue::Null, "complete");
        image.PutFileEntry(12000, Utf8ToCp1251("Заставка.gif"), static_cast<uint32_t>(named.size()),
                           std::string_view(reinterpret_cast<const char*>(named.data()), named.size()));
        rows.push_back({"Заставка.gif", "gif", 12038, named, 8, 6, 2, "complete", "Заставка.gif"});
        image.Put(16000, cut);
        rows.push_back({"Картинка (6).png", "png", 16000, Bytes(png.begin(), png.begin() + secondIdat), 30, 20,
                        QJsonValue::Null, "truncated", QJsonValue::Null});
        Put(20000, damaged, "Картинка (7).gif", "gif", 8, 60, 1, "damaged");
        image.Put(24000, std::string_view("GIF89a garbage, not a picture"));
        image.Put(25000, std::string_view("\x89PNG\r\n\x1A\n garbage, not a picture"));
        image.Put(26000, std::string_view("BM garbage, not a picture"));
    }

    void Put(std::size_t at, const Bytes& bytes, const char* caption, const char* type, int width, int height,
             QJsonValue frames, const char* status)
    {
        image.Put(at, bytes);
        rows.push_back({caption, type, at, bytes, width, height, frames, status, QJsonValue::Null});
    }
};

class CliPictures : public ::testing::Test {
protected:
    CliPictures() { m_image.image.WriteTo(m_path.toStdString()); }

    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath("pictures.bin");
    PictureImage m_image;
};

TEST_F(CliPictures, JsonListsEveryPictureWithItsRangeDetailsStatusAndName)
{
    const CliResult run = test_support::RunCliWith({"pictures", m_path, "--json"});
    EXPECT_EQ(run.status, CliStatus::Ok) << run.err;
    EXPECT_EQ(run.err, "");
    const QJsonObject json = Json(run.out);
    EXPECT_EQ(json["image"].toString(), m_path);
    EXPECT_EQ(json["size"].toInt(), 64 * 1024);
    EXPECT_FALSE(json.contains("written"));
    const QJsonArray rows = json["rows"].toArray();
    ASSERT_EQ(rows.size(), static_cast<int>(m_image.rows.size())) << run.out;
    for (std::size_t i = 0; i < m_image.rows.size(); ++i) {
        const auto& want = m_image.rows[i];
        const QJsonObject row = rows[static_cast<int>(i)].toObject();
        const int start = static_cast<int>(want.start);
        const int size = static_cast<int>(want.bytes.size());
        const QJsonObject expected{{"caption", want.caption},
                                   {"type", want.type},
                                   {"start", start},
                                   {"end", start + size},
                                   {"size", size},
                                   {"width", want.width},
                                   {"height", want.height},
                                   {"frames", want.frames},
                                   {"status", want.status},
                                   {"entry", want.entry},
                                   {"sha256", QString::fromStdString(test_support::Digest(QByteArrayView(
                                                  want.bytes.data(), static_cast<qsizetype>(want.bytes.size()))))}};
        EXPECT_EQ(row, expected) << i << ": " << QJsonDocument(row).toJson(QJsonDocument::Compact).toStdString();
    }
}

TEST_F(CliPictures, ExtractWritesEveryPictureUnderItsCaptionWithTheImagesBytes)
{
    const QString out = m_dir.filePath("out");
    const CliResult run = test_support::RunCliWith({"pictures", m_path, "--json", "--extract", out});
    EXPECT_EQ(run.status, CliStatus::Ok) << run.err;
    const QJsonObject json = Json(run.out);
    const QJsonArray written = json["written"].toArray();
    EXPECT_TRUE(json["failed"].toArray().isEmpty());
    ASSERT_EQ(written.size(), static_cast<int>(m_image.rows.size()));
    for (std::size_t i = 0; i < m_image.rows.size(); ++i) {
        const auto& want = m_image.rows[i];
        EXPECT_EQ(written[static_cast<int>(i)].toObject()["row"].toInt(), static_cast<int>(i));
        EXPECT_EQ(written[static_cast<int>(i)].toObject()["file"].toString(), want.caption);
        EXPECT_EQ(ReadFileBytes(QDir(out).filePath(want.caption).toStdString()), want.bytes) << i;
    }
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), static_cast<int>(m_image.rows.size()));
}

TEST_F(CliPictures, PlainTableShowsTheSameColumns)
{
    const QString out = m_dir.filePath("out");
    const CliResult run = test_support::RunCliWith({"pictures", m_path, "--extract", out});
    EXPECT_EQ(run.status, CliStatus::Ok) << run.err;
    std::istringstream lines(run.out);
    std::vector<std::string> table;
    for (std::string line; std::getline(lines, line);)
        table.push_back(line);
    ASSERT_EQ(table.size(), m_image.rows.size() + 3) << run.out;
    EXPECT_EQ(table[0], "#  name              type  start  end    size  width  height  frames  status     entry");
    EXPECT_EQ(table[1], "0  Картинка (1).gif  gif   1001   1068   67    8      6       1       complete   ");
    EXPECT_EQ(table[2], "1  Картинка (2).bmp  bmp   3000   3102   102   5      3               complete   ");
    EXPECT_EQ(table[5],
              "4  Заставка.gif      gif   12038  12187  149   8      6       2       complete   Заставка.gif");
    EXPECT_EQ(table[6], "5  Картинка (6).png  png   16000  16656  656   30     20              truncated  ");
    EXPECT_EQ(table[8], "7 rows");
    EXPECT_EQ(table[9], "written: 7, failed: 0");
}

TEST_F(CliPictures, HelpNamesTheCommandAndAnEmptyImageListsNothing)
{
    EXPECT_NE(
        test_support::RunCliWith({"--help"}).out.find("  pictures IMAGE...    every GIF, BMP, JPEG and PNG picture"),
        std::string::npos);
    const QString blank = m_dir.filePath("blank.bin");
    FlashImageBuilder(100, 0xFF).WriteTo(blank.toStdString());
    const CliResult run = test_support::RunCliWith({"pictures", blank, "--json"});
    EXPECT_EQ(run.status, CliStatus::Ok);
    EXPECT_EQ(run.out, "{\"image\": \"" + blank.toStdString() + "\", \"size\": 100, \"rows\": []}\n");
    EXPECT_EQ(run.err, "") << "an image of any size is searched";
}

}  // namespace
}  // namespace kestrix

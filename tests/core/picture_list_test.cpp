#include "code_page.h"
#include "extraction.h"
#include "found_rows.h"
#include "list_kind.h"
#include "picture_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrix {
namespace {

FoundPicture Picture(PictureType type, int32_t start, int32_t end, std::string entry = {},
                     PictureStatus status = PictureStatus::Complete)
{
    return {type, status, start, end, 7, 5, type == PictureType::Gif ? 2 : 0, std::move(entry)};
}

TEST(PictureList, RowsKeepEveryDetailAndReadAsTheListShowsThem)
{
    const std::vector<FoundPicture> pictures{
        Picture(PictureType::Gif, 100, 180),
        Picture(PictureType::Png, 200, 290, Utf8ToCp1251("Обои/фон.png"), PictureStatus::Truncated),
        Picture(PictureType::Jpeg, 300, 400, {}, PictureStatus::Damaged),
        Picture(PictureType::Bmp, 500, 530, "icon.bmp"),
    };
    FoundRows rows;
    for (const FoundPicture& picture : pictures)
        AppendPicture(rows, picture);
    EXPECT_EQ(PicturesOf(rows), pictures);
    EXPECT_EQ(rows[1].Size, 90);

    const ResultRow gif = AllPicturesRowText(rows, 0);
    EXPECT_EQ(gif, (ResultRow{Utf8ToCp1251("Картинка (1).gif"),
                              {"gif", "100", "180", "80", "7", "5", "2", "complete"},
                              kPictureRowIcon}));
    const ResultRow png = AllPicturesRowText(rows, 1);
    EXPECT_EQ(png.Caption, Utf8ToCp1251("Обои/фон.png"));
    EXPECT_EQ(png.Cell(RowCell::Frames), "") << "frames are a GIF's only";
    EXPECT_EQ(png.Cell(RowCell::Status), "truncated");
    EXPECT_EQ(AllPicturesRowText(rows, 2).Caption, Utf8ToCp1251("Картинка (3).jpg"));

    // Removing rows keeps each row's details with it.
    rows.RemoveIf([](const FoundRow& row, std::string_view) { return row.Start == 200; });
    EXPECT_EQ(PicturesOf(rows), (std::vector<FoundPicture>{pictures[0], pictures[2], pictures[3]}));
}

TEST(PictureList, SavesEveryRowUnderItsCaptionMadeSafeAndUnique)
{
    FoundRows rows;
    AppendPicture(rows, Picture(PictureType::Gif, 0, 10, Utf8ToCp1251("Обои/фон.gif")));
    AppendPicture(rows, Picture(PictureType::Jpeg, 10, 20));
    AppendPicture(rows, Picture(PictureType::Gif, 20, 30, Utf8ToCp1251("Обои/фон.gif")));
    AppendPicture(rows, Picture(PictureType::Png, 30, 40, "..", PictureStatus::Truncated));
    AppendPicture(rows, Picture(PictureType::Png, 40, 50, Utf8ToCp1251("Картинка (5).png")));
    AppendPicture(rows, Picture(PictureType::Png, 50, 60));

    const std::vector<ExtractItem> all = PlanExtraction(ListKind::Pictures, rows);
    std::vector<std::string> names;
    for (const ExtractItem& item : all)
        names.push_back(item.FileName);
    EXPECT_EQ(names, (std::vector<std::string>{"Обои_фон.gif", "Картинка (2).jpg", "Обои_фон (2).gif", "_..",
                                               "Картинка (5).png", "Картинка (6).png"}));

    const std::vector<ExtractItem> some = PlanExtraction(ListKind::Pictures, rows, {false, true, false, false, true});
    ASSERT_EQ(some.size(), 2u);
    EXPECT_EQ(some[0].Row, 1);
    EXPECT_EQ(some[1].FileName, "Картинка (5).png");
    EXPECT_EQ(TraitsOf(ListKind::Pictures).Name, "pictures");
}

}  // namespace
}  // namespace kestrix

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

FoundItem Picture(ItemType type, int32_t start, int32_t end, std::string entry = {},
                  ItemStatus status = ItemStatus::Complete)
{
    FoundItem picture;
    picture.Type = type;
    picture.Status = status;
    picture.Start = start;
    picture.End = end;
    picture.Width = 7;
    picture.Height = 5;
    picture.Frames = type == ItemType::Gif ? 2 : 0;
    picture.EntryName = std::move(entry);
    return picture;
}

std::vector<FoundItem> PicturesOf(const FoundRows& rows)
{
    std::vector<FoundItem> pictures;
    for (std::size_t i = 0; i < rows.Count(); ++i)
        pictures.push_back(PictureAt(rows, i));
    return pictures;
}

TEST(PictureList, RowsKeepEveryDetailAndReadAsTheListShowsThem)
{
    const std::vector<FoundItem> pictures{
        Picture(ItemType::Gif, 100, 180),
        Picture(ItemType::Png, 200, 290, Utf8ToCp1251("Обои/фон.png"), ItemStatus::Truncated),
        Picture(ItemType::Jpeg, 300, 400, {}, ItemStatus::Damaged),
        Picture(ItemType::Bmp, 500, 530, "icon.bmp"),
    };
    FoundRows rows;
    for (const FoundItem& picture : pictures)
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
    EXPECT_EQ(PicturesOf(rows), (std::vector<FoundItem>{pictures[0], pictures[2], pictures[3]}));
}

TEST(PictureList, SavesEveryRowUnderItsCaptionMadeSafeAndUnique)
{
    FoundRows rows;
    AppendPicture(rows, Picture(ItemType::Gif, 0, 10, Utf8ToCp1251("Обои/фон.gif")));
    AppendPicture(rows, Picture(ItemType::Jpeg, 10, 20));
    AppendPicture(rows, Picture(ItemType::Gif, 20, 30, Utf8ToCp1251("Обои/фон.gif")));
    AppendPicture(rows, Picture(ItemType::Png, 30, 40, "..", ItemStatus::Truncated));
    AppendPicture(rows, Picture(ItemType::Png, 40, 50, Utf8ToCp1251("Картинка (5).png")));
    AppendPicture(rows, Picture(ItemType::Png, 50, 60));

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

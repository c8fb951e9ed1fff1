#include "firmware_info.h"
#include "flash_map.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kCell = 1024;

// 64 cells of 1 KiB: erased runs of FFh and 00h, a few data bytes among FFh
// below and above 1/16 of a cell, random bytes, every byte value evenly.
Bytes BuiltImage()
{
    Bytes image(64 * kCell, 0xFF);
    std::fill(image.begin() + 4 * kCell, image.begin() + 6 * kCell, 0x00);
    std::mt19937 random(3);
    std::generate(image.begin() + 6 * kCell, image.begin() + 6 * kCell + 32, [&] { return random() % 200; });
    std::generate(image.begin() + 7 * kCell, image.begin() + 7 * kCell + 100, [&] { return random() % 200; });
    std::generate(image.begin() + 8 * kCell, image.begin() + 12 * kCell,
                  [&] { return static_cast<uint8_t>(random()); });
    for (int32_t i = 12 * kCell; i < 16 * kCell; ++i)
        image[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i);
    return image;
}

TEST(FlashMap, CellsTakeTheClassOfTheirBytesOrOfTheItemsCoveringMostOfThem)
{
    const Bytes image = BuiltImage();
    const std::vector<MapItem> items = {
        {16 * kCell, 20 * kCell + 256, MapClass::Picture},        // four whole cells and a quarter of one
        {20 * kCell + 256, 21 * kCell + 10, MapClass::Sound},     // the rest of that cell, then 10 bytes
        {25 * kCell + 7, 25 * kCell + 8, MapClass::Application},  // one byte among erased flash
        {30 * kCell + 5, 30 * kCell + 8, MapClass::Facts},
        {62 * kCell, 70 * kCell, MapClass::File},  // runs past the image's end
        {40 * kCell, 39 * kCell, MapClass::File},  // ends before it starts: nothing
    };
    const FlashMap map = ComputeFlashMap(image, items, 64);
    ASSERT_EQ(map.CellBytes, kCell);
    ASSERT_EQ(map.CellCount(), 64);

    struct Case {
        int32_t Cell;
        MapClass Class;
    };
    const Case cases[] = {
        {0, MapClass::Erased}, {4, MapClass::Erased},  {6, MapClass::Erased},   {7, MapClass::Data},
        {8, MapClass::Data},   {12, MapClass::Data},   {16, MapClass::Picture}, {19, MapClass::Picture},
        {20, MapClass::Sound}, {21, MapClass::Sound},  {22, MapClass::Erased},  {25, MapClass::Application},
        {30, MapClass::Facts}, {39, MapClass::Erased}, {62, MapClass::File},    {63, MapClass::File},
    };
    for (const Case& c : cases)
        EXPECT_EQ(map.Classes[static_cast<std::size_t>(c.Cell)], c.Class) << "cell " << c.Cell;
    // Items change the classes only, never what the bytes are.
    EXPECT_EQ(map.ByteClasses[16], MapClass::Erased);

    EXPECT_EQ(map.Entropy[0], 0);
    EXPECT_EQ(map.Entropy[12], 255);  // every byte value four times: 8 bits
    EXPECT_GT(map.Entropy[8], 235);   // random bytes: close to 8 bits
    EXPECT_LT(map.Entropy[6], 40);
}

TEST(FlashMap, BuildingInStepsGivesTheSameMapAndUnevenSizesKeepEveryByte)
{
    const Bytes image = BuiltImage();
    const Bytes odd(image.begin(), image.begin() + 5000);
    FlashMapBuilder builder(odd, 7);
    int steps = 0;
    while (!builder.Step(900))
        ++steps;
    const FlashMap stepped = builder.Take();
    const FlashMap whole = ComputeFlashMap(odd, {}, 7);
    EXPECT_EQ(steps, 3);  // two cells of 715 bytes a step
    EXPECT_EQ(stepped.Entropy, whole.Entropy);
    EXPECT_EQ(stepped.Classes, whole.Classes);
    FlashMapBuilder together(image, 64);
    together.Step(3 * kCell);  // a part alone first, the rest on three threads
    EXPECT_TRUE(together.StepTogether(3));
    const FlashMap threaded = together.Take();
    const FlashMap plain = ComputeFlashMap(image, {}, 64);
    EXPECT_EQ(threaded.Entropy, plain.Entropy);
    EXPECT_EQ(threaded.ByteClasses, plain.ByteClasses);
    EXPECT_EQ(whole.CellBytes * (whole.CellCount() - 1) < 5000, true);
    EXPECT_GE(whole.CellBytes * whole.CellCount(), 5000);
    EXPECT_EQ(ComputeFlashMap({}, {}, 10).CellCount(), 0);
    // More cells than bytes: one byte a cell.
    EXPECT_EQ(ComputeFlashMap(Bytes(5, 0), {}, 100).CellCount(), 5);
}

TEST(FlashMap, ThePictureShowsCellsRowByRowAndTheEntropyBeside)
{
    const Bytes image = BuiltImage();
    const std::vector<MapItem> items = {{16 * kCell, 20 * kCell, MapClass::Picture}};
    const MapPicture picture = DrawFlashMap(image, items, 132);
    ASSERT_EQ(picture.Width, 132);
    ASSERT_GT(picture.GridWidth, 0);
    const int64_t cells = (static_cast<int64_t>(image.size()) + picture.CellBytes - 1) / picture.CellBytes;
    ASSERT_EQ(picture.Height, (cells + picture.GridWidth - 1) / picture.GridWidth);
    ASSERT_EQ(picture.Rgb.size(), static_cast<std::size_t>(picture.Width * picture.Height * 3));

    auto pixel = [&](int32_t x, int32_t y) {
        const auto at = static_cast<std::size_t>((y * picture.Width + x) * 3);
        return std::array<uint8_t, 3>{picture.Rgb[at], picture.Rgb[at + 1], picture.Rgb[at + 2]};
    };
    auto pixelOf = [&](int64_t offset) {
        const int64_t cell = offset / picture.CellBytes;
        return pixel(static_cast<int32_t>(cell % picture.GridWidth), static_cast<int32_t>(cell / picture.GridWidth));
    };
    EXPECT_EQ(pixelOf(0), MapColour(MapClass::Erased));
    EXPECT_EQ(pixelOf(9 * kCell), MapColour(MapClass::Data));
    EXPECT_EQ(pixelOf(18 * kCell), MapColour(MapClass::Picture));
    EXPECT_EQ(pixelOf(40 * kCell), MapColour(MapClass::Erased));

    // The plot's bar: none for a row of erased flash, long for a row of random bytes.
    auto barLength = [&](int32_t y) {
        int32_t length = 0;
        for (int32_t x = picture.GridWidth + 4; x < picture.Width; ++x)
            length += pixel(x, y) == std::array<uint8_t, 3>{30, 30, 30} ? 1 : 0;
        return length;
    };
    const auto rowOf = [&](int64_t offset) {
        return static_cast<int32_t>(offset / picture.CellBytes / picture.GridWidth);
    };
    EXPECT_EQ(barLength(rowOf(1 * kCell)), 0);
    EXPECT_GT(barLength(rowOf(10 * kCell)), (picture.Width - picture.GridWidth - 4) * 3 / 4);
    // Widths outside the bounds are brought inside them.
    EXPECT_EQ(DrawFlashMap(image, {}, 1).Width, kMinMapWidth);
    EXPECT_EQ(DrawFlashMap({}, {}, 64).Height, 1);
}

TEST(FlashMap, TheFactsAreMapItemsWhereTheyLie)
{
    Bytes image(200000, 0xFF);
    image[82451] = 'V';
    image[82452] = 0x05;  // the model's stop byte
    const std::vector<FactRange> facts = FirmwareFactRanges(image);
    ASSERT_EQ(facts.size(), 5u);
    EXPECT_EQ(facts[2], (FactRange{82451, 82452}));
    EXPECT_EQ(facts[1], (FactRange{9568740, 9568740}));  // beyond the image: empty
    const std::vector<MapItem> items = MapItemsOf(image, {});
    const FlashMap map = ComputeFlashMap(image, items, 200000 / 100);
    EXPECT_EQ(map.Classes[static_cast<std::size_t>(map.CellOf(82451))], MapClass::Facts);
}

}  // namespace
}  // namespace kestrix

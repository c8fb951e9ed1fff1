#include "code_page.h"
#include "custom_hex_buffer.h"
#include "firmware_info.h"
#include "flash_image_builder.h"
#include "image_loading.h"

#include <gtest/gtest.h>

namespace kestrix {
namespace {

using testing::LoadImage;

using testing::FlashImageBuilder;

std::vector<std::string> Values(const THexBuffer& buffer)
{
    std::vector<std::string> values;
    for (const TResultRow& row : ReadFirmwareInfo(buffer))
        values.push_back(row.Cell(0));
    return values;
}

const std::string kUnknown = Utf8ToCp1251("Неизвестно");

TEST(FirmwareInfo, RowsCarryTheCaptionsInOrder)
{
    THexBuffer buffer;
    const auto rows = ReadFirmwareInfo(buffer);
    ASSERT_EQ(rows.size(), 5u);
    const char* captions[] = {"PDS", "Версия прошивки", "Модель телефона", "Заводской номер", "Версия Flex"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Cp1251ToUtf8(rows[i].Caption), captions[i]);
        EXPECT_EQ(rows[i].Cells, std::vector<std::string>{kUnknown}) << "an empty image keeps every default";
    }
}

TEST(FirmwareInfo, EachValueFollowsItsStopByteAndCaseRule)
{
    FlashImageBuilder image(9600000, 0x11);
    image.Put(testing::kPdsFact.offset, std::string_view("ab.12.c\xFF", 8))
        .PutFact(testing::kFirmwareVersionFact, "r3_0e.30")
        .Put(testing::kPhoneModelFact.offset, std::string_view("V3i\0xz\x05", 7))
        .PutFact(testing::kSerialNumberFact, Utf8ToCp1251("Серия-77a"))
        .PutFact(testing::kFlexVersionFact, "");
    THexBuffer buffer;
    LoadImage(buffer, image.Bytes());
    const std::vector<std::string> expected = {"AB12C", "R3_0E.30", std::string("V3i\0xz", 6),
                                               Utf8ToCp1251("Серия-77a"), ""};
    EXPECT_EQ(Values(buffer), expected);
}

TEST(FirmwareInfo, TheEndOfTheImageCutsValuesShort)
{
    // The image ends inside the PDS value (no FFh stop) and before the
    // firmware version's start: the PDS shows what was read, the rest stays unknown.
    FlashImageBuilder image(102980, 0x00);
    image.Put(testing::kPdsFact.offset, "p.ds");
    image.PutFact(testing::kPhoneModelFact, "E398");
    image.PutFact(testing::kSerialNumberFact, "SN1");
    image.PutFact(testing::kFlexVersionFact, "R373_G");
    THexBuffer buffer;
    LoadImage(buffer, image.Bytes());
    const std::vector<std::string> expected = {"PDS", kUnknown, "E398", "SN1", "R373_G"};
    EXPECT_EQ(Values(buffer), expected);
}

}  // namespace
}  // namespace kestrix

#include "code_page.h"
#include "custom_hex_buffer.h"
#include "firmware_info.h"
#include "flash_image_builder.h"
#include "image_loading.h"

#include <gtest/gtest.h>

namespace kestrix {
namespace {

using test_support::LoadImage;

using test_support::FlashImageBuilder;

std::vector<std::string> Values(const THexBuffer& buffer)
{
    std::vector<std::string> values;
    for (const FirmwareFact& fact : ReadFirmwareInfo(buffer.Bytes()))
        values.push_back(fact.Value);
    return values;
}

const std::string kUnknown = Utf8ToCp1251("Неизвестно");

TEST(FirmwareInfo, RowsCarryTheCaptionsInOrder)
{
    THexBuffer buffer;
    const auto facts = ReadFirmwareInfo(buffer.Bytes());
    ASSERT_EQ(facts.size(), 5u);
    const char* captions[] = {"PDS", "Версия прошивки", "Модель телефона", "Заводской номер", "Версия Flex"};
    for (std::size_t i = 0; i < facts.size(); ++i) {
        EXPECT_EQ(Cp1251ToUtf8(facts[i].Caption), captions[i]);
        EXPECT_EQ(facts[i].Value, kUnknown) << "an empty image keeps every default";
        EXPECT_FALSE(facts[i].Length.has_value());
        EXPECT_EQ(ShownFactValue(facts[i]), kUnknown);
    }
}

TEST(FirmwareInfo, EachValueFollowsItsStopByteAndCaseRule)
{
    FlashImageBuilder image(9600000, 0x11);
    image.Put(test_support::kPdsFact.offset, std::string_view("ab.12.c\xFF", 8))
        .PutFact(test_support::kFirmwareVersionFact, "r3_0e.30")
        .Put(test_support::kPhoneModelFact.offset, std::string_view("V3i\0xz\x05", 7))
        .PutFact(test_support::kSerialNumberFact, Utf8ToCp1251("Серия-77a"))
        .PutFact(test_support::kFlexVersionFact, "");
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
    image.Put(test_support::kPdsFact.offset, "p.ds");
    image.PutFact(test_support::kPhoneModelFact, "E398");
    image.PutFact(test_support::kSerialNumberFact, "SN1");
    image.PutFact(test_support::kFlexVersionFact, "R373_G");
    THexBuffer buffer;
    LoadImage(buffer, image.Bytes());
    const std::vector<std::string> expected = {"PDS", kUnknown, "E398", "SN1", "R373_G"};
    EXPECT_EQ(Values(buffer), expected);
}

// A blank or erased dump: facts without their stop byte run to the end of the
// image, but only their beginning is kept, with their whole length.
TEST(FirmwareInfo, ValuesWithoutAStopByteKeepTheirBeginningAndLength)
{
    const int32_t size = 12 * 1024 * 1024;
    FlashImageBuilder image(static_cast<std::size_t>(size), 0x00);
    for (int32_t at = test_support::kPdsFact.offset; at + 2 <= test_support::kPdsFact.offset + 20000; at += 2)
        image.Put(static_cast<std::size_t>(at), "a.");
    THexBuffer buffer;
    LoadImage(buffer, image.Bytes());
    const auto facts = ReadFirmwareInfo(buffer.Bytes());
    ASSERT_EQ(facts.size(), 5u);

    // The PDS keeps 4096 letters after its full stops are dropped, and counts
    // only the bytes it keeps.
    EXPECT_EQ(facts[0].Value.substr(0, 4), "AAAA");
    EXPECT_EQ(facts[0].Value.size(), kMaxFactBytes);
    EXPECT_EQ(facts[0].Length, size - test_support::kPdsFact.offset - 10000);
    EXPECT_EQ(ShownFactValue(facts[0]),
              std::string(4096, 'A') + Utf8ToCp1251("… (" + std::to_string(size - 102976 - 10000) + " bytes)"));

    const std::string zeros(kMaxFactBytes, '\0');
    EXPECT_EQ(facts[1], (FirmwareFact{facts[1].Caption, "", 0}));
    EXPECT_EQ(facts[2], (FirmwareFact{facts[2].Caption, zeros, size - test_support::kPhoneModelFact.offset}));
    EXPECT_EQ(facts[3].Length, 0);
    EXPECT_EQ(ShownFactValue(facts[3]), "");

    // A value of exactly the bytes kept shows no more than them.
    FlashImageBuilder exact(200000, 0x00);
    exact.Fill(static_cast<std::size_t>(test_support::kSerialNumberFact.offset), kMaxFactBytes, 'x');
    LoadImage(buffer, exact.Bytes());
    const FirmwareFact serial = ReadFirmwareInfo(buffer.Bytes())[3];
    EXPECT_EQ(serial.Length, 4096);
    EXPECT_EQ(ShownFactValue(serial), std::string(4096, 'x'));
}

}  // namespace
}  // namespace kestrix

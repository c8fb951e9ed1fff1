#include "cli_run.h"
#include "flash_image_builder.h"
#include "flash_map.h"
#include "picture_builders.h"
#include "png_decoder.h"
#include "temp_folder_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrix::test_support {
namespace {

using Bytes = std::vector<uint8_t>;

class CliMap : public TempFolderTest {
protected:
    // 64 KiB of erased flash with a GIF in its middle and random-like
    // data in its last quarter.
    std::string Image()
    {
        FlashImageBuilder image(64 * 1024, 0xFF);
        image.Put(32 * 1024, BuildGif({.width = 64, .height = 64}));
        Bytes data(16 * 1024);
        uint32_t x = 1;
        for (uint8_t& b : data)
            b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
        image.Put(48 * 1024, data);
        const std::string path = Path("phone.bin");
        image.WriteTo(path);
        return path;
    }

    // The image is written once the test's folder exists.
    void SetUp() override
    {
        TempFolderTest::SetUp();
        m_image = Image();
    }

    std::string m_image;
};

TEST_F(CliMap, DrawsTheMapAsAPngOfTheGivenWidth)
{
    const std::string png = Path("map.png");
    const CliResult result = RunCliWithBytes({"map", m_image, "--png", png, "--width", "64"});
    ASSERT_EQ(result.status, CliStatus::Ok) << result.err;
    EXPECT_NE(result.out.find("64 x"), std::string::npos) << result.out;

    Raster raster;
    ASSERT_EQ(DecodePng(ReadFileBytes(png), {}, &raster), PictureFault::None);
    const MapPicture expected = DrawFlashMap(ReadFileBytes(m_image), MapItemsOf(ReadFileBytes(m_image), {}), 64);
    ASSERT_EQ(raster.Width, 64);
    ASSERT_EQ(raster.Height, expected.Height);
    auto colourAt = [&](int64_t offset) {
        const int64_t cell = offset / expected.CellBytes;
        const auto at =
            static_cast<std::size_t>(((cell / expected.GridWidth) * raster.Width + cell % expected.GridWidth) * 4);
        return std::array<uint8_t, 3>{raster.Bgra[at + 2], raster.Bgra[at + 1], raster.Bgra[at]};
    };
    EXPECT_EQ(colourAt(0), MapColour(MapClass::Erased));
    EXPECT_EQ(colourAt(32 * 1024 + 10), MapColour(MapClass::Picture));
    EXPECT_EQ(colourAt(56 * 1024), MapColour(MapClass::Data));
}

TEST_F(CliMap, UsageAndFailures)
{
    struct Case {
        const char* Name;
        std::vector<std::string> Arguments;
        CliStatus Status;
        const char* Message;
    };
    const std::string png = Path("map.png");
    const Case cases[] = {
        {"no --png", {"map", m_image}, CliStatus::Usage, "map needs --png FILE"},
        {"no image", {"map", "--png", png}, CliStatus::Usage, "missing image"},
        {"two images", {"map", m_image, m_image, "--png", png}, CliStatus::Usage, "map takes one image"},
        {"width too small", {"map", m_image, "--png", png, "--width", "8"}, CliStatus::Usage, "--width takes"},
        {"width not a number", {"map", m_image, "--png=" + png, "--width=wide"}, CliStatus::Usage, "--width takes"},
        {"unknown option", {"map", m_image, "--png", png, "--json"}, CliStatus::Usage, "Unknown option 'json'"},
        {"missing image", {"map", Path("none.bin"), "--png", png}, CliStatus::Failed, "cannot read"},
        {"over the image", {"map", m_image, "--png", m_image}, CliStatus::Failed, "Cannot replace the open image"},
    };
    const Bytes before = ReadFileBytes(m_image);
    for (const Case& c : cases) {
        const CliResult result = RunCliWithBytes(c.Arguments);
        EXPECT_EQ(result.status, c.Status) << c.Name;
        EXPECT_NE(result.err.find(c.Message), std::string::npos) << c.Name << ": " << result.err;
    }
    EXPECT_EQ(ReadFileBytes(m_image), before);
    EXPECT_FALSE(std::filesystem::exists(png));
    EXPECT_NE(RunCliWithBytes({"--help"}).out.find("map IMAGE --png FILE [--width N]"), std::string::npos);
}

}  // namespace
}  // namespace kestrix::test_support

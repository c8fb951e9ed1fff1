#include "cli_run.h"
#include "picture_builders.h"
#include "row_digests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrix {
namespace {

// Asked in order, out of order or not at all, with few or many rows ahead,
// every row gets the digest of its own bytes, and a range outside the image
// none.
TEST(RowDigests, EveryRowGetsTheDigestOfItsOwnBytes)
{
    const std::vector<uint8_t> image = test_support::Garbage(1 << 16, 3);
    const struct {
        const char* name;
        std::size_t rows;
        std::size_t aheadBatches;
        std::size_t skipFrom;  // rows from here on are asked for every other one
    } cases[] = {
        {"none", 0, 128, 0},
        {"one", 1, 128, 1},
        {"all ahead", 3000, 128, 3000},
        {"two batches ahead", 3000, 2, 3000},
        {"one batch ahead, skipping", 3000, 1, 2000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RowDigests::Range> ranges;
        for (std::size_t i = 0; i < c.rows; ++i)
            ranges.emplace_back(static_cast<int64_t>(i * 7 % 60000), static_cast<int64_t>(i * 7 % 60000 + i % 300));
        if (c.rows > 2)
            ranges[c.rows / 2] = {60000, 70000};
        RowDigests digests(
            image, ranges.size(), [&ranges](std::size_t i) { return ranges[i]; }, c.aheadBatches);
        EXPECT_EQ(digests.Count(), c.rows);
        for (std::size_t i = 0; i < c.rows; i += i < c.skipFrom ? 1 : 2) {
            const auto [start, end] = ranges[i];
            const RowDigests::Hex digest = digests.At(i);
            if (end > static_cast<int64_t>(image.size())) {
                EXPECT_FALSE(digest) << i;
                continue;
            }
            ASSERT_TRUE(digest) << i;
            const auto* bytes = reinterpret_cast<const char*>(image.data()) + start;
            ASSERT_EQ(std::string(digest->data(), digest->size()),
                      test_support::Digest(QByteArrayView(bytes, static_cast<qsizetype>(end - start))))
                << i;
        }
    }
}

}  // namespace
}  // namespace kestrix

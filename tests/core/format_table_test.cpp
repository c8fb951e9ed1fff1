#include "content_candidates.h"
#include "content_search.h"
#include "format_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace kestrix {
namespace {

// The bytes a candidate of row starts with: its signature (or its lead), and
// its form at offset 8; a descriptor as a run of attribute lines.
std::vector<uint8_t> LeadBytesOf(const FormatTraits& row)
{
    if (row.Type == ItemType::Jad) {
        const std::string jad = "MIDlet-Name: Snake\r\nMIDlet-Version: 1.0\r\nMIDlet-Vendor: Co\r\n";
        return {jad.begin(), jad.end()};
    }
    std::vector<uint8_t> bytes(row.Lead.begin(), row.Lead.end());
    if (!row.Signature.empty())
        bytes.assign(row.Signature.begin(), row.Signature.end());
    if (!row.Form.empty()) {
        bytes.resize(8, 0);
        bytes.insert(bytes.end(), row.Form.begin(), row.Form.end());
    }
    bytes.resize(bytes.size() + 16, 0);
    return bytes;
}

// Every row of the table holds what the search and the front ends read of
// it: lead bytes (and a bare lead) the candidate scan finds and takes for this
// row alone, a walker that finds no item in its lead bytes alone, a type name that is the
// extension of its saved files, and the caption of its numbered items.
TEST(FormatTable, EveryRowIsAWholeFormat)
{
    for (const FormatTraits& row : kFormats) {
        SCOPED_TRACE(std::string(row.Name));
        EXPECT_EQ(&TraitsOf(row.Type), &row);
        if (!row.Signature.empty())
            EXPECT_TRUE(row.Signature.size() >= 2 && static_cast<uint8_t>(row.Signature[0]) == row.Lead[0] &&
                        static_cast<uint8_t>(row.Signature[1]) == row.Lead[1]);
        EXPECT_TRUE(IsContentLead(row.Lead[0], row.Lead[1]));

        const std::vector<uint8_t> bytes = LeadBytesOf(row);
        EXPECT_EQ(ContentCandidateAt(bytes, 0), row.Type);

        // A bare lead (MPEG audio's frame header) is a candidate of this row.
        for (unsigned second = 0; second < 256; ++second)
            if (row.Start.BareSeconds.Has(static_cast<uint8_t>(second))) {
                const std::vector<uint8_t> bare{row.Start.BareFirst, static_cast<uint8_t>(second), 0, 0};
                EXPECT_TRUE(IsContentLead(bare[0], bare[1]));
                EXPECT_EQ(ContentCandidateAt(bare, 0), row.Type);
            }

        ASSERT_NE(row.Walk, nullptr);
        EXPECT_EQ(row.Walk(std::span(bytes).first(2), true).Verdict, WalkVerdict::NoItem);

        EXPECT_EQ(ContentTypeName(row.Type), row.Name);
        EXPECT_EQ(KindOf(row.Type), row.Kind);
        EXPECT_TRUE(!row.Name.empty() && row.Name.size() <= 3);
        for (const char c : row.Name)
            EXPECT_TRUE(std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)));

        FoundItem item;
        item.Type = row.Type;
        EXPECT_EQ(NumberedCaption(item, 7), std::string(KindCaption(row.Kind)) + " (7)." + std::string(row.Name));
    }
}

}  // namespace
}  // namespace kestrix

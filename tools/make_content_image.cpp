// Writes the content test image (an item of every format the content search
// knows, with each trap, see content_image_builder.h) and its manifest, a table
// of what the search must list and of the decoys it must not.
//
//   kestrix-make-content-image [--size MIB] OUTPUT_DIR [PROGRAM...]
//
// OUTPUT_DIR/content_image.bin and OUTPUT_DIR/content_expected.tsv (start, end,
// type, status, entry in UTF-8, case; decoys have status "decoy" and end = start).
// PROGRAM files are laid among the items as real machine code; --size pads the
// image to at least MIB MiB with their bytes and erased runs.
#include "code_page.h"
#include "content_image_builder.h"
#include "flash_image_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace kestrix;

struct Row {
    int64_t Start;
    int64_t End;
    std::string Type;
    std::string Status;
    std::string Entry;
    std::string Case;
};

int Usage()
{
    std::fprintf(stderr, "usage: kestrix-make-content-image [--size MIB] OUTPUT_DIR [PROGRAM...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    test_support::ContentImagePlan plan;
    int i = 1;
    if (i + 1 < argc && std::strcmp(argv[i], "--size") == 0) {
        plan.minSize = static_cast<std::size_t>(std::strtoull(argv[i + 1], nullptr, 10)) << 20;
        i += 2;
    }
    if (i >= argc)
        return Usage();
    const std::string dir = argv[i++];
    for (; i < argc; ++i) {
        const std::vector<uint8_t> program = test_support::ReadFileBytes(argv[i]);
        if (program.empty()) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        plan.machineCode.insert(plan.machineCode.end(), program.begin(), program.end());
    }

    const test_support::ContentImage image = test_support::BuildContentImage(plan);
    std::vector<Row> rows;
    for (const test_support::ExpectedItem& item : image.Items) {
        FoundItem found;
        found.Type = item.Type;
        found.EntryName = item.EntryName;
        rows.push_back({item.Start, item.End, ItemTypeName(found), ItemStatusName(item.Status),
                        Cp1251ToUtf8(item.EntryName), item.Case});
    }
    for (const test_support::PlacedDecoy& decoy : image.Decoys)
        rows.push_back({decoy.Start, decoy.Start, "-", "decoy", "", decoy.Case});
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.Start < b.Start; });

    std::ofstream bin(dir + "/content_image.bin", std::ios::binary);
    bin.write(reinterpret_cast<const char*>(image.Bytes.data()), static_cast<std::streamsize>(image.Bytes.size()));
    std::ofstream tsv(dir + "/content_expected.tsv");
    tsv << "start\tend\ttype\tstatus\tentry\tcase\n";
    for (const Row& row : rows)
        tsv << row.Start << '\t' << row.End << '\t' << row.Type << '\t' << row.Status << '\t' << row.Entry << '\t'
            << row.Case << '\n';
    if (!bin || !tsv) {
        std::fprintf(stderr, "cannot write into %s\n", dir.c_str());
        return 1;
    }
    std::printf("%s/content_image.bin: %zu bytes, %zu items, %zu decoys\n", dir.c_str(), image.Bytes.size(),
                image.Items.size(), image.Decoys.size());
    return 0;
}

// The whole-process floor for kestrix-cli: reads a file whole into one fresh
// block and exits.
//
//   read_baseline [--plain] FILE   (default: a 2 MiB-aligned block advised for
//                                   huge pages; --plain: one from the free store)
#include "read_baseline.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    const bool plain = argc == 3 && std::strcmp(argv[1], "--plain") == 0;
    if (argc != (plain ? 3 : 2)) {
        std::fprintf(stderr, "usage: read_baseline [--plain] FILE\n");
        return 2;
    }
    using kestrix::bench::ReadBlock;
    const int64_t read = kestrix::bench::ReadWhole(argv[argc - 1], plain ? ReadBlock::FreeStore : ReadBlock::HugePages);
    if (read < 0) {
        std::fprintf(stderr, "read_baseline: cannot read %s\n", argv[argc - 1]);
        return 1;
    }
    return 0;
}

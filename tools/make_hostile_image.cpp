// Writes an image made to cost the content search dearly (see
// hostile_images.h), for the benchmark bench/hostile_bench.sh and the fuzz
// seeds.
//
//   kestrix-make-hostile-image KIND OUTPUT [SIZE]
//
// SIZE in bytes, 1600000 by default; --help lists the kinds.
#include "hostile_images.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using namespace kestrix::test_support;

int Usage(FILE* to)
{
    std::fprintf(to, "usage: kestrix-make-hostile-image KIND OUTPUT [SIZE]\nkinds:");
    for (const HostileKindName& kind : kHostileKinds)
        std::fprintf(to, " %.*s", static_cast<int>(kind.Name.size()), kind.Name.data());
    std::fprintf(to, "\n");
    return to == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "--help")
        return Usage(stdout);
    if (argc < 3 || argc > 4)
        return Usage(stderr);
    const auto kind = HostileKindNamed(argv[1]);
    char* end = nullptr;
    const unsigned long long size = argc == 4 ? std::strtoull(argv[3], &end, 10) : 1600000;
    if (!kind || (argc == 4 && (*end != '\0' || size == 0 || size > (1ull << 30))))
        return Usage(stderr);
    const std::vector<uint8_t> image = BuildHostileImage(*kind, static_cast<std::size_t>(size));
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "kestrix-make-hostile-image: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

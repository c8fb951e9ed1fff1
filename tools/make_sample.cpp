// Writes a deterministic synthetic flash image for trying Kestrix out and for
// benchmarks: erased (FFh) and zeroed blocks mixed with noise, the five facts at
// their offsets, file-system entries, GIF pictures above 0x920000, small
// bitmaps, and a few pictures only the deep picture search lists (a JPEG with a
// thumbnail, a PNG, a GIF87a, a 24-bit bitmap, and a GIF that is the data of
// the entry "logo.gif"), and ringtones and Java games for the content search.
// The same size always gives the same bytes.
//
//   kestrix-make-sample [--size BYTES] [--dense] OUTPUT
//
// --dense writes a hostile image instead: the bitmap header pattern every 16
// bytes below the GIF pass start and "GIF89a" back to back above it, so that
// the graphics scan lists a row for every few bytes.
#include "code_page.h"
#include "flash_image_builder.h"
#include "jar_builders.h"
#include "picture_builders.h"
#include "sound_builders.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kestrix::Utf8ToCp1251;
using kestrix::test_support::FlashImageBuilder;
using kestrix::test_support::GifPlan;

constexpr std::size_t kDefaultSize = 12 * 1024 * 1024;
constexpr std::size_t kBlock = 64 * 1024;
constexpr std::size_t kGifRegion = 9700000;

class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

private:
    uint64_t m_state;
};

// Noise that never contains the byte 0x3B or a run that looks like a record:
// bytes 0x40..0x7F and 0x80..0xFE only, so no pattern of the scans appears by chance.
void FillNoise(std::vector<uint8_t>& bytes, std::size_t offset, std::size_t count, Random& random)
{
    for (std::size_t i = 0; i < count; ++i) {
        const auto value = static_cast<uint8_t>(0x80 | random.Next() % 0x7F);
        bytes[offset + i] = value;
    }
}

std::vector<uint8_t> Background(std::size_t size, Random& random)
{
    std::vector<uint8_t> bytes(size, 0xFF);
    for (std::size_t block = 0; block < size; block += kBlock) {
        const std::size_t count = std::min(kBlock, size - block);
        switch (random.Below(4)) {
        case 0: break;  // erased
        case 1: std::memset(bytes.data() + block, 0, count); break;
        default: FillNoise(bytes, block, count, random); break;
        }
    }
    return bytes;
}

struct Entry {
    const char* Name;  // UTF-8
    uint32_t Size;
};

constexpr Entry kEntries[] = {
    {"readme.txt", 120}, {"readme.txt", 120},  {"main.c", 383},      {"logo.gif", 384},
    {"a.gz", 385},       {"Мелодия.mid", 240}, {"Звонок.amr", 5000}, {"noext", 16},
    {"readme.txt", 64},  {"config.ini", 200},  {"Обои.jpg", 300000}, {".ab", 3},
};

// The first stretch repeats the fixed names (so duplicates get removed); later
// stretches number them, name_<stretch>_<n>.ext, so every entry is listed.
std::string EntryName(const char* name, std::size_t stretch, std::size_t index)
{
    const std::string text = Utf8ToCp1251(name);
    if (stretch == 0)
        return text;
    const auto dot = text.rfind('.');
    std::string suffix(1, '_');
    suffix += std::to_string(stretch);
    suffix += '_';
    suffix += std::to_string(index);
    return dot == std::string::npos || dot == 0 ? text + suffix : text.substr(0, dot) + suffix + text.substr(dot);
}

void PutEntries(FlashImageBuilder& image, std::size_t from, std::size_t to, std::size_t stretch, Random& random)
{
    std::size_t h = from;
    std::size_t index = 0;
    while (h + 38 + 400 < to) {
        const Entry& entry = kEntries[index % std::size(kEntries)];
        std::string data(std::min<uint32_t>(entry.Size, 384), '\0');
        for (char& c : data)
            c = static_cast<char>('A' + random.Below(26));
        // The first "logo.gif" holds a picture; the entry is listed as before.
        if (stretch == 0 && index == 3) {
            const auto gif = kestrix::test_support::BuildGif({.width = 12, .height = 10, .frames = 2});
            data.replace(0, gif.size(), std::string(gif.begin(), gif.end()));
        }
        image.PutFileEntry(h, EntryName(entry.Name, stretch, index), entry.Size, data);
        h += 1024 + random.Below(4096);
        ++index;
    }
}

// GIFs back to back with noise between them (no run of 13 FFh), so each one is listed.
std::size_t PutGifs(FlashImageBuilder& image, std::size_t from, std::size_t to, Random& random)
{
    std::vector<uint8_t> noise(to - from);
    FillNoise(noise, 0, noise.size(), random);
    image.Put(from, noise);
    std::size_t at = from;
    int index = 0;
    while (at + 4096 < to) {
        GifPlan options;
        options.width = static_cast<uint16_t>(8 + random.Below(40));
        options.height = static_cast<uint16_t>(8 + random.Below(40));
        options.frames = index % 3 == 1 ? 3 : 1;
        options.delay = static_cast<uint16_t>(10 * (1 + index % 4));
        if (index % 5 == 2)
            options.comment = std::string("made by kestrix\x00\x3B", 17);
        const auto gif = kestrix::test_support::BuildGif(options);
        if (at + gif.size() >= to)
            break;
        image.Put(at, gif);
        at += gif.size() + 16 + random.Below(512);
        ++index;
    }
    return at;
}

void PutBitmaps(FlashImageBuilder& image, std::size_t from, std::size_t to, Random& random)
{
    for (std::size_t at = from; at + 256 < to; at += 4096 + random.Below(4096)) {
        const auto width = static_cast<uint16_t>(8 + random.Below(25));
        const auto height = static_cast<uint16_t>(4 + random.Below(20));
        image.Put(at, kestrix::test_support::BuildBmp(kestrix::test_support::SmallBmpPlan(width, height)));
    }
}

// Pictures that neither the file scan nor the graphics scan lists: no GIF89
// header, no bitmap with a 62-byte header, no entry signature; at odd offsets
// among the noise below the GIF pass start.
void PutDeepPictures(FlashImageBuilder& image, std::size_t from)
{
    using namespace kestrix::test_support;
    const std::vector<uint8_t> pictures[] = {
        BuildJpeg({.thumbnail = true}),
        BuildPng({.width = 24, .height = 16, .idatChunks = 2, .text = "made by kestrix"}),
        BuildGif({.gif87a = true, .width = 16, .height = 12}),
        BuildBmp({.bits = 24, .width = 9, .height = 7}),
    };
    std::size_t at = from;
    for (const auto& picture : pictures) {
        image.Put(at, picture);
        at += picture.size() + 4097;
    }
}

// Sounds and Java applications for the content search, from..: ringtones
// (MIDI, AMR, MP3, WAV, iMelody, SMAF), two of them the data of named entries,
// a game with its icon ("Snake.jar", an entry, and its descriptor), another
// game, and an MP3 cut by erased flash.
void PutSoundsAndApplications(FlashImageBuilder& image, std::size_t from)
{
    using namespace kestrix::test_support;
    const auto text = [](const std::vector<uint8_t>& bytes) {
        return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    };
    const std::vector<uint8_t> ring = BuildMidi({.notes = 16, .tempo = 400000});
    const std::vector<uint8_t> voice = BuildAmr({.frameTypes = std::vector<uint8_t>(150, 7)});
    const std::vector<uint8_t> snake = BuildJar(MidletPlan("Snake"));
    std::size_t at = from;
    const auto next = [&at](std::size_t size) {
        const std::size_t here = at;
        at += size + 1031;
        return here;
    };
    image.PutFileEntry(next(ring.size() + 38) + 89, Utf8ToCp1251("Звонок.mid"), static_cast<uint32_t>(ring.size()),
                       text(ring));
    image.PutFileEntry(next(voice.size() + 38) + 89, Utf8ToCp1251("Запись.amr"), static_cast<uint32_t>(voice.size()),
                       text(voice));
    const std::vector<uint8_t> free[] = {
        BuildMidi({.format = 0, .declaredTracks = 1, .tracks = 1, .notes = 12}),
        BuildAmr({.wide = true, .frameTypes = std::vector<uint8_t>(100, 8)}),
        BuildMp3({.frames = 60, .id3 = true, .id3v1 = true}),
        BuildRiff({.dataBytes = 16000}),
        BuildImelody({.melody = "c2d2e2f2g2a2b2*5c2"}),
        BuildSmaf({.tracks = 2}),
        BuildJar(MidletPlan("Tetris")),
    };
    for (const auto& item : free)
        image.Put(next(item.size()), item);
    image.PutFileEntry(next(snake.size() + 38) + 89, "Snake.jar", static_cast<uint32_t>(snake.size()), text(snake));
    image.Put(next(200), MidletDescriptor("Snake", snake.size()));
    const std::vector<uint8_t> cut = BuildMp3({.frames = 30});
    const std::size_t cutAt = next(cut.size());
    const auto kept = static_cast<std::ptrdiff_t>(cut.size() / 2 + 77);
    image.Put(cutAt, std::vector<uint8_t>(cut.begin(), cut.begin() + kept));
    image.Fill(cutAt + static_cast<std::size_t>(kept), 1024, 0xFF);
}

std::vector<uint8_t> DenseBytes(std::size_t size)
{
    static constexpr uint8_t kBitmap[16] = {0x42, 0x4D, 0x20, 0, 0, 0, 0, 0, 0, 0, 0x3E, 0, 0, 0, 0x28, 0};
    static constexpr uint8_t kGif[6] = {'G', 'I', 'F', '8', '9', 'a'};
    std::vector<uint8_t> bytes(size, 0x00);
    const std::size_t gifStart = std::min<std::size_t>(size, 9568256);
    for (std::size_t at = 0; at + sizeof kBitmap <= gifStart; at += sizeof kBitmap)
        std::memcpy(bytes.data() + at, kBitmap, sizeof kBitmap);
    for (std::size_t at = gifStart; at + sizeof kGif <= size; at += sizeof kGif)
        std::memcpy(bytes.data() + at, kGif, sizeof kGif);
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    std::size_t size = kDefaultSize;
    const char* output = nullptr;
    bool dense = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc)
            size = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--dense") == 0)
            dense = true;
        else if (argv[i][0] != '-' && output == nullptr)
            output = argv[i];
        else
            output = nullptr, i = argc;
    }
    if (output == nullptr || size < kGifRegion + 1024 * 1024 || size > 0x7FFFFFFFull) {
        std::fprintf(stderr,
                     "usage: kestrix-make-sample [--size BYTES] [--dense] OUTPUT\n"
                     "BYTES from %zu to 2147483647 (default %zu)\n",
                     kGifRegion + 1024 * 1024, kDefaultSize);
        return 2;
    }

    if (dense) {
        const std::vector<uint8_t> bytes = DenseBytes(size);
        std::FILE* file = std::fopen(output, "wb");
        const bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file == nullptr || std::fclose(file) != 0 || !written) {
            std::fprintf(stderr, "kestrix-make-sample: cannot write %s\n", output);
            return 1;
        }
        return 0;
    }

    Random random(0x4B45535452495855ull ^ size);
    FlashImageBuilder image(0);
    {
        auto background = Background(size, random);
        image = FlashImageBuilder(size);
        image.Put(0, background);
    }
    image.Fill(80000, 24000, 0x00);
    image.PutFact(kestrix::test_support::kPhoneModelFact, "V3i");
    image.PutFact(kestrix::test_support::kSerialNumberFact, Utf8ToCp1251("ЗН-0123456789"));
    image.PutFact(kestrix::test_support::kFlexVersionFact, "R4441D_G_08.01.03R");
    image.Put(kestrix::test_support::kPdsFact.offset, std::string_view("pds.v3i.r26\xFF", 12));
    image.Fill(9568700, 100, 0x00);
    image.PutFact(kestrix::test_support::kFirmwareVersionFact, "r4441d_g_08.01.03r");

    // File entries between the facts and the pictures, pictures above 0x920000,
    // bitmaps in the last part; larger images repeat the same mixture in every
    // 16 MiB stretch below the GIF search bound.
    const std::size_t gifEnd = std::min<std::size_t>(size, 278790143);
    PutEntries(image, 200000, 200000 + 1024 * 1024, 0, random);
    const std::size_t gifsEnd = PutGifs(image, kGifRegion, std::min(kGifRegion + 1024 * 1024, gifEnd - 1024), random);
    PutBitmaps(image, gifsEnd + 8192, gifsEnd + 8192 + 256 * 1024, random);
    PutDeepPictures(image, 2 * 1024 * 1024 + 3);
    PutSoundsAndApplications(image, 2 * 1024 * 1024 + 64 * 1024 + 5);
    for (std::size_t stretch = 16 * 1024 * 1024; stretch + 4 * 1024 * 1024 < size; stretch += 16 * 1024 * 1024) {
        PutEntries(image, stretch, stretch + 1024 * 1024, stretch >> 24, random);
        if (stretch + 3 * 1024 * 1024 < gifEnd)
            PutGifs(image, stretch + 1024 * 1024 + 65536, stretch + 2 * 1024 * 1024, random);
        PutBitmaps(image, stretch + 3 * 1024 * 1024, stretch + 3 * 1024 * 1024 + 256 * 1024, random);
        PutSoundsAndApplications(image, stretch + 3 * 1024 * 1024 + 512 * 1024 + 7);
    }

    try {
        image.WriteTo(output);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrix-make-sample: %s\n", e.what());
        return 1;
    }
    return 0;
}

// Builds a flash image with known items (pictures of every kind with the
// false-end traps, sounds and Java applications with theirs, odd offsets,
// items inside file entries, files of the phone, truncated items, decoys,
// machine code from real programs and public test pictures among erased
// flash), writes it with a table of what is where, and scores the search and
// a generic carver against it.
//
//   carving_compare build DIR TESTDATA [CODE...]   writes DIR/carving_image.bin and DIR/carving_expected.tsv;
//                                                  CODE: programs whose bytes are laid among the items
//   carving_compare score DIR [CARVED] [--pictures] scores the content search (with --pictures the deep
//                                                  picture search, on the pictures alone); with CARVED (a
//                                                  carver's output folder with audit.txt) scores that too
#include "code_page.h"
#include "content_search.h"
#include "flash_image_builder.h"
#include "jar_builders.h"
#include "picture_builders.h"
#include "picture_check.h"
#include "picture_search.h"
#include "sound_builders.h"
#include "sound_decoder.h"
#include "strict_decoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace kestrix;
using Bytes = std::vector<uint8_t>;
using test_support::Cut;
using test_support::Find;
using test_support::Garbage;
using test_support::Then;
namespace fs = std::filesystem;
namespace ts = test_support;

constexpr std::size_t kImageSize = 32u << 20;
constexpr std::size_t kPublicSample = 72;
constexpr std::size_t kLargestPublicFile = 1u << 20;
const char* const kKinds[] = {"gif", "bmp", "jpg", "png", "mid", "amr", "awb", "mp3", "wav",
                              "qcp", "rmi", "imy", "mmf", "jar", "jad", "txt", "dat"};
const char* const kPictureKinds[] = {"gif", "bmp", "jpg", "png"};

// One row of the expected table. Status is complete, damaged, truncated or decoy.
struct Expected {
    int64_t Start = 0;
    int64_t End = 0;
    std::string Type;
    std::string Status;
    std::string Entry;  // UTF-8
    std::string Source;
};

// One picture a tool listed. Status is empty where the tool has none.
struct Listed {
    int64_t Start = 0;
    int64_t End = 0;
    std::string Type;
    std::string Status;
    std::string Entry;  // UTF-8
};

// Places pieces in erased flash one after another, each after a gap of a few
// KiB to a few tens of KiB; most start at odd offsets, every third on a 512-byte
// boundary (where block-wise carvers look first).
class Layout {
public:
    Layout() : m_builder(kImageSize) {}

    std::size_t Put(const Bytes& bytes, const std::string& type, const std::string& status, const std::string& source,
                    std::size_t expectedSize = 0)
    {
        const std::size_t at = NextOffset();
        Place(at, bytes);
        m_rows.push_back({static_cast<int64_t>(at),
                          static_cast<int64_t>(at + (expectedSize ? expectedSize : bytes.size())), type, status, "",
                          source});
        return at;
    }

    // The picture as the data of a file-system entry called name (UTF-8).
    void PutInEntry(const std::string& name, const Bytes& bytes, const std::string& type, const std::string& source)
    {
        const std::size_t h = NextOffset() + 89;
        const std::size_t at = h + 38;
        m_builder.PutFileEntry(h, Utf8ToCp1251(name), static_cast<uint32_t>(bytes.size()),
                               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        m_rows.push_back(
            {static_cast<int64_t>(at), static_cast<int64_t>(at + bytes.size()), type, "complete", name, source});
        m_next = at + bytes.size();
    }

    // An entry of stated size holding bytes, expected as a row of type and
    // status ending at end (0: at the stated size's end).
    void PutEntryOf(const std::string& name, const Bytes& bytes, uint32_t size, const std::string& type,
                    const std::string& status, const std::string& source, std::size_t end = 0)
    {
        const std::size_t h = NextOffset() + 89;
        const std::size_t at = h + 38;
        m_builder.PutFileEntry(h, Utf8ToCp1251(name), size,
                               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        m_rows.push_back(
            {static_cast<int64_t>(at), static_cast<int64_t>(end ? end : at + size), type, status, name, source});
        m_next = at + std::max<std::size_t>(bytes.size(), 1);
    }

    // Bytes that hold no item (machine code), placed like the items.
    void PutFiller(const Bytes& bytes)
    {
        const std::size_t at = NextOffset();
        Place(at, bytes);
    }

    // A row expected where bytes placed with another row lie.
    void Expect(int64_t start, int64_t end, const std::string& type, const std::string& status,
                const std::string& source)
    {
        m_rows.push_back({start, end, type, status, "", source});
    }

    // Ends the expected row index at end.
    void SetEnd(std::size_t index, int64_t end) { m_rows.at(index).End = end; }
    std::size_t RowCount() const { return m_rows.size(); }

    // The first count bytes of a picture as the last bytes of the image.
    void PutAtImageEnd(const Bytes& bytes, const std::string& type, const std::string& source)
    {
        const std::size_t at = kImageSize - bytes.size();
        if (at < m_next)
            throw std::logic_error("the image is full");
        m_builder.Put(at, bytes);
        m_rows.push_back({static_cast<int64_t>(at), static_cast<int64_t>(kImageSize), type, "truncated", "", source});
    }

    bool Fits(std::size_t size) const { return NextOffset() + size + 70000 < kImageSize; }
    const Bytes& Image() const { return m_builder.Bytes(); }
    const std::vector<Expected>& Rows() const { return m_rows; }

private:
    std::size_t NextOffset() const
    {
        const std::size_t gap = 4096 + (m_rows.size() * 7919) % 40000;
        const std::size_t at = m_next + gap;
        return m_rows.size() % 3 == 0 ? (at + 511) / 512 * 512 : at | 1;
    }

    void Place(std::size_t at, const Bytes& bytes)
    {
        if (at + bytes.size() > kImageSize)
            throw std::logic_error("the image is full");
        m_builder.Put(at, bytes);
        m_next = at + bytes.size();
    }

    ts::FlashImageBuilder m_builder;
    std::size_t m_next = 70000;
    std::vector<Expected> m_rows;
};

void PutGifs(Layout& flash)
{
    const Bytes plain = ts::BuildGif({});
    const Bytes animation = ts::BuildGif({.frames = 3, .localPaletteFrame = 1});
    flash.Put(plain, "gif", "complete", "built: GIF89a");
    flash.Put(ts::BuildGif({.gif87a = true}), "gif", "complete", "built: GIF87a");
    flash.Put(animation, "gif", "complete", "built: animated, 3 frames, local palette");
    flash.Put(ts::BuildGif({.width = 60, .height = 40}), "gif", "complete", "built: 60x40");
    flash.Put(ts::BuildGif({.comment = std::string("00 3B:\0\x3B, again:\0\x3B", 18)}), "gif", "complete",
              "built: trap 00 3B in a comment");
    flash.Put(ts::BuildGif({.globalPalette = {0x00, 0x3B, 0x00, 0x3B, 0x00, 0x3B, 0x10, 0x00, 0x3B, 0x00, 0x3B, 0x00}}),
              "gif", "complete", "built: trap 00 3B in the palette");
    flash.Put(ts::BuildGif({.frames = 2, .delay = 0x3B00}), "gif", "complete", "built: trap 00 3B in a delay");
    flash.Put(ts::BuildGif({.frames = 4, .comment = std::string("\0\x3B\0\x3B", 4), .localPaletteFrame = 2}), "gif",
              "complete", "built: animated, comment trap");
    flash.Put(Cut(animation, Find(animation, {0x21, 0xF9}, 1)), "gif", "truncated", "built: cut before frame 2");
    flash.Put(Cut(plain, plain.size() - 1), "gif", "truncated", "built: no trailer");
    flash.Put(Cut(plain, plain.size() - 6), "gif", "truncated", "built: cut in the image data");
    flash.Put(Then(Cut(plain, 6), Garbage(200, 1)), "gif", "decoy", "decoy: GIF89a + garbage");
    flash.Put(Then(Cut(plain, 10), Bytes(15, 0x00)), "gif", "decoy", "decoy: screen + zeros");
    flash.Put(Then(Bytes{'G', 'I', 'F', '8', '7', 'a'}, Garbage(300, 11)), "gif", "decoy", "decoy: GIF87a + garbage");
}

void PutBitmaps(Layout& flash)
{
    const ts::BmpPlan plans[] = {{12, 8, 5, 5},   {12, 24, 9, 4},    {40, 1, 33, 2},    {40, 4, 5, 3},
                                 {40, 8, 16, 16}, {40, 16, 3, 3},    {40, 24, 40, 30},  {40, 32, 4, 2},
                                 {52, 16, 5, 2},  {56, 32, 3, 3},    {108, 24, 2, 4},   {124, 8, 4, -5},
                                 {40, 24, 5, -3}, {40, 24, 7, 2, 0}, {40, 24, 7, 2, 26}};
    for (const ts::BmpPlan& plan : plans) {
        std::ostringstream source;
        source << "built: BMP header " << plan.headerSize << ", " << plan.bits << " bit, " << plan.width << "x"
               << plan.height;
        if (plan.fileSizeField >= 0)
            source << ", size field " << plan.fileSizeField;
        flash.Put(ts::BuildBmp(plan), "bmp", "complete", source.str());
    }
    const Bytes large = ts::BuildBmp({.width = 40, .height = 30});
    flash.Put(Cut(large, 700), "bmp", "truncated", "built: 24 bit 40x30 cut at 700 of " + std::to_string(large.size()));
    const Bytes eight = ts::BuildBmp({.bits = 8, .width = 64, .height = 64});
    flash.Put(Cut(eight, 2000), "bmp", "truncated",
              "built: 8 bit 64x64 cut at 2000 of " + std::to_string(eight.size()));
    flash.Put(Then({'B', 'M'}, Garbage(100, 2)), "bmp", "decoy", "decoy: BM + garbage");
    flash.Put(Then(Cut(ts::BuildBmp({}), 14), Garbage(40, 3)), "bmp", "decoy", "decoy: file header + garbage");
}

void PutJpegs(Layout& flash)
{
    const Bytes plain = ts::BuildJpeg({});
    const Bytes thumbnail = ts::BuildJpeg({.thumbnail = true});
    flash.Put(plain, "jpg", "complete", "built: baseline");
    flash.Put(ts::BuildJpeg({.progressive = true}), "jpg", "complete", "built: progressive");
    flash.Put(thumbnail, "jpg", "complete", "built: trap APP1 thumbnail with its FF D9");
    flash.Put(ts::BuildJpeg({.thumbnail = true, .progressive = true}), "jpg", "complete",
              "built: progressive with thumbnail");
    flash.Put(ts::BuildJpeg({.comment = "\xFF\xD9 and \xFF\xD8\xFF\xE0"}), "jpg", "complete",
              "built: trap FF D9 in a comment");
    flash.Put(Cut(plain, Find(plain, {0xFF, 0xDA}) + 11), "jpg", "truncated", "built: cut in the scan");
    flash.Put(Cut(thumbnail, Find(thumbnail, {0xFF, 0xDA}, 1) + 11), "jpg", "truncated",
              "built: thumbnail, cut in the scan");
    flash.Put(Cut(plain, plain.size() - 2), "jpg", "truncated", "built: no EOI");
    flash.Put(Then({0xFF, 0xD8, 0xFF}, Garbage(200, 4)), "jpg", "decoy", "decoy: FF D8 FF + garbage");
    flash.Put({0xFF, 0xD8, 0xFF, 0xD9}, "jpg", "decoy", "decoy: FF D8 FF D9");
}

void PutPngs(Layout& flash)
{
    const Bytes split = ts::BuildPng({.width = 30, .height = 20, .idatChunks = 3});
    flash.Put(ts::BuildPng({}), "png", "complete", "built: one IDAT");
    flash.Put(split, "png", "complete", "built: three IDAT");
    flash.Put(ts::BuildPng({.width = 50, .height = 40, .idatChunks = 5}), "png", "complete", "built: five IDAT");
    flash.Put(ts::BuildPng({.text = "IEND\xAE\x42\x60\x82"}), "png", "complete", "built: trap IEND in a tEXt chunk");
    const std::size_t secondIdat = Find(split, {'I', 'D', 'A', 'T'}, 1) - 4;
    flash.Put(Cut(split, secondIdat + 30), "png", "truncated", "built: cut in IDAT 2");
    flash.Put(Cut(split, split.size() - 12), "png", "truncated", "built: no IEND");
    flash.Put(Then(Cut(split, 8), Garbage(100, 5)), "png", "decoy", "decoy: signature + garbage");
}

void PutEntries(Layout& flash)
{
    flash.PutInEntry("Заставка.gif", ts::BuildGif({.comment = std::string("\0\x3B", 2)}), "gif",
                     "entry: GIF, comment trap");
    flash.PutInEntry("Анимация 2.gif", ts::BuildGif({.frames = 3, .delay = 0x3B00}), "gif", "entry: animated GIF");
    flash.PutInEntry("photo.jpg", ts::BuildJpeg({.thumbnail = true}), "jpg", "entry: JPEG with thumbnail");
    flash.PutInEntry("Фон.jpg", ts::BuildJpeg({.progressive = true}), "jpg", "entry: progressive JPEG");
    flash.PutInEntry("Значок 1.bmp", ts::BuildBmp({.bits = 8}), "bmp", "entry: 8 bit BMP");
    flash.PutInEntry("logo.bmp", ts::BuildBmp({.headerSize = 124, .bits = 32, .width = 6, .height = 6}), "bmp",
                     "entry: V5 32 bit BMP");
    flash.PutInEntry("icon.png", ts::BuildPng({}), "png", "entry: PNG");
    flash.PutInEntry("Кнопка.png", ts::BuildPng({.width = 12, .height = 12, .idatChunks = 2}), "png",
                     "entry: PNG, two IDAT");
}

// Sounds of every format with their traps.
void PutSounds(Layout& flash)
{
    const Bytes midi = ts::BuildMidi({});
    flash.Put(midi, "mid", "complete", "built: MIDI type 1, two tracks");
    flash.Put(ts::BuildMidi({.format = 0, .declaredTracks = 1, .tracks = 1}), "mid", "complete", "built: MIDI type 0");
    flash.Put(ts::BuildMidi({.unknownChunk = true}), "mid", "complete", "built: MIDI with an unknown chunk");
    flash.Put(Cut(midi, midi.size() - 20), "mid", "truncated", "built: MIDI cut in its last track");
    flash.Put(ts::BuildMidi({.notes = 0}), "mid", "damaged", "built: MIDI without notes");
    flash.Put(Then(Cut(midi, 14), Garbage(100, 21)), "mid", "decoy", "decoy: MThd + garbage");
    const Bytes amr = ts::BuildAmr({.frameTypes = std::vector<uint8_t>(60, 7)});
    flash.Put(amr, "amr", "complete", "built: AMR-NB, 60 frames");
    flash.Put(ts::BuildAmr({.frameTypes = {7, 8, 15, 15, 15, 8, 15, 15, 15, 15, 8, 15, 15, 7}}), "amr", "complete",
              "built: AMR-NB with silence and no-data frames");
    flash.Put(Cut(amr, amr.size() - 9), "amr", "truncated", "built: AMR-NB cut in a frame by erased flash",
              amr.size() - 32);
    flash.Put(ts::BuildAmr({.wide = true, .frameTypes = std::vector<uint8_t>(40, 8)}), "awb", "complete",
              "built: AMR-WB");
    flash.Put(Then(Bytes{'#', '!', 'A', 'M', 'R', '\n'}, Garbage(60, 22)), "amr", "decoy", "decoy: #!AMR + garbage");
    const Bytes mp3 = ts::BuildMp3({.frames = 20});
    flash.Put(mp3, "mp3", "complete", "built: MP3, 20 frames");
    flash.Put(ts::BuildMp3({.frames = 12, .id3 = true, .ape = true, .id3v1 = true}), "mp3", "complete",
              "built: MP3 with ID3v2, APE and ID3v1 tags");
    flash.Put(ts::BuildMp3({.version = 2, .layer = 2, .frames = 10, .mono = true, .id3 = true, .id3Footer = true}),
              "mp3", "complete", "built: MPEG-2 Layer II with an ID3v2 footer");
    flash.Put(Cut(mp3, ts::Mp3FrameSize({.frames = 20}) * 10 + 50), "mp3", "truncated", "built: MP3 cut in frame 11",
              ts::Mp3FrameSize({.frames = 20}) * 10);
    flash.Put(Cut(mp3, ts::Mp3FrameSize({.frames = 20}) * 3), "mp3", "decoy", "decoy: three MP3 frames");
    flash.Put(ts::BuildRiff({}), "wav", "complete", "built: WAV PCM");
    flash.Put(ts::BuildRiff({.formatTag = 17, .dataBytes = 256 * 8}), "wav", "complete", "built: WAV IMA ADPCM");
    flash.Put(ts::BuildRiff({.oddChunk = true}), "wav", "complete", "built: WAV with an odd chunk");
    flash.Put(ts::BuildRiff({.riffSize = 0}), "wav", "complete", "built: WAV whose RIFF size is 0");
    flash.Put(ts::BuildRiff({.form = "QLCM"}), "qcp", "unchecked", "built: QCP");
    flash.Put(ts::BuildRiff({.form = "RMID"}), "rmi", "complete", "built: RMID");
    flash.Put(Then(Cut(ts::BuildRiff({}), 12), Garbage(80, 23)), "wav", "decoy", "decoy: RIFF WAVE + garbage");
    flash.Put(ts::BuildImelody({}), "imy", "unchecked", "built: iMelody");
    flash.Put(ts::BuildImelody({.lineEnd = "\n", .finalLineEnd = false}), "imy", "unchecked",
              "built: iMelody, LF lines, no last line end",
              ts::BuildImelody({.lineEnd = "\n", .finalLineEnd = false}).size());
    flash.Put(ts::BuildSmaf({.tracks = 2}), "mmf", "unchecked", "built: SMAF");
}

// Java applications with their traps.
void PutApplications(Layout& flash)
{
    const Bytes snake = ts::BuildJar(ts::MidletPlan("Snake"));
    flash.Put(snake, "jar", "complete", "built: MIDlet suite as the jar tool writes it");
    flash.Put(ts::BuildJar(ts::MidletPlan("Outer", ts::BuildJar(ts::MidletPlan("Inner")))), "jar", "complete",
              "built: a JAR stored inside the JAR");
    ts::JarPlan stored = ts::MidletPlan("Stored");
    for (ts::JarFile& file : stored.files)
        file.deflated = false, file.descriptor = false;
    flash.Put(ts::BuildJar(stored), "jar", "complete", "built: JAR of stored files");
    // A truncated archive right before another: it must not take the next one's end.
    const Bytes tetris = ts::BuildJar(ts::MidletPlan("Tetris"));
    const std::size_t cut = ts::CentralDirectoryOf(tetris) - 5;
    const Bytes pair = Then(Cut(tetris, cut), snake);
    const std::size_t at =
        flash.Put(pair, "jar", "truncated", "built: JAR cut before its directory, another after it", cut);
    flash.Expect(static_cast<int64_t>(at + cut), static_cast<int64_t>(at + pair.size()), "jar", "complete",
                 "built: the JAR after a cut one");
    flash.Put(ts::TextBytes(ts::MidletDescriptor("Snake", snake.size())), "jad", "complete", "built: descriptor");
    flash.Put(Then({'P', 'K', 3, 4}, Garbage(200, 24)), "jar", "decoy", "decoy: PK 03 04 + garbage");
    flash.Put(ts::TextBytes("MIDlet-Name: Lonely\r\n"), "jad", "decoy", "decoy: one MIDlet line");
}

// Files of the phone: every kind of entry.
void PutFiles(Layout& flash)
{
    const Bytes ring = ts::BuildMidi({.notes = 8});
    flash.PutEntryOf("Звонок.mid", ring, static_cast<uint32_t>(ring.size()), "mid", "complete", "entry: MIDI");
    const Bytes voice = ts::BuildAmr({.frameTypes = std::vector<uint8_t>(30, 7)});
    flash.PutEntryOf("Запись 1.amr", voice, static_cast<uint32_t>(voice.size()), "amr", "complete",
                     "entry: AMR voice note");
    flash.PutEntryOf("Запись 2.amr", voice, static_cast<uint32_t>(voice.size() + 300), "amr", "truncated",
                     "entry: AMR whose size needs more bytes than its frames give");
    const Bytes game = ts::BuildJar(ts::MidletPlan("Racer"));
    flash.PutEntryOf("Racer.jar", game, static_cast<uint32_t>(game.size()), "jar", "complete", "entry: JAR");
    const Bytes mp3 = ts::BuildMp3({.frames = 8, .id3 = true});
    flash.PutEntryOf("Песня.mp3", mp3, static_cast<uint32_t>(mp3.size()), "mp3", "complete", "entry: MP3");
    const std::string text = "The phone's own settings, 1=2\n";
    flash.PutEntryOf("settings.txt", ts::TextBytes(text), static_cast<uint32_t>(text.size()), "txt", "unchecked",
                     "entry: text file");
    // The stated size runs over the next entry's header: cut at its name.
    flash.PutEntryOf("big.dat", Garbage(3000, 25), 1u << 20, "dat", "truncated", "entry: size crossing the next entry");
    const std::size_t big = flash.RowCount() - 1;
    flash.PutEntryOf("small.dat", Garbage(40, 26), 40, "dat", "unchecked", "entry: after a crossing one");
    const int64_t smallData = flash.Rows().back().Start;
    flash.SetEnd(big, smallData - 38 - 89);
}

bool QtDecodes(const Bytes& bytes)
{
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return !reader.read().isNull();
}

// The public GIF and BMP files that Qt decodes, an even sample of them.
std::vector<fs::path> PublicSample(const fs::path& testdata)
{
    const char* const folders[] = {"bmpsuite/g", "giflib/pic", "pygif-test-suite", "peterdn-gif-test-suite",
                                   "image-rs-image/tests/images"};
    std::vector<fs::path> decodable;
    for (const char* folder : folders) {
        if (!fs::exists(testdata / folder))
            continue;
        for (const auto& item : fs::recursive_directory_iterator(testdata / folder)) {
            std::string ext = item.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
            if (!item.is_regular_file() || (ext != ".gif" && ext != ".bmp") || item.file_size() > kLargestPublicFile)
                continue;
            if (QtDecodes(ts::ReadFileBytes(item.path().string())))
                decodable.push_back(item.path());
        }
    }
    std::sort(decodable.begin(), decodable.end());
    std::vector<fs::path> sample;
    const std::size_t count = std::min(kPublicSample, decodable.size());
    for (std::size_t i = 0; i < count; ++i)
        sample.push_back(decodable[i * decodable.size() / count]);
    std::cerr << decodable.size() << " public files that Qt decodes, " << sample.size() << " placed\n";
    return sample;
}

void PutPublic(Layout& flash, const fs::path& testdata)
{
    for (const fs::path& path : PublicSample(testdata)) {
        const Bytes bytes = ts::ReadFileBytes(path.string());
        if (!flash.Fits(bytes.size()))
            break;
        const bool gif = bytes.size() >= 4 && bytes[0] == 'G';
        const ItemType type = gif ? ItemType::Gif : ItemType::Bmp;
        const std::string status = (CheckPictureFault(type, bytes) == PictureFault::None) ? "complete" : "damaged";
        flash.Put(bytes, gif ? "gif" : "bmp", status, fs::relative(path, testdata).string());
    }
}

// --- tables ------------------------------------------------------------------

void WriteExpected(const std::string& path, const std::vector<Expected>& rows)
{
    std::ofstream out(path);
    out << "start\tend\ttype\tstatus\tentry\tsource\n";
    for (const Expected& row : rows)
        out << row.Start << '\t' << row.End << '\t' << row.Type << '\t' << row.Status << '\t' << row.Entry << '\t'
            << row.Source << '\n';
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t'))
        fields.push_back(field);
    if (!line.empty() && line.back() == '\t')
        fields.emplace_back();
    return fields;
}

std::vector<Expected> ReadExpected(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::vector<Expected> rows;
    while (std::getline(in, line)) {
        const auto f = SplitTabs(line);
        if (f.size() < 6)
            continue;
        rows.push_back({std::stoll(f[0]), std::stoll(f[1]), f[2], f[3], f[4], f[5]});
    }
    return rows;
}

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The carver's audit.txt: "N:\tNAME.EXT \t SIZE \t OFFSET \t COMMENT"; the carved
// file in CARVED/EXT/NAME.EXT gives the true size.
std::vector<Listed> ReadCarved(const fs::path& carved, const Bytes& image, int& differing)
{
    std::ifstream in(carved / "audit.txt");
    std::string line;
    std::vector<Listed> rows;
    while (std::getline(in, line)) {
        const auto f = SplitTabs(line);
        if (f.size() < 4 || f[0].empty() || !std::isdigit(static_cast<unsigned char>(f[0][0])) || f[0].back() != ':')
            continue;
        const std::string name = Trim(f[1]);
        const std::string ext = fs::path(name).extension().string().substr(1);
        const Bytes bytes = ts::ReadFileBytes((carved / ext / name).string());
        Listed row;
        row.Start = std::stoll(Trim(f[3]));
        row.End = row.Start + static_cast<int64_t>(bytes.size());
        row.Type = ext == "jpeg" ? "jpg" : ext == "zip" ? "jar" : ext;
        if (row.End > static_cast<int64_t>(image.size()) ||
            !std::equal(bytes.begin(), bytes.end(), image.begin() + row.Start))
            ++differing;
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end(), [](const Listed& a, const Listed& b) { return a.Start < b.Start; });
    return rows;
}

std::vector<Listed> SearchPictures(const Bytes& image, double& seconds)
{
    const auto begin = std::chrono::steady_clock::now();
    ScanHooks hooks;
    hooks.DecodeCheck = CheckPicture;
    const auto found = FindAllPictures(image, hooks);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::vector<Listed> rows;
    for (const FoundItem& picture : found.value())
        rows.push_back({picture.Start, picture.End, ContentTypeName(picture.Type), ItemStatusName(picture.Status),
                        Cp1251ToUtf8(picture.EntryName)});
    return rows;
}

std::vector<Listed> SearchContent(const Bytes& image, double& seconds)
{
    const auto begin = std::chrono::steady_clock::now();
    ScanHooks hooks;
    hooks.DecodeCheck = CheckPicture;
    const auto found = FindAllContent(image, hooks, CheckSound);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::vector<Listed> rows;
    for (const FoundItem& item : found.value().Items)
        rows.push_back(
            {item.Start, item.End, ItemTypeName(item), ItemStatusName(item.Status), Cp1251ToUtf8(item.EntryName)});
    return rows;
}

// --- scoring -----------------------------------------------------------------

struct Score {
    int Whole = 0, Exact = 0, WrongEnd = 0, Missed = 0, WrongStatus = 0;
    int Truncated = 0, TruncatedListed = 0, TruncatedMarked = 0;
    int Decoys = 0, DecoysListed = 0;
    int Named = 0, NamedRight = 0;
    int Others = 0;
};

std::string Describe(const Expected& e)
{
    std::ostringstream out;
    out << e.Type << " at " << e.Start << " (0x" << std::hex << e.Start << std::dec << ", " << e.Source << ")";
    return out.str();
}

std::map<std::string, Score> ScoreRows(const std::vector<Expected>& expected, const std::vector<Listed>& listed,
                                       bool hasStatus, std::vector<std::string>& notes)
{
    std::map<std::string, Score> scores;
    std::map<int64_t, const Listed*> byStart;
    for (const Listed& row : listed)
        byStart.emplace(row.Start, &row);
    std::vector<bool> accounted(listed.size(), false);
    auto mark = [&](const Listed* row) { accounted[static_cast<std::size_t>(row - listed.data())] = true; };

    for (const Expected& e : expected) {
        Score& s = scores[e.Type];
        const auto it = byStart.find(e.Start);
        const Listed* row = it == byStart.end() ? nullptr : it->second;
        if (row)
            mark(row);
        std::ostringstream got;
        if (row)
            got << row->Type << " " << row->Start << ".." << row->End << (row->Status.empty() ? "" : " ")
                << row->Status;
        if (e.Status == "decoy") {
            ++s.Decoys;
            for (const Listed& other : listed)
                if (other.Start >= e.Start && other.Start < e.End && &other != row) {
                    row = &other;
                    mark(row);
                }
            if (row) {
                ++s.DecoysListed;
                notes.push_back("decoy listed: " + Describe(e) + ": got " + row->Type + " " +
                                std::to_string(row->Start) + ".." + std::to_string(row->End) + " " + row->Status);
            }
            continue;
        }
        if (e.Status == "truncated") {
            ++s.Truncated;
            if (row)
                ++s.TruncatedListed;
            if (row && row->Status == "truncated")
                ++s.TruncatedMarked;
            else if (hasStatus || row)
                notes.push_back("truncated not marked: " + Describe(e) + ", bytes placed " + std::to_string(e.Start) +
                                ".." + std::to_string(e.End) + ": got " + (row ? got.str() : "nothing"));
            continue;
        }
        ++s.Whole;
        if (!e.Entry.empty())
            ++s.Named;
        if (!row) {
            ++s.Missed;
            notes.push_back("missed: " + Describe(e) + ", expected " + std::to_string(e.Start) + ".." +
                            std::to_string(e.End));
            continue;
        }
        if (row->End == e.End && row->Type == e.Type) {
            ++s.Exact;
        } else {
            ++s.WrongEnd;
            notes.push_back("wrong end: " + Describe(e) + ", expected " + std::to_string(e.Start) + ".." +
                            std::to_string(e.End) + " (" + std::to_string(e.End - e.Start) + " bytes), got " +
                            got.str() + " (" + std::to_string(row->End - row->Start) + " bytes)");
        }
        if (hasStatus && row->Status != e.Status) {
            ++s.WrongStatus;
            notes.push_back("status: " + Describe(e) + ", expected " + e.Status + ", got " + got.str());
        }
        if (!e.Entry.empty() && row->Entry == e.Entry)
            ++s.NamedRight;
        else if (!e.Entry.empty() && hasStatus)
            notes.push_back("name: " + Describe(e) + ", expected \"" + e.Entry + "\", got \"" + row->Entry + "\"");
    }
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (accounted[i])
            continue;
        const Listed& row = listed[i];
        ++scores[row.Type].Others;
        std::string where = "in erased flash";
        for (const Expected& e : expected)
            if (row.Start > e.Start && row.Start < e.End)
                where = "inside " + Describe(e);
        notes.push_back("other row: " + row.Type + " " + std::to_string(row.Start) + ".." + std::to_string(row.End) +
                        (row.Status.empty() ? "" : " " + row.Status) + ", " + where);
    }
    return scores;
}

void PrintTable(const std::string& title, const std::map<std::string, Score>& scores, bool hasStatus,
                const std::vector<std::string>& kinds)
{
    std::cout << "### " << title << "\n\n"
              << "| kind | whole items | found exact | wrong end | missed | wrong status | truncated | "
                 "truncated listed | marked truncated | decoys | decoys listed | in entries | named | other rows |\n"
              << "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
    Score total;
    auto line = [&](const std::string& kind, const Score& s) {
        std::cout << "| " << kind << " | " << s.Whole << " | " << s.Exact << " | " << s.WrongEnd << " | " << s.Missed
                  << " | " << (hasStatus ? std::to_string(s.WrongStatus) : "n/a") << " | " << s.Truncated << " | "
                  << s.TruncatedListed << " | " << s.TruncatedMarked << " | " << s.Decoys << " | " << s.DecoysListed
                  << " | " << s.Named << " | " << s.NamedRight << " | " << s.Others << " |\n";
    };
    for (const std::string& kind : kinds) {
        const auto it = scores.find(kind);
        const Score s = it == scores.end() ? Score{} : it->second;
        line(kind, s);
        total.Whole += s.Whole, total.Exact += s.Exact, total.WrongEnd += s.WrongEnd, total.Missed += s.Missed;
        total.WrongStatus += s.WrongStatus, total.Truncated += s.Truncated, total.TruncatedListed += s.TruncatedListed;
        total.TruncatedMarked += s.TruncatedMarked, total.Decoys += s.Decoys, total.DecoysListed += s.DecoysListed;
        total.Named += s.Named, total.NamedRight += s.NamedRight, total.Others += s.Others;
    }
    line("**all**", total);
    std::cout << '\n';
}

void PrintNotes(const std::vector<std::string>& notes)
{
    if (notes.empty()) {
        std::cout << "No differences from the expected table.\n\n";
        return;
    }
    for (const std::string& note : notes)
        std::cout << "- " << note << '\n';
    std::cout << '\n';
}

// Pieces of real programs' machine code: whatever chance hits they hold must
// not be listed.
void PutMachineCode(Layout& flash, const std::vector<fs::path>& programs)
{
    constexpr std::size_t kPiece = 96 * 1024;
    for (const fs::path& program : programs) {
        const Bytes code = ts::ReadFileBytes(program.string());
        for (std::size_t from = 4096; from + kPiece <= code.size() && from < 4 * kPiece; from += kPiece)
            flash.PutFiller(Bytes(code.begin() + static_cast<std::ptrdiff_t>(from),
                                  code.begin() + static_cast<std::ptrdiff_t>(from + kPiece)));
    }
}

int Build(const fs::path& dir, const fs::path& testdata, const std::vector<fs::path>& programs)
{
    Layout flash;
    PutMachineCode(flash, programs);
    PutGifs(flash);
    PutSounds(flash);
    PutBitmaps(flash);
    PutApplications(flash);
    PutJpegs(flash);
    PutFiles(flash);
    PutPngs(flash);
    PutEntries(flash);
    PutMachineCode(flash, programs);
    PutPublic(flash, testdata);
    const Bytes tail = ts::BuildBmp({.width = 40, .height = 30});
    flash.PutAtImageEnd(Cut(tail, 700), "bmp", "built: 24 bit 40x30 cut by the image's end");
    fs::create_directories(dir);
    std::ofstream((dir / "carving_image.bin").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(flash.Image().data()), static_cast<std::streamsize>(flash.Image().size()));
    WriteExpected((dir / "carving_expected.tsv").string(), flash.Rows());
    std::cerr << flash.Rows().size() << " rows expected, image " << flash.Image().size() << " bytes\n";
    return 0;
}

int ScoreAll(const fs::path& dir, const std::optional<fs::path>& carved, bool picturesOnly)
{
    const Bytes image = ts::ReadFileBytes((dir / "carving_image.bin").string());
    std::vector<Expected> expected = ReadExpected((dir / "carving_expected.tsv").string());
    std::vector<std::string> kinds(std::begin(kKinds), std::end(kKinds));
    if (picturesOnly) {
        kinds.assign(std::begin(kPictureKinds), std::end(kPictureKinds));
        std::erase_if(expected, [&kinds](const Expected& row) {
            return std::find(kinds.begin(), kinds.end(), row.Type) == kinds.end();
        });
    }
    if (image.empty() || expected.empty()) {
        std::cerr << "no image or expected table in " << dir << '\n';
        return 2;
    }
    double seconds = 0;
    const std::vector<Listed> rows = picturesOnly ? SearchPictures(image, seconds) : SearchContent(image, seconds);
    {
        std::ofstream out((dir / "kestrix_rows.tsv").string());
        out << "start\tend\ttype\tstatus\tentry\n";
        for (const Listed& row : rows)
            out << row.Start << '\t' << row.End << '\t' << row.Type << '\t' << row.Status << '\t' << row.Entry << '\n';
    }
    std::vector<std::string> notes;
    const auto ours = ScoreRows(expected, rows, true, notes);
    char timing[64];
    std::snprintf(timing, sizeof timing, "%.3f", seconds);
    PrintTable(std::string(picturesOnly ? "Deep picture search (FindAllPictures + CheckPicture)"
                                        : "Content search (FindAllContent + CheckPicture + CheckSound)") +
                   ": " + std::to_string(rows.size()) + " rows, " + timing + " s",
               ours, true, kinds);
    PrintNotes(notes);
    if (carved) {
        int differing = 0;
        std::vector<Listed> carvedRows = ReadCarved(*carved, image, differing);
        if (picturesOnly)
            std::erase_if(carvedRows, [&kinds](const Listed& row) {
                return std::find(kinds.begin(), kinds.end(), row.Type) == kinds.end();
            });
        notes.clear();
        const auto theirs = ScoreRows(expected, carvedRows, false, notes);
        PrintTable("Carver: " + std::to_string(carvedRows.size()) + " files carved" +
                       (differing ? ", " + std::to_string(differing) + " differ from the image at their offset" : ""),
                   theirs, false, kinds);
        PrintNotes(notes);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "build" && argc >= 4)
        return Build(argv[2], argv[3], std::vector<fs::path>(argv + 4, argv + argc));
    if (mode == "score" && argc >= 3) {
        std::optional<fs::path> carved;
        bool picturesOnly = false;
        for (int i = 3; i < argc; ++i) {
            if (std::string(argv[i]) == "--pictures")
                picturesOnly = true;
            else
                carved = argv[i];
        }
        return ScoreAll(argv[2], carved, picturesOnly);
    }
    std::cerr << "usage: carving_compare build DIR TESTDATA [CODE...] | carving_compare score DIR [CARVED] "
                 "[--pictures]\n";
    return 2;
}

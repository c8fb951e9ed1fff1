#include "content_image_builder.h"

#include "code_page.h"
#include "flash_image_builder.h"
#include "jar_builders.h"
#include "picture_builders.h"
#include "sound_builders.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

namespace kestrix::test_support {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::size_t kFileEntryNameDistance = 89;
constexpr std::size_t kFileEntryDataDistance = 38;
// Longer than any run a walk may take for data: the cut of the GIF before it
// must be decided by the run itself, not by what follows.
constexpr std::size_t kLongErasedRun = 64 * 1024;

// Bytes that look like a phone's program: 32-bit little-endian instruction
// words with the "always" condition, 16-bit Thumb-like halfwords, literal
// pools of small numbers and addresses. The same for the same seed.
Bytes MachineCodeLike(std::size_t count, uint32_t seed)
{
    Bytes bytes;
    bytes.reserve(count + 4);
    uint64_t state = 0x2545F4914F6CDD1Dull ^ seed;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    while (bytes.size() < count) {
        const uint64_t r = next();
        switch (r % 4) {
        case 0:  // ARM word, condition E
            PutLe32(bytes, 0xE0000000u | static_cast<uint32_t>(r >> 8 & 0x0FFFFFFFu));
            break;
        case 1:  // two Thumb halfwords
            PutLe16(bytes, static_cast<uint32_t>(0x4000u | (r >> 16 & 0x3FFFu)));
            PutLe16(bytes, static_cast<uint32_t>(0xB000u | (r >> 32 & 0x0FFFu)));
            break;
        case 2:  // a literal: a small number
            PutLe32(bytes, static_cast<uint32_t>(r >> 40 & 0xFFu));
            break;
        default:  // a literal: an address in flash
            PutLe32(bytes, 0x01000000u | static_cast<uint32_t>(r >> 24 & 0x00FFFFFCu));
            break;
        }
    }
    bytes.resize(count);
    return bytes;
}

// Appends pieces to a growing image, each after a gap of erased flash of a
// few hundred bytes; every other piece starts at an odd offset.
class Layout {
public:
    explicit Layout(const Bytes& code) : m_code(code), m_image(4096, 0xFF) {}

    // bytes after a gap, expected as an item of type and status ending at
    // start + expectedSize (the whole piece when 0).
    std::size_t Put(const Bytes& bytes, ItemType type, ItemStatus status, const std::string& what,
                    std::size_t expectedSize = 0)
    {
        const std::size_t at = Place(bytes, true);
        Expect(at, at + (expectedSize ? expectedSize : bytes.size()), type, status, {}, what);
        return at;
    }

    // bytes right after the previous piece, with no gap.
    std::size_t PutAdjacent(const Bytes& bytes, ItemType type, ItemStatus status, const std::string& what)
    {
        const std::size_t at = Place(bytes, false);
        Expect(at, at + bytes.size(), type, status, {}, what);
        return at;
    }

    void PutDecoy(const Bytes& bytes, const std::string& what)
    {
        const std::size_t at = Place(bytes, true);
        m_decoys.push_back({static_cast<int32_t>(at), what});
    }

    // A file-system entry called name (UTF-8) stating size and holding data,
    // expected as an item of type and status ending at end (0: the stated end).
    // Returns the offset of its data.
    std::size_t PutEntry(const std::string& name, const Bytes& data, uint32_t size, ItemType type, ItemStatus status,
                         const std::string& what, std::size_t end = 0)
    {
        const std::size_t at = m_image.size() + Gap();
        const std::size_t h = at + kFileEntryNameDistance;
        const std::size_t dataAt = h + kFileEntryDataDistance;
        m_image.resize(dataAt + data.size(), 0xFF);
        FlashImageBuilder block(kFileEntryNameDistance + kFileEntryDataDistance + data.size());
        block.PutFileEntry(kFileEntryNameDistance, Utf8ToCp1251(name), size,
                           std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
        std::copy(block.Bytes().begin(), block.Bytes().end(), m_image.begin() + static_cast<std::ptrdiff_t>(at));
        if (status != kNotListed)
            Expect(dataAt, end ? end : dataAt + size, type, status, Utf8ToCp1251(name), what);
        return dataAt;
    }

    // Machine-code-like bytes (the given program's bytes when there are any).
    void PutCode(std::size_t count, bool gap = true)
    {
        Bytes bytes;
        if (m_code.empty()) {
            bytes = MachineCodeLike(count, static_cast<uint32_t>(m_image.size()));
        } else {
            const std::size_t from = (m_codeAt + count <= m_code.size()) ? m_codeAt : 0;
            const std::size_t n = std::min(count, m_code.size() - from);
            bytes.assign(m_code.begin() + static_cast<std::ptrdiff_t>(from),
                         m_code.begin() + static_cast<std::ptrdiff_t>(from + n));
            m_codeAt = from + n;
        }
        Place(bytes, gap);
    }

    // A run of erased flash, right after the previous piece when adjacent.
    void PutRun(std::size_t count, uint8_t value, bool adjacent = false) { Place(Bytes(count, value), !adjacent); }

    void Expect(std::size_t start, std::size_t end, ItemType type, ItemStatus status, std::string entry,
                const std::string& what)
    {
        m_items.push_back(
            {type, status, static_cast<int32_t>(start), static_cast<int32_t>(end), std::move(entry), what});
    }

    std::size_t Size() const { return m_image.size(); }
    ExpectedItem& Last() { return m_items.back(); }

    ContentImage Finish()
    {
        std::stable_sort(m_items.begin(), m_items.end(),
                         [](const ExpectedItem& a, const ExpectedItem& b) { return a.Start < b.Start; });
        return {std::move(m_image), std::move(m_items), std::move(m_decoys)};
    }

    // An entry placed for its effect on others, listed under another rule.
    static constexpr ItemStatus kNotListed = static_cast<ItemStatus>(0xFF);

private:
    std::size_t Gap()
    {
        ++m_pieces;
        const std::size_t gap = 200 + (m_pieces * 7919) % 700;
        const std::size_t at = m_image.size() + gap;
        return (m_pieces % 2 ? at | 1 : at & ~std::size_t{1}) - m_image.size();
    }

    std::size_t Place(const Bytes& bytes, bool gap)
    {
        if (gap)
            m_image.resize(m_image.size() + Gap(), 0xFF);
        const std::size_t at = m_image.size();
        m_image.insert(m_image.end(), bytes.begin(), bytes.end());
        return at;
    }

    const Bytes& m_code;
    std::size_t m_codeAt = 0;
    Bytes m_image;
    std::vector<ExpectedItem> m_items;
    std::vector<PlacedDecoy> m_decoys;
    std::size_t m_pieces = 0;
};

void PutPictures(Layout& flash, bool openTraps)
{
    const Bytes gif = BuildGif({});
    const Bytes animation = BuildGif({.frames = 3, .localPaletteFrame = 1});
    const Bytes png = BuildPng({.width = 30, .height = 20, .idatChunks = 3});
    const Bytes jpeg = BuildJpeg({});
    flash.Put(gif, ItemType::Gif, ItemStatus::Complete, "GIF89a");
    flash.Put(BuildGif({.gif87a = true}), ItemType::Gif, ItemStatus::Complete, "GIF87a");
    flash.Put(BuildGif({.comment = std::string("\0\x3B", 2)}), ItemType::Gif, ItemStatus::Complete,
              "GIF with 00 3B in a comment");
    flash.PutCode(3000);
    flash.PutAdjacent(animation, ItemType::Gif, ItemStatus::Complete, "animated GIF among machine code");
    flash.PutCode(2000, false);
    flash.Put(Cut(animation, Find(animation, {0x21, 0xF9}, 1)), ItemType::Gif, ItemStatus::Truncated,
              "GIF cut before its second frame");
    // Cut inside a sub-block: a walk that read the erased bytes as blocks of
    // 255 would land in the GIF after the run and take its trailer.
    flash.Put(Cut(BuildGif({.width = 200, .height = 200}), 337), ItemType::Gif, ItemStatus::Truncated,
              "GIF cut in its image data, then a long run of erased flash");
    flash.PutRun(kLongErasedRun, 0xFF, true);
    flash.PutAdjacent(gif, ItemType::Gif, ItemStatus::Complete, "GIF after the long erased run");
    flash.Put(Cut(BuildGif({.width = 200, .height = 200}), 337), ItemType::Gif, ItemStatus::Truncated,
              "GIF cut in its image data, then 64 bytes of erased flash");
    flash.PutRun(64, 0xFF, true);
    flash.PutAdjacent(BuildGif({.width = 200, .height = 200}), ItemType::Gif, ItemStatus::Complete,
                      "GIF after the short erased run");
    // An encoder keeping its full table writes the uniform rows as code 4095
    // again and again: runs of FFh that are data.
    Bytes pixels = Garbage(18620, 7);
    for (uint8_t& pixel : pixels)
        pixel &= 3;
    pixels.resize(97 * 400, 0);
    flash.Put(BuildGif({.width = 400,
                        .height = 97,
                        .images = {{.width = 400, .height = 97, .pixels = pixels, .style = LzwStyle::KeepFullTable}}}),
              ItemType::Gif, ItemStatus::Complete, "GIF whose full LZW table writes runs of FFh");
    flash.Put(BuildBmp({.bits = 8, .width = 16, .height = 16}), ItemType::Bmp, ItemStatus::Complete, "8-bit bitmap");
    flash.PutCode(1500);
    flash.PutAdjacent(BuildBmp({.headerSize = 124, .bits = 32, .width = 6, .height = 6}), ItemType::Bmp,
                      ItemStatus::Complete, "V5 32-bit bitmap among machine code");
    flash.PutCode(1500, false);
    if (openTraps) {
        flash.Put(Cut(BuildBmp({.width = 40, .height = 30}), 700), ItemType::Bmp, ItemStatus::Truncated,
                  "bitmap cut by erased flash, pictures within its stated size");
        flash.Put(jpeg, ItemType::Jpeg, ItemStatus::Complete, "JPEG inside a cut bitmap's stated size");
    }
    flash.Put(jpeg, ItemType::Jpeg, ItemStatus::Complete, "baseline JPEG");
    flash.Put(BuildJpeg({.thumbnail = true}), ItemType::Jpeg, ItemStatus::Complete,
              "JPEG with a thumbnail and its FF D9");
    flash.Put(Cut(jpeg, Find(jpeg, {0xFF, 0xDA}) + 11), ItemType::Jpeg, ItemStatus::Truncated, "JPEG cut in its scan");
    flash.PutRun(3000, 0x00);
    flash.Put(png, ItemType::Png, ItemStatus::Complete, "PNG of three IDAT after zeros");
    flash.Put(BuildPng({.text = "IEND\xAE\x42\x60\x82"}), ItemType::Png, ItemStatus::Complete,
              "PNG with IEND in a text chunk");
    // A cut chunk-walked item ends with its last whole chunk.
    const std::size_t secondIdat = Find(png, {'I', 'D', 'A', 'T'}, 1) - 4;
    flash.Put(Cut(png, secondIdat + 30), ItemType::Png, ItemStatus::Truncated, "PNG cut in its second IDAT",
              secondIdat);
    flash.PutDecoy(Then(Cut(gif, 6), Garbage(200, 1)), "GIF89a + garbage");
    flash.PutDecoy(Then({'B', 'M'}, Garbage(100, 2)), "BM + garbage");
    flash.PutDecoy(Then({0xFF, 0xD8, 0xFF}, Garbage(200, 4)), "FF D8 FF + garbage");
    flash.PutDecoy(Then(Cut(png, 8), Garbage(100, 5)), "PNG signature + garbage");
}

void PutSounds(Layout& flash)
{
    const Bytes midi = BuildMidi({});
    flash.Put(midi, ItemType::Midi, ItemStatus::Complete, "MIDI type 1");
    flash.PutCode(2500);
    flash.PutAdjacent(BuildMidi({.format = 0, .declaredTracks = 1, .tracks = 1}), ItemType::Midi, ItemStatus::Complete,
                      "MIDI type 0 among machine code");
    flash.PutCode(2500, false);
    flash.Put(BuildMidi({.unknownChunk = true}), ItemType::Midi, ItemStatus::Complete, "MIDI with an unknown chunk");
    const std::size_t lastTrack = Find(midi, {'M', 'T', 'r', 'k'}, 1);
    flash.Put(Cut(midi, midi.size() - 20), ItemType::Midi, ItemStatus::Truncated, "MIDI cut in its last track",
              lastTrack);
    const Bytes amr = BuildAmr({.frameTypes = std::vector<uint8_t>(60, 7)});
    flash.Put(amr, ItemType::Amr, ItemStatus::Complete, "AMR-NB");
    flash.Put(BuildAmr({.frameTypes = {7, 8, 15, 15, 15, 8, 15, 15, 15, 15, 8, 15, 15, 7}}), ItemType::Amr,
              ItemStatus::Complete, "AMR-NB with silence and no-data frames");
    // A 12.2 kbit/s frame is 32 bytes with its header: the last one is cut.
    flash.Put(Cut(amr, amr.size() - 9), ItemType::Amr, ItemStatus::Truncated, "AMR-NB cut in a frame by erased flash",
              amr.size() - 32);
    flash.PutRun(2000, 0x00);
    flash.Put(BuildAmr({.wide = true, .frameTypes = std::vector<uint8_t>(40, 8)}), ItemType::AmrWb,
              ItemStatus::Complete, "AMR-WB after zeros");
    const Bytes mp3 = BuildMp3({.frames = 20});
    const std::size_t frame = Mp3FrameSize({.frames = 20});
    flash.Put(mp3, ItemType::Mp3, ItemStatus::Complete, "MP3 without tags");
    flash.Put(BuildMp3({.frames = 12, .id3 = true, .ape = true, .id3v1 = true}), ItemType::Mp3, ItemStatus::Complete,
              "MP3 with ID3v2, APE and ID3v1 tags");
    flash.Put(BuildMp3({.version = 2, .layer = 2, .frames = 10, .mono = true, .id3 = true, .id3Footer = true}),
              ItemType::Mp3, ItemStatus::Complete, "MPEG-2 Layer II with an ID3v2 footer");
    flash.Put(Cut(mp3, frame * 10 + 50), ItemType::Mp3, ItemStatus::Truncated, "MP3 cut in its 11th frame", frame * 10);
    flash.PutCode(1000);
    flash.PutAdjacent(BuildRiff({}), ItemType::Wav, ItemStatus::Complete, "WAV PCM among machine code");
    flash.PutCode(1000, false);
    flash.Put(BuildRiff({.formatTag = 17, .dataBytes = 256 * 8}), ItemType::Wav, ItemStatus::Complete, "WAV IMA ADPCM");
    flash.Put(BuildRiff({.oddChunk = true}), ItemType::Wav, ItemStatus::Complete, "WAV with an odd chunk");
    flash.Put(BuildRiff({.riffSize = 0}), ItemType::Wav, ItemStatus::Complete, "WAV whose RIFF size is 0");
    flash.Put(BuildRiff({.riffSize = 0xFFFFFFFF}), ItemType::Wav, ItemStatus::Complete,
              "WAV whose RIFF size is FFFFFFFFh");
    flash.Put(BuildRiff({.form = "QLCM"}), ItemType::Qcp, ItemStatus::Complete, "QCP");
    flash.Put(BuildRiff({.form = "RMID"}), ItemType::Rmid, ItemStatus::Complete, "RMID");
    flash.Put(BuildImelody({}), ItemType::Imelody, ItemStatus::Complete, "iMelody, CR LF lines");
    flash.Put(BuildImelody({.lineEnd = "\n", .finalLineEnd = false}), ItemType::Imelody, ItemStatus::Complete,
              "iMelody, LF lines, no last line end");
    flash.Put(BuildSmaf({.tracks = 2}), ItemType::Smaf, ItemStatus::Complete, "SMAF");
    flash.PutDecoy(Then(Cut(midi, 14), Garbage(100, 21)), "MThd + garbage");
    flash.PutDecoy(Then(Bytes{'#', '!', 'A', 'M', 'R', '\n'}, Garbage(60, 22)), "#!AMR + garbage");
    flash.PutDecoy(Cut(mp3, frame * 3), "three MP3 frames");
    flash.PutDecoy(Then(Cut(BuildRiff({}), 12), Garbage(80, 23)), "RIFF WAVE + garbage");
}

void PutApplications(Layout& flash)
{
    const Bytes snake = BuildJar(MidletPlan("Snake"));
    flash.Put(snake, ItemType::Jar, ItemStatus::Complete, "JAR with data descriptors");
    flash.Put(BuildJar(MidletPlan("Outer", BuildJar(MidletPlan("Inner")))), ItemType::Jar, ItemStatus::Complete,
              "JAR stored inside a JAR");
    JarPlan stored = MidletPlan("Stored");
    for (JarFile& file : stored.files)
        file.deflated = false, file.descriptor = false;
    flash.PutCode(2000);
    flash.PutAdjacent(BuildJar(stored), ItemType::Jar, ItemStatus::Complete, "JAR of stored files among code");
    flash.PutCode(2000, false);
    // Cut in the last file's data descriptor: the archive ends with its last whole file.
    const JarPlan tetrisPlan = MidletPlan("Tetris");
    const Bytes tetris = BuildJar(tetrisPlan);
    const std::size_t cut = CentralDirectoryOf(tetris) - 5;
    flash.Put(Cut(tetris, cut), ItemType::Jar, ItemStatus::Truncated,
              "JAR cut before its directory, another JAR right after it",
              LocalHeaderOf(tetris, tetrisPlan.files.back().name));
    flash.PutAdjacent(snake, ItemType::Jar, ItemStatus::Complete, "the JAR after a cut one");
    flash.Put(TextBytes(MidletDescriptor("Snake", snake.size())), ItemType::Jad, ItemStatus::Complete,
              "descriptor of a JAR no entry names");
    flash.PutDecoy(Then({'P', 'K', 3, 4}, Garbage(200, 24)), "PK 03 04 + garbage");
    flash.PutDecoy(TextBytes("MIDlet-Name: Lonely\r\n"), "one MIDlet line");
}

void PutFiles(Layout& flash)
{
    const Bytes ring = BuildMidi({.notes = 8});
    flash.PutEntry("Звонок.mid", ring, static_cast<uint32_t>(ring.size()), ItemType::Midi, ItemStatus::Complete,
                   "entry: MIDI");
    const Bytes voice = BuildAmr({.frameTypes = {7, 7, 8, 15, 15, 15, 15, 8, 7, 7, 7, 7}});
    flash.PutEntry("Запись 1.amr", voice, static_cast<uint32_t>(voice.size()), ItemType::Amr, ItemStatus::Complete,
                   "entry: AMR with silence frames");
    flash.PutEntry("Запись 2.amr", voice, static_cast<uint32_t>(voice.size() + 300), ItemType::Amr,
                   ItemStatus::Truncated, "entry: AMR whose size runs into erased flash");
    const Bytes racer = BuildJar(MidletPlan("Racer"));
    flash.PutEntry("Racer.jar", racer, static_cast<uint32_t>(racer.size()), ItemType::Jar, ItemStatus::Complete,
                   "entry: JAR");
    flash.Put(TextBytes(MidletDescriptor("Racer", racer.size())), ItemType::Jad, ItemStatus::Complete,
              "descriptor naming the entry's JAR, right size");
    flash.Put(TextBytes(MidletDescriptor("Racer", racer.size() + 1)), ItemType::Jad, ItemStatus::Complete,
              "descriptor naming the entry's JAR, another size: judged by its text");
    const Bytes racerJad = TextBytes(MidletDescriptor("Racer", racer.size()));
    flash.PutEntry("Racer.jad", racerJad, static_cast<uint32_t>(racerJad.size()), ItemType::Jad, ItemStatus::Complete,
                   "entry: descriptor");
    const Bytes song = BuildMp3({.frames = 8, .id3 = true});
    flash.PutEntry("Песня.mp3", song, static_cast<uint32_t>(song.size()), ItemType::Mp3, ItemStatus::Complete,
                   "entry: MP3");
    const Bytes screen = BuildGif({.frames = 3, .delay = 0x3B00});
    flash.PutEntry("Заставка.gif", screen, static_cast<uint32_t>(screen.size()), ItemType::Gif, ItemStatus::Complete,
                   "entry: animated GIF");
    const Bytes icon = BuildPng({});
    flash.PutEntry("broken.png", Then(icon, Garbage(100, 30)), static_cast<uint32_t>(icon.size() + 100), ItemType::Png,
                   ItemStatus::Complete, "entry: PNG ending inside its entry, other bytes after");
    flash.PutEntry("Фон.jpg", BuildJpeg({.progressive = true}),
                   static_cast<uint32_t>(BuildJpeg({.progressive = true}).size()), ItemType::Jpeg, ItemStatus::Complete,
                   "entry: progressive JPEG");
    const std::string text = "The phone's own settings, 1=2\n";
    flash.PutEntry("settings.txt", TextBytes(text), static_cast<uint32_t>(text.size()), ItemType::File,
                   ItemStatus::Unchecked, "entry: text file");
    flash.PutEntry("settings.txt", TextBytes(text + "3=4\n"), static_cast<uint32_t>(text.size() + 4), ItemType::File,
                   Layout::kNotListed, "entry: a second file of the same name");
    flash.PutCode(3000);
    // Its stated size runs over the next entry: cut where that entry's name begins.
    flash.PutEntry("big.dat", Garbage(3000, 25), 1u << 20, ItemType::File, ItemStatus::Truncated,
                   "entry: size crossing the next entry's signature");
    ExpectedItem& big = flash.Last();
    const std::size_t small = flash.PutEntry("small.dat", Garbage(40, 26), 40, ItemType::File, ItemStatus::Unchecked,
                                             "entry: after a crossing one");
    big.End = static_cast<int32_t>(small - kFileEntryDataDistance - kFileEntryNameDistance);
}

}  // namespace

ContentImage BuildContentImage(const ContentImagePlan& plan)
{
    Layout flash(plan.machineCode);
    PutPictures(flash, plan.openTraps);
    PutSounds(flash);
    PutApplications(flash);
    PutFiles(flash);
    for (bool code = true; flash.Size() < plan.minSize; code = !code) {
        const std::size_t count = std::min<std::size_t>(code ? 200000 : 100000, plan.minSize - flash.Size());
        if (code)
            flash.PutCode(count);
        else
            flash.PutRun(count, flash.Size() % 2 ? 0xFF : 0x00);
    }
    // Last: an entry whose stated size runs past the image's end.
    const Bytes tail = Garbage(500, 27);
    flash.PutEntry("tail.dat", tail, 1u << 20, ItemType::File, ItemStatus::Truncated,
                   "entry: size crossing the image's end");
    flash.Last().End = static_cast<int32_t>(flash.Size());
    return flash.Finish();
}

}  // namespace kestrix::test_support

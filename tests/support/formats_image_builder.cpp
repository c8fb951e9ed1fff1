#include "formats_image_builder.h"

#include "code_page.h"
#include "flash_image_builder.h"
#include "jar_builders.h"
#include "picture_builders.h"
#include "sound_builders.h"

#include <string>

namespace kestrix::test_support {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::size_t kNameDistance = 89;
constexpr std::size_t kDataDistance = 38;

class FormatsLayout {
public:
    FormatsLayout() : m_image(1000, 0xFF) {}

    // bytes after a gap of erased flash, every other piece at an odd offset.
    std::size_t Place(const Bytes& bytes)
    {
        ++m_pieces;
        std::size_t at = m_image.size() + 300 + (m_pieces * 131) % 200;
        at = m_pieces % 2 != 0 ? at | 1 : at & ~std::size_t{1};
        m_image.resize(at, 0xFF);
        m_image.insert(m_image.end(), bytes.begin(), bytes.end());
        return at;
    }

    void Whole(const Bytes& bytes, ItemType type, const std::string& what)
    {
        const std::size_t at = Place(bytes);
        Expect(type, ItemStatus::Complete, at, at + bytes.size(), {}, what);
    }

    void Flagged(const Bytes& bytes, ItemType type, ItemStatus status, const std::string& what)
    {
        Expect(type, status, Place(bytes), 0, {}, what);
    }

    // A file-system entry called name (UTF-8) holding bytes whole.
    void Entry(const std::string& name, const Bytes& bytes, ItemType type, ItemStatus status, const std::string& what)
    {
        FlashImageBuilder block(kNameDistance + kDataDistance + bytes.size());
        const std::string cp1251 = Utf8ToCp1251(name);
        block.PutFileEntry(kNameDistance, cp1251, static_cast<uint32_t>(bytes.size()),
                           std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        const std::size_t data = Place(block.Bytes()) + kNameDistance + kDataDistance;
        Expect(type, status, data, data + bytes.size(), cp1251, what);
    }

    // count more bytes of erased flash.
    void Pad(std::size_t count) { m_image.resize(m_image.size() + count, 0xFF); }

    ContentImage Finish()
    {
        m_image.resize(m_image.size() + 1000, 0xFF);
        return {std::move(m_image), std::move(m_items), {}};
    }

private:
    void Expect(ItemType type, ItemStatus status, std::size_t start, std::size_t end, std::string entry,
                const std::string& what)
    {
        m_items.push_back(
            {type, status, static_cast<int32_t>(start), static_cast<int32_t>(end), std::move(entry), what});
    }

    Bytes m_image;
    std::vector<ExpectedItem> m_items;
    std::size_t m_pieces = 0;
};

Bytes Imelody(const std::string& name, const std::string& melody)
{
    return TextBytes("BEGIN:IMELODY\r\nVERSION:1.2\r\nFORMAT:CLASS1.0\r\nNAME:" + Utf8ToCp1251(name) +
                     "\r\nBEAT:140\r\nSTYLE:S0\r\nMELODY:" + melody + "\r\nEND:IMELODY\r\n");
}

}  // namespace

ContentImage BuildFormatsImage()
{
    const Bytes jar = BuildJar(MidletPlan("Snake"));
    std::string descriptor = MidletDescriptor("Snake", jar.size());
    descriptor.replace(descriptor.find("MIDlet-Name: Snake"), 18, "MIDlet-Name: " + Utf8ToCp1251("Змейка"));
    const struct {
        ItemType type;
        Bytes bytes;
        const char* name;
    } samples[] = {
        {ItemType::Gif, BuildGif({.frames = 2}), "Заставка.gif"},
        {ItemType::Bmp, BuildBmp({}), "Фон.bmp"},
        {ItemType::Jpeg, BuildJpeg({}), "Фото.jpg"},
        {ItemType::Png, BuildPng({.width = 30, .height = 20, .idatChunks = 3}), "Значок.png"},
        {ItemType::Midi, BuildMidi({.notes = 8}), "Звонок.mid"},
        {ItemType::Rmid, BuildRiff({.form = "RMID"}), "Звонок.rmi"},
        {ItemType::Amr, BuildAmr({}), "Запись.amr"},
        {ItemType::AmrWb, BuildAmr({.wide = true}), "Запись.awb"},
        {ItemType::Mp3, BuildMp3({.version = 2, .layer = 2, .frames = 12, .mono = true, .id3 = true}), "Песня.mp3"},
        {ItemType::Wav, BuildRiff({}), "Голос.wav"},
        {ItemType::Qcp, BuildRiff({.form = "QLCM", .qcpPackets = 40}), "Диктофон.qcp"},
        {ItemType::Qcp, BuildRiff({.form = "QLCM", .qcpCodec = QcpPlanCodec::Evrc, .qcpPackets = 40}),
         "Диктофон 2.qcp"},
        {ItemType::Imelody, Imelody("Звонок", "*5c3e3g3(c2r3@2)&b1."), "Звонок.imy"},
        {ItemType::Smaf, BuildSmaf({.tracks = 2}), "Звонок.mmf"},
        {ItemType::Smaf, BuildSmaf({.tracks = 1, .audioMs = 300}), "Голос.mmf"},
        {ItemType::Jar, jar, "Snake.jar"},
        {ItemType::Jad, TextBytes(descriptor), "Snake.jad"},
    };
    FormatsLayout layout;
    layout.Flagged(BuildSmaf({.badCrc = true}), ItemType::Smaf, ItemStatus::Damaged, "SMAF with a bad CRC");
    layout.Entry("Плохой.mmf", BuildSmaf({.tracks = 3, .badCrc = true}), ItemType::Smaf, ItemStatus::Damaged,
                 "SMAF entry with a bad CRC");
    layout.Flagged(BuildSmaf({.audioMs = 200, .noSequence = true}), ItemType::Smaf, ItemStatus::Damaged,
                   "SMAF whose audio track does not decode");
    layout.Flagged(Imelody("Ошибка", "c2d2x9"), ItemType::Imelody, ItemStatus::Damaged,
                   "iMelody with a letter off its grammar");
    Bytes noCodec = BuildRiff({.form = "QLCM", .qcpPackets = 3});
    for (std::size_t p = noCodec.size() - 3 * 35; p < noCodec.size(); ++p)
        noCodec[p] = 0x3C;
    layout.Flagged(noCodec, ItemType::Qcp, ItemStatus::Damaged, "QCP whose packets have no rate");
    layout.Flagged(BuildMidi({.notes = 0}), ItemType::Midi, ItemStatus::Damaged, "MIDI without notes");
    layout.Entry("Заметки.txt", TextBytes("Купить хлеб\r\n"), ItemType::File, ItemStatus::Unchecked,
                 "an entry of no known format");
    for (const auto& sample : samples) {
        const std::string name = sample.name;
        layout.Whole(sample.bytes, sample.type, name + " on its own");
        // A descriptor as an entry's data is listed as a file of no format:
        // the content search finds descriptors by their "MIDlet-" lines only.
        if (sample.type != ItemType::Jad)
            layout.Entry(name, sample.bytes, sample.type, ItemStatus::Complete, name + " as an entry");
        // Erased flash after a cut bitmap reads as its pixels (an open trap of
        // the content search), after a cut WAV's samples as more samples: the
        // WAV is cut in its headers.
        if (sample.type == ItemType::Bmp)
            continue;
        layout.Flagged(Cut(sample.bytes, sample.type == ItemType::Wav ? 40 : sample.bytes.size() * 3 / 5), sample.type,
                       ItemStatus::Truncated, name + " cut by erased flash");
        // A cut RIFF file's stated size still reaches past the cut: what lies
        // there is its.
        layout.Pad(sample.bytes.size());
    }
    return layout.Finish();
}

}  // namespace kestrix::test_support

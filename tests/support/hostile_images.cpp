#include "hostile_images.h"

#include "jar_builders.h"

#include <algorithm>
#include <string>

namespace kestrix::test_support {
namespace {

using Bytes = std::vector<uint8_t>;

void PutLe16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(Bytes& out, uint32_t value)
{
    PutLe16(out, value & 0xFFFF);
    PutLe16(out, value >> 16);
}

void Append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

void Append(Bytes& out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// Local headers named "a" (2,100 in an image of a few MB, fewer in a small
// one) whose extra fields all end where the group's data start, then those
// data: non-final stored deflate blocks of zeros (a stream that never ends) or
// plain zeros.
Bytes SharedDataGroup(bool deflated, std::size_t size)
{
    const auto kHeaders = static_cast<uint32_t>(std::clamp<std::size_t>(size / 512, 8, 2100));
    constexpr uint32_t kHeaderSize = 31;
    const std::size_t kData = std::clamp<std::size_t>(size / 8, 1024, 256 * 1024);
    Bytes out;
    for (uint32_t k = 0; k < kHeaders; ++k) {
        PutLe32(out, 0x04034B50);
        PutLe16(out, 20);
        PutLe16(out, 0x0008);
        PutLe16(out, deflated ? 8 : 0);
        PutLe32(out, 0);  // time and date
        PutLe32(out, 0);  // CRC
        PutLe32(out, 0);  // sizes
        PutLe32(out, 0);
        PutLe16(out, 1);
        PutLe16(out, (kHeaders - 1 - k) * kHeaderSize);
        out.push_back('a');
    }
    if (!deflated) {
        out.resize(out.size() + kData, 0);
        return out;
    }
    for (std::size_t written = 0; written < kData; written += 1024 + 5) {
        out.push_back(0x00);
        PutLe16(out, 1024);
        PutLe16(out, 0xFFFF ^ 1024);
        out.resize(out.size() + 1024, 0);
    }
    return out;
}

Bytes FileEntry(const std::string& name, const Bytes& data)
{
    Bytes out(89, 0);
    for (std::size_t i = 0; i < name.size(); ++i)
        out[2 * i] = static_cast<uint8_t>(name[i]);
    Append(out, Bytes{0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00});
    out.resize(out.size() + 31, 0);
    const std::size_t sizeAt = out.size() - 38 + 22;
    const auto size = static_cast<uint32_t>(data.size());
    for (int i = 0; i < 4; ++i)
        out[sizeAt + static_cast<std::size_t>(i)] = static_cast<uint8_t>(size >> (24 - 8 * i));
    Append(out, data);
    return out;
}

Bytes MidiOf(const Bytes& events)
{
    Bytes out;
    Append(out, std::string_view("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14));
    Append(out, "MTrk");
    const auto size = static_cast<uint32_t>(events.size());
    for (const int shift : {24, 16, 8, 0})
        out.push_back(static_cast<uint8_t>(size >> shift));
    Append(out, events);
    return out;
}

// One repeat of kind; index numbers the repeats.
Bytes Unit(HostileKind kind, std::size_t index, std::size_t size)
{
    switch (kind) {
    case HostileKind::RiffChains:
        return {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'J', 'U', 'N', 'K', 12, 0, 0, 0};
    case HostileKind::JadLines: return {'M', 'I', 'D', 'l', 'e', 't', '-', '1', ':', ' ', 'x', '\n'};
    case HostileKind::JarSharedInflate: return SharedDataGroup(true, size);
    case HostileKind::JarSharedStored: return SharedDataGroup(false, size);
    case HostileKind::JadJarPairs: {
        const std::string name = "g" + std::to_string(index) + ".jar";
        const Bytes jar = BuildJar({.files = {{.name = "a", .data = {'x'}, .deflated = false, .descriptor = false}}});
        Bytes out;
        Append(out, "\nMIDlet-Jar-URL: " + name + "\nMIDlet-Jar-Size: " + std::to_string(jar.size()) + "\n");
        Append(out, FileEntry(name, jar));
        return out;
    }
    case HostileKind::TinyAmrWb: {
        Bytes out = {'#', '!', 'A', 'M', 'R', '-', 'W', 'B', '\n'};
        out.resize(out.size() + 25, 0x7C);
        return out;
    }
    case HostileKind::TinyAmrNb: {
        Bytes out = {'#', '!', 'A', 'M', 'R', '\n'};
        out.resize(out.size() + 50, 0x7C);
        return out;
    }
    case HostileKind::TinyMidi:
        return MidiOf({0x00, 0x90, 0x3C, 0x40, 0x81, 0x00, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00});
    case HostileKind::ManyNotesMidi: {
        Bytes events = {0x00, 0x90, 0x3C, 0x40};
        while (events.size() + 3 + 4 + 22 < size)
            events.insert(events.end(), {0x00, 0x3C, 0x40});
        Append(events, Bytes{0x00, 0xFF, 0x2F, 0x00});
        return MidiOf(events);
    }
    case HostileKind::BigIconJars: {
        const std::string manifest = MidletManifest("Big", "Icons", "1.0", "/i.png");
        return BuildJar({.files = {{.name = "META-INF/MANIFEST.MF", .data = Bytes(manifest.begin(), manifest.end())},
                                   {.name = "i.png", .data = Bytes(256 * 1024, 0)}}});
    }
    }
    return {};
}

}  // namespace

const HostileKindName kHostileKinds[10] = {
    {HostileKind::RiffChains, "riff-chains", false},
    {HostileKind::JadLines, "jad-lines", false},
    {HostileKind::JarSharedInflate, "jar-shared-inflate", false},
    {HostileKind::JarSharedStored, "jar-shared-stored", false},
    {HostileKind::JadJarPairs, "jad-jar-pairs", true},
    {HostileKind::TinyAmrWb, "tiny-amr-wb", true},
    {HostileKind::TinyAmrNb, "tiny-amr-nb", true},
    {HostileKind::TinyMidi, "tiny-midi", true},
    {HostileKind::ManyNotesMidi, "many-notes-midi", true},
    {HostileKind::BigIconJars, "big-icon-jars", true},
};

std::optional<HostileKind> HostileKindNamed(std::string_view name)
{
    for (const HostileKindName& kind : kHostileKinds)
        if (kind.Name == name)
            return kind.Kind;
    return std::nullopt;
}

std::vector<uint8_t> BuildHostileImage(HostileKind kind, std::size_t size)
{
    Bytes image;
    for (std::size_t index = 0; image.empty() || image.size() < size; ++index)
        Append(image, Unit(kind, index, size));
    return image;
}

}  // namespace kestrix::test_support

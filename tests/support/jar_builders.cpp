#include "jar_builders.h"

#include "picture_builders.h"

#include <zlib.h>

#include <stdexcept>

namespace kestrix::test_support {
namespace {

using ByteVector = std::vector<uint8_t>;

ByteVector RawDeflate(const ByteVector& data)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib failed");
    ByteVector out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int code = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (code != Z_STREAM_END)
        throw std::runtime_error("zlib failed");
    return out;
}

constexpr uint32_t kDosTime = 0x6000;  // 12:00:00
constexpr uint32_t kDosDate = 0x5A8A;  // 2025-04-10

}  // namespace

ByteVector TextBytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

ByteVector BuildJar(const JarPlan& plan)
{
    ByteVector out;
    ByteVector directory;
    for (const JarFile& file : plan.files) {
        const ByteVector packed = file.deflated ? RawDeflate(file.data) : file.data;
        const bool descriptor = file.descriptor;
        const uint32_t crc = PlainCrc32(file.data.data(), file.data.size());
        const auto local = static_cast<uint32_t>(out.size());
        const uint32_t flags = descriptor ? 0x0808 : 0x0800;
        const uint32_t method = file.deflated ? 8 : 0;
        const auto nameLength = static_cast<uint32_t>(file.name.size());

        PutLe32(out, 0x04034B50);
        PutLe16(out, file.deflated ? 20 : 10);
        PutLe16(out, flags);
        PutLe16(out, method);
        PutLe16(out, kDosTime);
        PutLe16(out, kDosDate);
        PutLe32(out, descriptor ? 0 : crc);
        PutLe32(out, descriptor ? 0 : static_cast<uint32_t>(packed.size()));
        PutLe32(out, descriptor ? 0 : static_cast<uint32_t>(file.data.size()));
        PutLe16(out, nameLength);
        PutLe16(out, static_cast<uint32_t>(file.extra.size()));
        out.insert(out.end(), file.name.begin(), file.name.end());
        out.insert(out.end(), file.extra.begin(), file.extra.end());
        out.insert(out.end(), packed.begin(), packed.end());
        if (descriptor) {
            if (plan.descriptorSignature)
                PutLe32(out, 0x08074B50);
            PutLe32(out, crc);
            PutLe32(out, static_cast<uint32_t>(packed.size()));
            PutLe32(out, static_cast<uint32_t>(file.data.size()));
        }

        PutLe32(directory, 0x02014B50);
        PutLe16(directory, 20);
        PutLe16(directory, file.deflated ? 20 : 10);
        PutLe16(directory, flags);
        PutLe16(directory, method);
        PutLe16(directory, kDosTime);
        PutLe16(directory, kDosDate);
        PutLe32(directory, crc);
        PutLe32(directory, static_cast<uint32_t>(packed.size()));
        PutLe32(directory, static_cast<uint32_t>(file.data.size()));
        PutLe16(directory, nameLength);
        PutLe16(directory, static_cast<uint32_t>(file.extra.size()));
        PutLe16(directory, 0);  // comment
        PutLe16(directory, 0);  // disk
        PutLe16(directory, 0);  // internal attributes
        PutLe32(directory, 0);  // external attributes
        PutLe32(directory, local);
        directory.insert(directory.end(), file.name.begin(), file.name.end());
        directory.insert(directory.end(), file.extra.begin(), file.extra.end());
    }
    const auto directoryOffset = static_cast<uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    PutLe32(out, 0x06054B50);
    PutLe16(out, 0);
    PutLe16(out, 0);
    PutLe16(out, static_cast<uint32_t>(plan.files.size()));
    PutLe16(out, static_cast<uint32_t>(plan.files.size()));
    PutLe32(out, static_cast<uint32_t>(directory.size()));
    PutLe32(out, directoryOffset);
    PutLe16(out, static_cast<uint32_t>(plan.comment.size()));
    out.insert(out.end(), plan.comment.begin(), plan.comment.end());
    return out;
}

std::string MidletManifest(const std::string& name, const std::string& vendor, const std::string& version,
                           const std::string& icon, bool iconAttribute)
{
    std::string vendorLine = "MIDlet-Vendor: " + vendor;
    if (vendor.size() > 20)
        vendorLine = "MIDlet-Vendor: " + vendor.substr(0, 20) + "\r\n " + vendor.substr(20);
    std::string text = "Manifest-Version: 1.0\r\nCreated-By: 1.4.2 (Sun Microsystems Inc.)\r\nMIDlet-Name: " + name +
                       "\r\n" + vendorLine + "\r\nMIDlet-Version: " + version + "\r\nMIDlet-1: " + name + ", " + icon +
                       ", com.example.Main\r\n";
    if (iconAttribute)
        text += "MIDlet-Icon: " + icon + "\r\n";
    return text + "MicroEdition-Profile: MIDP-2.0\r\nMicroEdition-Configuration: CLDC-1.1\r\n\r\n";
}

JarPlan MidletPlan(const std::string& name, const std::vector<uint8_t>& inner)
{
    JarPlan plan;
    plan.files.push_back({"META-INF/", {}, true, true, {0xFE, 0xCA, 0x00, 0x00}});
    plan.files.push_back({"META-INF/MANIFEST.MF", TextBytes(MidletManifest(name, "Games & Co", "1.0.2", "/icon.png"))});
    plan.files.push_back({"icon.png", BuildPng({.width = 16, .height = 16}), false, false});
    ByteVector code = TextBytes("\xCA\xFE\xBA\xBE");
    for (int i = 0; i < 40; ++i) {
        const ByteVector noise = Garbage(40, static_cast<uint32_t>(i % 7 + name.size()));
        code.insert(code.end(), noise.begin(), noise.end());
    }
    plan.files.push_back({"com/example/Main.class", code});
    if (!inner.empty())
        plan.files.push_back({"res/inner.jar", inner, false, false});
    return plan;
}

std::size_t LocalHeaderOf(const std::vector<uint8_t>& jar, const std::string& name)
{
    ByteVector pattern{0x50, 0x4B, 0x03, 0x04};
    for (int n = 0;; ++n) {
        const std::size_t at = Find(jar, pattern, n);
        if (jar.size() >= at + 30 + name.size() &&
            std::string(jar.begin() + static_cast<std::ptrdiff_t>(at + 30),
                        jar.begin() + static_cast<std::ptrdiff_t>(at + 30 + name.size())) == name)
            return at;
    }
}

std::size_t CentralDirectoryOf(const std::vector<uint8_t>& jar)
{
    const std::size_t end = Find(jar, {0x50, 0x4B, 0x05, 0x06});
    return jar[end + 16] | jar[end + 17] << 8 | jar[end + 18] << 16 | static_cast<std::size_t>(jar[end + 19]) << 24;
}

std::string MidletDescriptor(const std::string& name, std::size_t jarSize, const std::string& eol)
{
    return "MIDlet-1: " + name + ", /icon.png, com.example.Main" + eol + "MIDlet-Jar-Size: " + std::to_string(jarSize) +
           eol + "MIDlet-Jar-URL: " + name + ".jar" + eol + "MIDlet-Name: " + name + eol + "MIDlet-Vendor: Games & Co" +
           eol + "MIDlet-Version: 1.0.2" + eol + "MicroEdition-Configuration: CLDC-1.1" + eol +
           "MicroEdition-Profile: MIDP-2.0" + eol;
}

}  // namespace kestrix::test_support

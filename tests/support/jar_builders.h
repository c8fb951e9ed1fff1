#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix::test_support {

// Java applications (ZIP archives, all numbers little-endian) and their
// descriptors, built byte by byte with the traps a test needs.

// One file of an archive. A file with a descriptor has zero CRC and sizes in
// its local header and a data descriptor after its data, as Java's jar tool
// writes deflated files (and streaming tools stored ones); any other file has
// them in its local header.
struct JarFile {
    std::string name;
    std::vector<uint8_t> data;
    bool deflated = true;
    bool descriptor = true;
    // The extra field, in the local and the central header.
    std::vector<uint8_t> extra = {};
};

// An archive of files in order: local entries, the central directory, the end
// record (with comment). descriptorSignature writes 50 4B 07 08 before each
// data descriptor.
struct JarPlan {
    std::vector<JarFile> files;
    bool descriptorSignature = true;
    std::string comment = {};
};
std::vector<uint8_t> BuildJar(const JarPlan& plan);

// A manifest of a MIDlet suite: Manifest-Version, MIDlet-Name, MIDlet-Vendor,
// MIDlet-Version, MIDlet-1 naming icon (and MIDlet-Icon when iconAttribute),
// lines ending with CR LF; vendor's value folded onto a continuation line
// when it is longer than 20 characters.
std::string MidletManifest(const std::string& name, const std::string& vendor, const std::string& version,
                           const std::string& icon, bool iconAttribute = false);

// A MIDlet suite as the jar tool writes it: the folder META-INF/ (an empty
// deflate stream, with the tool's CAFE extra field), the manifest (deflated),
// both with descriptors, the icon /icon.png (a PNG, stored), a class file
// (deflated noise), and, when inner is not empty, inner stored as res/inner.jar.
JarPlan MidletPlan(const std::string& name, const std::vector<uint8_t>& inner = {});

// The offset of the local header of the file named name in a built archive.
std::size_t LocalHeaderOf(const std::vector<uint8_t>& jar, const std::string& name);
// The offset of the central directory of a built archive.
std::size_t CentralDirectoryOf(const std::vector<uint8_t>& jar);

// A descriptor of the suite name, lines ending with eol, for a JAR of jarSize bytes.
std::string MidletDescriptor(const std::string& name, std::size_t jarSize, const std::string& eol = "\r\n");

// The bytes of text.
std::vector<uint8_t> TextBytes(const std::string& text);

}  // namespace kestrix::test_support

#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix {

// What the manifest of a Java application (JAR) or its descriptor (JAD) says.
struct MidletInfo {
    std::string Name;
    std::string Vendor;
    std::string Version;
    // The icon the manifest names, as written, and its bytes when the archive
    // holds them (JAR only).
    std::string IconPath;
    std::vector<uint8_t> Icon;
    // A descriptor's MIDlet-Jar-URL and MIDlet-Jar-Size (-1 when missing).
    std::string JarUrl;
    int64_t JarSize = -1;

    bool operator==(const MidletInfo&) const = default;
};

}  // namespace kestrix

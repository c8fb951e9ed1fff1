#pragma once

#include "content_search.h"

#include <cstdint>

namespace kestrix {

// The archive a descriptor describes, as a row shows it.
struct DescribedJar {
    // Index in ContentFound::Items of the JAR, -1 when none is listed.
    int32_t Item = -1;
    // The archive is cut: listed Truncated, or smaller than the descriptor's
    // MIDlet-Jar-Size. The descriptor itself stays as its text is.
    bool Cut = false;
};

// Finds the JAR that the descriptor found.Items[descriptor] (a Jad item with
// facts) describes, by the first rule that names one or more listed JARs:
//   1. the file name of its MIDlet-Jar-URL (after the last '/') is the JAR's
//      entry name;
//   2. its own entry name and the JAR's differ only in the extension ("Snake.jad",
//      "Snake.jar");
//   3. the JAR's manifest names the same MIDlet-Name and MIDlet-Version.
// Among several, the one of the stated MIDlet-Jar-Size wins, then the first.
// Names compare without regard to ASCII case. Linear in the items.
DescribedJar FindDescribedJar(const ContentFound& found, std::size_t descriptor);

}  // namespace kestrix

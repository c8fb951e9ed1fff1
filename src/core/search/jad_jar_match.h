#pragma once

#include "content_search.h"

#include <cstdint>
#include <vector>

namespace kestrix {

// The archive a descriptor describes, as a row shows it.
struct DescribedJar {
    // Index in ContentFound::Items of the JAR, -1 when none is listed.
    int32_t Item = -1;
    // The archive is cut: listed Truncated. The descriptor itself stays as its
    // text is.
    bool Cut = false;
};

// For every item of found, in its order: for a descriptor (a Jad item with
// facts) the JAR it describes, by the first rule that names one or more
// listed JARs:
//   1. the file name of its MIDlet-Jar-URL (after the last '/') is the JAR's
//      entry name;
//   2. its own entry name and the JAR's differ only in the extension
//      ("Snake.jad", "Snake.jar");
//   3. the JAR's manifest names the same MIDlet-Name and MIDlet-Version.
// Among several, the first of the stated MIDlet-Jar-Size wins, else the first.
// Names compare without regard to ASCII case. Other items get Item -1. Linear
// in the items (hash tables by name), also for images full of descriptors.
std::vector<DescribedJar> FindDescribedJars(const ContentFound& found);

// Gives each descriptor of found the archive it describes (FindDescribedJars)
// and how that archive fits: cut, of another size than the stated one, or
// fitting. A descriptor's status rests on its text alone and is left as it is.
void MatchDescriptors(ContentFound& found);

}  // namespace kestrix

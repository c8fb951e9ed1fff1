#pragma once

#include "walk_result.h"

#include <string>
#include <vector>

namespace kestrix {

// What the manifest (META-INF/MANIFEST.MF) of a Java application says about
// it, from the main section; empty strings for attributes it lacks. Name,
// Vendor and Version are UTF-8 (MidletText); IconPath the bytes as written.
struct MidletFacts {
    // False when the archive has no manifest the walk could read: none walked,
    // or one compressed by a method other than stored (0) or deflated (8), or
    // one whose deflate data are broken.
    bool HasManifest = false;
    std::string Name;
    std::string Vendor;
    std::string Version;
    // MIDlet-Icon, or else the second field of MIDlet-1 ("name, icon, class"),
    // as written (a resource path, usually with a leading '/'); empty for none.
    std::string IconPath;
    // The icon file's bytes, uncompressed, when the archive holds an entry of
    // that path (without its leading '/') whose data the walk took in, stored
    // or deflated, of at most kLargestJarIcon bytes (a larger one is never
    // inflated beyond that); empty otherwise.
    std::vector<uint8_t> Icon;
};

// A phone's application icon is a PNG of a few KiB at most; an archive keeps
// no more than this of it, whatever its entry claims.
inline constexpr std::size_t kLargestJarIcon = 64 * 1024;

// The walk of one archive and the facts of its manifest.
struct JarWalk {
    WalkResult Walk;
    MidletFacts Midlet;
};

// Walks a ZIP archive (a Java application, JAR) from the local file header at
// bytes[0]. All numbers little-endian; no ZIP64, no multi-disk archives.
//   Local entries are walked one after another: a 30-byte header (50 4B 03 04,
//   version needed at most 63, no encryption or reserved flag bits, stored (0)
//   or deflated (8), a valid DOS date or 0, a name of 1..4096 bytes without
//   control characters), its name and extra field, then the data and, with
//   flag bit 3, a data descriptor (optional signature 50 4B 07 08, CRC,
//   compressed and uncompressed size) whose compressed size matches the data.
//   An extra field that holds a local or central header's signature is no
//   extra field (headers stepping over the headers after them, all pointing
//   into one stream), and its header no local header.
//   The data are the header's compressed size long, except with flag bit 3:
//   deflated data (zero sizes, as Java's jar tool writes them) end at the first
//   signed descriptor whose compressed size equals their length, found before
//   any local or central header signature or erased run, else where their
//   deflate stream ends; stored data with a zero size end at the first signed
//   descriptor whose sizes equal their length, found before any local or
//   central header signature. An archive stored inside the
//   archive is data, stepped over with it.
//   Then the central directory: one 46-byte header (50 4B 01 02) per walked
//   entry, each naming a different walked local header (its offset from
//   bytes[0]) with the same name and compressed size; then the
//   end-of-central-directory record (50 4B 05 06) of disk 0 whose entry counts
//   equal the directory's and whose directory offset and size point back to
//   the directory from bytes[0]; then its comment.
// Verdict: NotPicture unless at least one local entry is whole (a signature
// with garbage is no archive); Whole with End one past the record's comment;
// otherwise Truncated, with End one past the last whole local entry. An entry
// is whole when another local or central header follows it, or else when its
// data check out (stored data against their CRC-32, deflated data by a stream
// ending at their end). A truncated archive never takes the end of an archive
// that follows it: that record's offsets do not point back to bytes[0], and
// when they point back to one of the walked local headers, the walk went on
// from a cut archive into the next one there, and the cut archive ends at it.
// SureEnd is End; Width, Height and Frames stay 0; Examined is set for every
// verdict (a walk that found no archive may have read far). A deflate stream is
// fed no further than a completed run of kErasedRunLength bytes FFh (erased
// flash after a cut), and is broken when it inflates to more than 32 times its
// bytes read plus 1 MiB (a bound on hostile streams, far above real entries).
// Reads only inside bytes; the work is linear in the bytes (a deflated byte is
// inflated at most twice, plus the manifest and the icon, which is not
// inflated at all when its stated size is over kLargestJarIcon). Midlet holds the
// facts of the manifest (META-INF/MANIFEST.MF, names compared without regard to
// case) among the whole entries, when it is stored or deflated and at most 64
// KiB once inflated; the icon likewise.
// thorough false (the search drops it only for hostile images that have used
// up their budget): entries whose data end is not stated (flag bit 3, deflated
// or stored with size 0) are not looked for, as that may read the rest of the
// bytes.
JarWalk WalkJar(std::span<const uint8_t> bytes, bool thorough = true);

}  // namespace kestrix

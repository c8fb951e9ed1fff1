// The application walks (JAR and JAD) over arbitrary bytes. The first input
// byte chooses how much erased flash (FFh) lies before and after the rest. Each
// walk runs from the first byte and from every local header signature and
// "MIDlet-" in the bytes; every result is checked against the rules the walks
// promise.
#include "erased_flash_input.h"
#include "jad_walk.h"
#include "jar_walk.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace kestrix;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckBounds(const WalkResult& walk, std::span<const uint8_t> bytes)
{
    const auto size = static_cast<int64_t>(bytes.size());
    Check(walk.Examined >= 0 && walk.Examined <= size);
    if (walk.Verdict == WalkVerdict::NoItem) {
        Check(walk.End == 0);
        return;
    }
    Check(walk.End > 0 && walk.End <= size);
    Check(walk.SureEnd == walk.End);
    Check(walk.Examined >= walk.End);
    Check(walk.Width == 0 && walk.Height == 0 && walk.Frames == 0);
}

bool SameFacts(const MidletFacts& a, const MidletFacts& b)
{
    return a.HasManifest == b.HasManifest && a.Name == b.Name && a.Vendor == b.Vendor && a.Version == b.Version &&
           a.IconPath == b.IconPath && a.Icon == b.Icon;
}

// An archive stays in its bytes, and a whole one ends with its end record and
// walks the same when nothing follows it.
void CheckJar(std::span<const uint8_t> bytes)
{
    const JarWalk walk = WalkJar(bytes);
    CheckBounds(walk.Walk, bytes);
    if (walk.Walk.Verdict == WalkVerdict::NoItem) {
        Check(SameFacts(walk.Midlet, {}));
        return;
    }
    Check(bytes[0] == 0x50 && bytes[1] == 0x4B && bytes[2] == 0x03 && bytes[3] == 0x04);
    Check(walk.Midlet.Icon.size() <= kLargestJarIcon);
    if (walk.Walk.Verdict != WalkVerdict::Whole)
        return;
    const JarWalk alone = WalkJar(bytes.first(static_cast<std::size_t>(walk.Walk.End)));
    Check(alone.Walk.Verdict == WalkVerdict::Whole && alone.Walk.End == walk.Walk.End);
    Check(SameFacts(alone.Midlet, walk.Midlet));
}

void CheckJad(std::span<const uint8_t> bytes)
{
    const JadWalk walk = WalkJad(bytes);
    CheckBounds(walk.Walk, bytes);
    if (walk.Walk.Verdict != WalkVerdict::Whole)
        return;
    Check(walk.Facts.JarSize >= 0 && !walk.Facts.Name.empty() && !walk.Facts.JarUrl.empty());
    const JadWalk alone = WalkJad(bytes.first(static_cast<std::size_t>(walk.Walk.End)));
    Check(alone.Walk.Verdict == WalkVerdict::Whole && alone.Walk.End == walk.Walk.End);
    Check(alone.Facts.Name == walk.Facts.Name && alone.Facts.Vendor == walk.Facts.Vendor &&
          alone.Facts.Version == walk.Facts.Version && alone.Facts.JarUrl == walk.Facts.JarUrl &&
          alone.Facts.JarSize == walk.Facts.JarSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::vector<uint8_t> image = AmongErasedFlash(data, size);
    const std::span<const uint8_t> bytes(image);

    CheckJar(bytes);
    CheckJad(bytes);
    constexpr uint8_t kLocal[4] = {0x50, 0x4B, 0x03, 0x04};
    constexpr char kMidlet[] = "MIDlet-";
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        const auto rest = bytes.subspan(at);
        if (rest.size() >= 4 && std::equal(kLocal, kLocal + 4, rest.begin()))
            CheckJar(rest);
        if (rest.size() >= 7 && std::memcmp(rest.data(), kMidlet, 7) == 0) {
            const int64_t start = JadRunStart(bytes, static_cast<int64_t>(at));
            Check(start >= 0 && start <= static_cast<int64_t>(at) &&
                  start >= static_cast<int64_t>(at) - kLongestJadLookBack);
            CheckJad(bytes.subspan(static_cast<std::size_t>(start)));
        }
    }
    return 0;
}

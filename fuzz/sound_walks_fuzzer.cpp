// The sound walks over arbitrary bytes. The first input byte chooses how much
// erased flash (FFh) lies before and after the rest, and whether it is 00h
// instead. Every walk from the first byte and from each signature found is
// checked against the rules the walks promise.
#include "amr_walk.h"
#include "erased_flash_input.h"
#include "imelody_walk.h"
#include "midi_walk.h"
#include "mp3_walk.h"
#include "riff_walk.h"
#include "smaf_walk.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace kestrix;

using Walker = WalkResult (*)(std::span<const uint8_t>) noexcept;

constexpr Walker kWalkers[] = {WalkMidi, WalkAmr, WalkMp3, WalkRiff, WalkImelody, WalkSmaf};

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool SameFacts(const WalkResult& a, const WalkResult& b)
{
    return a.Verdict == b.Verdict && a.End == b.End && a.DurationMs == b.DurationMs && a.SampleRate == b.SampleRate &&
           a.Channels == b.Channels && a.Tracks == b.Tracks;
}

// A walk's result stays in its bytes; a whole item walks the same when nothing
// follows it.
void CheckWalk(Walker walk, std::span<const uint8_t> bytes)
{
    const WalkResult result = walk(bytes);
    const auto size = static_cast<int64_t>(bytes.size());
    if (result.Verdict == WalkVerdict::NoItem) {
        Check(result.End == 0);
        return;
    }
    Check(result.End > 0 && result.End <= size);
    Check(result.SureEnd >= 0 && result.SureEnd <= result.End);
    Check(result.Examined >= result.End && result.Examined <= size);
    Check(result.DurationMs >= 0 && result.SampleRate >= 0 && result.Channels >= 0 && result.Tracks >= 0);
    if (result.Verdict == WalkVerdict::Whole)
        Check(SameFacts(walk(bytes.first(static_cast<std::size_t>(result.End))), result));
}

bool StartsSound(std::span<const uint8_t> bytes, std::size_t at)
{
    static const char* const kSignatures[] = {"MThd", "#!AM", "ID3", "RIFF", "BEGIN:IM", "MMMD"};
    for (const char* signature : kSignatures) {
        const std::size_t length = std::strlen(signature);
        if (at + length <= bytes.size() && std::memcmp(bytes.data() + at, signature, length) == 0)
            return true;
    }
    return at + 1 < bytes.size() && bytes[at] == 0xFF && (bytes[at + 1] & 0xE0) == 0xE0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t control = data[0];
    const uint8_t erased = (control & 0x20) != 0 ? 0x00 : 0xFF;
    const std::vector<uint8_t> image = AmongErasedFlash(data, size, erased);
    const std::span<const uint8_t> bytes(image);

    for (const Walker walk : kWalkers)
        CheckWalk(walk, bytes);
    // Each signature's own walks; MPEG sync words are many, so only the first hundred.
    int syncs = 0;
    for (std::size_t at = 1; at < bytes.size(); ++at) {
        if (!StartsSound(bytes, at))
            continue;
        if (bytes[at] == 0xFF && ++syncs > 100)
            continue;
        for (const Walker walk : kWalkers)
            CheckWalk(walk, bytes.subspan(at));
    }
    return 0;
}

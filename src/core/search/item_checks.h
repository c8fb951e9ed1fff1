#pragma once

#include "check_pool.h"
#include "content_search.h"
#include "format_table.h"

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

namespace kestrix {

// The decoders' checks of a search's whole pictures and sounds: queued as the
// search lists the items, run on a CheckPool beside it, and given to the items
// once the search is done.
class ItemChecks {
public:
    // pictureCheck and soundCheck (either may be empty) must outlive it.
    ItemChecks(const PictureDecodeCheck& pictureCheck, const SoundDecodeCheck& soundCheck) noexcept
        : m_pictureCheck(pictureCheck), m_soundCheck(soundCheck)
    {
    }

    // Queues the check of the item at index, of type, whose format's bytes
    // are bytes, by the decoder its format names; nothing when no check is
    // given for that decoder.
    void Queue(std::size_t index, ItemType type, FormatDecoder decoder, std::span<const uint8_t> bytes);

    // See CheckPool::Hold.
    void Hold(bool held) { m_pool.Hold(held); }

    // The items were renumbered: the item at index i is now at moved[i], for
    // every item queued.
    void Renumber(const std::vector<std::size_t>& moved);

    // Waits for every check (calling keepGoing as CheckPool::Finish does) and
    // gives each item that is still Complete its verdict: Damaged for one that
    // does not decode, Unchecked for a picture too costly to decode or a sound
    // nothing could check. False, the items unchanged, when keepGoing stopped it.
    bool GiveVerdicts(std::vector<FoundItem>& items, const std::function<bool()>& keepGoing);

private:
    struct Ticket {
        std::size_t Item;
        std::size_t Check;
        FormatDecoder Decoder;
    };

    const PictureDecodeCheck& m_pictureCheck;
    const SoundDecodeCheck& m_soundCheck;
    CheckPool m_pool;
    std::vector<Ticket> m_tickets;
};

}  // namespace kestrix

#include "item_checks.h"

namespace kestrix {

void ItemChecks::Queue(std::size_t index, ItemType type, FormatDecoder decoder, std::span<const uint8_t> bytes)
{
    const CheckPool::Check* check = decoder == FormatDecoder::Picture && m_pictureCheck ? &m_pictureCheck
                                    : decoder == FormatDecoder::Sound && m_soundCheck   ? &m_soundCheck
                                                                                        : nullptr;
    if (check != nullptr)
        m_tickets.push_back({index, m_pool.Add(*check, type, bytes), decoder});
}

void ItemChecks::Renumber(const std::vector<std::size_t>& moved)
{
    for (Ticket& ticket : m_tickets)
        ticket.Item = moved[ticket.Item];
}

bool ItemChecks::GiveVerdicts(std::vector<FoundItem>& items, const std::function<bool()>& keepGoing)
{
    if (!m_pool.Finish(keepGoing))
        return false;
    for (const Ticket& ticket : m_tickets) {
        FoundItem& item = items[ticket.Item];
        if (item.Status != ItemStatus::Complete)
            continue;
        item.Status = m_pool.Verdict(ticket.Check);
        item.Reason = item.Status == ItemStatus::Complete        ? StatusReason::None
                      : item.Status == ItemStatus::Damaged       ? StatusReason::DoesNotDecode
                      : ticket.Decoder == FormatDecoder::Picture ? StatusReason::TooCostly
                                                                 : StatusReason::NoCheck;
    }
    return true;
}

}  // namespace kestrix

#pragma once

#include "item_type.h"

#include <concepts>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>

namespace kestrix {

class FoundRows;
struct ContentFound;

// One call of a front end that may be left empty: calling an empty hook does
// nothing and, for a hook that answers bool, answers true (carry on).
template <typename Signature>
class Hook;

template <typename Result, typename... Args>
class Hook<Result(Args...)> {
public:
    Hook() = default;
    template <typename Function>
    requires std::constructible_from<std::function<Result(Args...)>, Function> Hook(Function function)
        : m_function(std::move(function))
    {
    }

    explicit operator bool() const noexcept { return static_cast<bool>(m_function); }

    Result operator()(Args... args) const
    {
        if (m_function)
            return m_function(std::forward<Args>(args)...);
        if constexpr (std::is_same_v<Result, bool>)
            return true;
        else if constexpr (!std::is_void_v<Result>)
            return Result{};
    }

private:
    std::function<Result(Args...)> m_function;
};

// How a long analysis talks to its front end. Every member may be empty.
struct ScanHooks {
    // The progress gauge: shown with a maximum, moved, hidden.
    Hook<void(int32_t maximum)> ShowGauge;
    Hook<void(int32_t value)> MoveGauge;
    Hook<void()> HideGauge;
    // A row was appended at the end of the list being built.
    Hook<void(const FoundRows& rows)> RowAppended;
    // A point where the front end may process pending events. Returning false
    // ends the analysis early (its result is then incomplete).
    Hook<bool()> KeepGoing;
    // The front end's strict decoder, for the analyses that tell whole pictures
    // from damaged ones; empty: every structurally whole picture is whole.
    PictureDecodeCheck DecodeCheck;
    // The content search has listed its items, while their checks may still
    // run: their order, ranges, types and names are final, their statuses
    // and descriptors' archives not yet. Called once, on the searching thread;
    // found is the search's own, to be read only during the call.
    Hook<void(const ContentFound& found)> ItemsListed;
};

}  // namespace kestrix

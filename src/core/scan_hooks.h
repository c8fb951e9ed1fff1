#pragma once

#include "found_rows.h"
#include "picture_type.h"

#include <cstdint>
#include <functional>

namespace kestrix {

// How a long analysis talks to its front end. Every member may be empty.
struct ScanHooks {
    // The progress gauge: shown with a maximum, moved, hidden.
    std::function<void(int32_t maximum)> GaugeShow;
    std::function<void(int32_t value)> GaugeValue;
    std::function<void()> GaugeHide;
    // A row was appended at the end of the list being built.
    std::function<void(const FoundRows& rows)> RowAppended;
    // A point where the front end may process pending events. Returning false
    // ends the analysis early (its result is then incomplete).
    std::function<bool()> Yield;
    // The front end's strict decoder, for the analyses that tell whole pictures
    // from damaged ones; empty: every structurally whole picture is whole.
    PictureDecodeCheck DecodeCheck;

    // The calls an analysis makes; each does nothing for an empty member.
    void ShowGauge(int32_t maximum) const
    {
        if (GaugeShow)
            GaugeShow(maximum);
    }
    void MoveGauge(int32_t value) const
    {
        if (GaugeValue)
            GaugeValue(value);
    }
    void HideGauge() const
    {
        if (GaugeHide)
            GaugeHide();
    }
    void TellRowAppended(const FoundRows& rows) const
    {
        if (RowAppended)
            RowAppended(rows);
    }
    // Yields to the front end; false when it asks the analysis to end.
    bool KeepGoing() const { return !Yield || Yield(); }
};

}  // namespace kestrix

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
};

}  // namespace kestrix

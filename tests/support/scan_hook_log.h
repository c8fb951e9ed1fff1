#pragma once

#include "found_rows.h"
#include "scan_hooks.h"

#include <functional>
#include <string>
#include <vector>

namespace kestrix::test_support {

// Records every hook call of a scan as text, in order: "show N", "value N",
// "hide", "row <label>", "yield". KeepGoing answers false once yieldsBeforeStop
// yields have been made (-1: never).
struct ScanHookLog {
    std::vector<std::string> calls;
    int yieldsBeforeStop = -1;
    // What "row" records of the row appended last; its name unless replaced.
    std::function<std::string(const FoundRows&)> rowLabel = [](const FoundRows& rows) {
        return std::string(rows.Name(rows.Count() - 1));
    };

    ScanHooks Hooks()
    {
        ScanHooks hooks;
        hooks.ShowGauge = [this](int32_t maximum) { calls.push_back("show " + std::to_string(maximum)); };
        hooks.MoveGauge = [this](int32_t value) { calls.push_back("value " + std::to_string(value)); };
        hooks.HideGauge = [this] { calls.push_back("hide"); };
        hooks.RowAppended = [this](const FoundRows& rows) { calls.push_back("row " + rowLabel(rows)); };
        hooks.KeepGoing = [this] {
            calls.push_back("yield");
            return yieldsBeforeStop < 0 || --yieldsBeforeStop > 0;
        };
        return hooks;
    }
};

}  // namespace kestrix::test_support

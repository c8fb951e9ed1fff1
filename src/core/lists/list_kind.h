#pragma once

#include "custom_hex_buffer.h"
#include "found_rows.h"
#include "result_row.h"
#include "scan_hooks.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestrix {

// The lists of found items that the front ends show and save.
enum class ListKind : uint8_t { Files, Graphics, Pictures };

// What makes a list: its scan, how its rows read, and its save rule.
struct ListTraits {
    ListKind Kind;
    // The command-line name of the list: "files", "graphics", "pictures".
    std::string_view Name;
    // What the list holds, for the command line's help.
    std::string_view Description;
    // Replaces rows with the image's items; false, rows untouched, when the
    // image is too small to scan. hooks.DecodeCheck serves the picture search.
    bool (*Scan)(TCustomHexBuffer& buffer, const ScanHooks& hooks, FoundRows& rows);
    // Row index as the list shows it.
    ResultRow (*Text)(const FoundRows& rows, std::size_t index);
    // The save rule, on a row as the list shows it: whether it is saved, and
    // the name of its file (Windows-1251, before it is made safe).
    bool (*Saves)(const ResultRow& row);
    std::string (*SaveName)(const ResultRow& row);
    // Whether saving the list shows its progress in the gauge.
    bool SaveShowsProgress;
};

// Every list, in ListKind order.
std::span<const ListTraits> AllLists() noexcept;
const ListTraits& TraitsOf(ListKind kind) noexcept;

}  // namespace kestrix

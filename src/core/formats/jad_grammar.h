#pragma once

#include <string_view>

namespace kestrix {

// Whether an attribute line of a Java application descriptor names one of its
// applications: key "MIDlet-<n>" (n a decimal number from 1, no leading zero;
// matched without regard to case) whose value is "name, icon, class", three
// fields separated by commas, the name and the class not empty (the icon may
// be). A descriptor is whole only with at least one such line.
bool IsMidletEntry(std::string_view key, std::string_view value) noexcept;

}  // namespace kestrix

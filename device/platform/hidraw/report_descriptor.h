// Report lengths from a HID report descriptor, counted the way the HID
// capabilities count them: the longest report of each kind in bytes, plus
// one byte for the report id.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform.h"

namespace corvhid::hidraw {

// False when the descriptor is malformed (a truncated item, an unbalanced
// pop); lengths are then left alone.
bool parseReportLengths(const std::uint8_t *descriptor, std::size_t size, ReportLengths &lengths);

} // namespace corvhid::hidraw

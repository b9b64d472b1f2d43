// A hidraw interface's report descriptor, any bytes: the lengths come out
// or the descriptor is refused, never a read outside it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "report_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // Exactly the descriptor's bytes, so that a read past its end is caught.
    std::vector<std::uint8_t> descriptor(data, data + size);
    corvhid::ReportLengths lengths{};
    corvhid::ReportLengths before = lengths;
    if (!corvhid::hidraw::parseReportLengths(descriptor.data(), descriptor.size(), lengths) &&
        std::memcmp(&lengths, &before, sizeof lengths) != 0)
        __builtin_trap(); // a refused descriptor leaves the lengths alone
    return 0;
}

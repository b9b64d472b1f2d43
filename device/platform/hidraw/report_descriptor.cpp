#include "report_descriptor.h"

#include <algorithm>
#include <map>
#include <vector>

namespace corvhid::hidraw {

bool parseReportLengths(const std::uint8_t *d, std::size_t size, ReportLengths &lengths) {
    struct Globals {
        std::uint32_t reportSize = 0, reportCount = 0, reportId = 0;
    };
    Globals g;
    std::vector<Globals> stack;
    std::map<std::uint32_t, std::uint64_t> inputBits, outputBits;

    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t prefix = d[i];
        if (prefix == 0xFE) { // long item: data size in the next byte, then its tag
            if (i + 2 >= size) return false;
            i += 3 + d[i + 1];
            if (i > size) return false;
            continue;
        }
        static constexpr std::size_t kDataSize[] = {0, 1, 2, 4};
        const std::size_t n = kDataSize[prefix & 3];
        if (i + 1 + n > size) return false;
        std::uint32_t value = 0;
        for (std::size_t b = 0; b < n; ++b) value |= static_cast<std::uint32_t>(d[i + 1 + b]) << (8 * b);
        const unsigned type = (prefix >> 2) & 3, tag = prefix >> 4;
        if (type == 0) { // main
            const std::uint64_t bits = std::uint64_t{g.reportSize} * g.reportCount;
            if (tag == 0x8) inputBits[g.reportId] += bits;
            if (tag == 0x9) outputBits[g.reportId] += bits;
        } else if (type == 1) { // global
            switch (tag) {
            case 0x7: g.reportSize = value; break;
            case 0x8: g.reportId = value; break;
            case 0x9: g.reportCount = value; break;
            case 0xA: stack.push_back(g); break;
            case 0xB:
                if (stack.empty()) return false;
                g = stack.back();
                stack.pop_back();
                break;
            default: break;
            }
        }
        i += 1 + n;
    }

    auto longest = [](const std::map<std::uint32_t, std::uint64_t> &bits) -> std::uint16_t {
        std::uint64_t most = 0;
        for (const auto &[id, b] : bits) most = std::max(most, b);
        if (most == 0) return 0;
        return static_cast<std::uint16_t>(std::min<std::uint64_t>((most + 7) / 8 + 1, 0xFFFF));
    };
    lengths.input = longest(inputBits);
    lengths.output = longest(outputBits);
    return true;
}

} // namespace corvhid::hidraw

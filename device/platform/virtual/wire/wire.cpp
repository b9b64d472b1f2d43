#include "wire.h"

namespace corvhid::wire {

std::vector<std::uint8_t> encode(const Hello &h) {
    std::vector<std::uint8_t> m{kHello};
    for (std::uint16_t v : {h.vendorId, h.productId, h.versionNumber, h.inputLength, h.outputLength}) {
        m.push_back(static_cast<std::uint8_t>(v & 0xFF));
        m.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return m;
}

std::optional<Hello> decodeHello(const std::vector<std::uint8_t> &m) {
    if (m.size() != 11 || m[0] != kHello) return std::nullopt;
    auto at = [&](int i) { return static_cast<std::uint16_t>(m[1 + 2 * i] | (m[2 + 2 * i] << 8)); };
    Hello h{at(0), at(1), at(2), at(3), at(4)};
    if (h.inputLength > kMaxReportLength || h.outputLength > kMaxReportLength) return std::nullopt;
    return h;
}

} // namespace corvhid::wire

namespace corvhid::wire {

std::vector<std::uint8_t> encodeTaken(std::uint32_t count) {
    return {kTaken, static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
            static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 24)};
}

std::optional<std::uint32_t> decodeTaken(const std::vector<std::uint8_t> &m) {
    if (m.size() != 5 || m[0] != kTaken) return std::nullopt;
    return std::uint32_t{m[1]} | std::uint32_t{m[2]} << 8 | std::uint32_t{m[3]} << 16 | std::uint32_t{m[4]} << 24;
}

} // namespace corvhid::wire

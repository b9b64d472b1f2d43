// The messages between a virtual unit (served by corvil-emulator) and a
// connection the library opened on it. Each message is one datagram of a
// message-preserving channel; byte 0 says what it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace corvhid::wire {

// Unit to host.
inline constexpr std::uint8_t kHello = 'H';         // + ids and report lengths
inline constexpr std::uint8_t kInputReport = 'I';   // + the report, id first
inline constexpr std::uint8_t kFeatureAnswer = 'g'; // + ok byte + 6 report bytes
inline constexpr std::uint8_t kFeatureSetAck = 's'; // + ok byte
inline constexpr std::uint8_t kQueuedReports = 'Q'; // answer to kReadAllQueued: + 1 when more are queued, 0 when
                                                    // that was all; then per report its length and bytes
// Host to unit.
inline constexpr std::uint8_t kReadRequest = 'R';   // answer with the next queued input report
inline constexpr std::uint8_t kReadAllQueued = 'A'; // the queued reports now, oldest first, as many as one message holds
inline constexpr std::uint8_t kOutputReport = 'O';  // + the report, id first
inline constexpr std::uint8_t kFeatureGet = 'G';    // + 6 bytes, id first
inline constexpr std::uint8_t kFeatureSet = 'S';    // + 6 bytes, id first

inline constexpr std::size_t kFeatureLength = 6;
// Longest message either end receives.
inline constexpr std::size_t kMaxMessage = 256;
// Longest report a virtual unit may declare.
inline constexpr std::uint16_t kMaxReportLength = 64;
// How many input reports a connection's queue holds before the oldest goes,
// as the operating system's HID input buffer does.
inline constexpr std::size_t kQueueDepth = 64;

struct Hello {
    std::uint16_t vendorId = 0, productId = 0, versionNumber = 0;
    std::uint16_t inputLength = 0, outputLength = 0;
};

// A unit's hello message, and the hello read back from a message; nothing
// when the message is no hello or declares reports longer than
// kMaxReportLength.
std::vector<std::uint8_t> encode(const Hello &h);
std::optional<Hello> decodeHello(const std::vector<std::uint8_t> &m);

} // namespace corvhid::wire

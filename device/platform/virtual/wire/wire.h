// The messages between a virtual unit (served by corvil-emulator) and a
// connection the library opened on it. Each message is one datagram of a
// message-preserving channel; byte 0 says what it is.
//
// The unit pushes every input report it sends on every open connection, as
// a HID driver fills every open handle's buffer; the library keeps them in
// a queue of its own. So that a connection nobody reads (the main handle,
// or a host that stopped polling) can neither stall the unit nor fill its
// channel with old reports, the host tells the unit how many reports it has
// taken: beyond kPushWindow untaken ones the unit holds back only the
// newest kQueueDepth, and sends them, then kCaughtUp, once the host has
// taken the others.
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
inline constexpr std::uint8_t kCaughtUp = 'C';      // the reports held back are all sent
// Host to unit.
inline constexpr std::uint8_t kOutputReport = 'O'; // + the report, id first
inline constexpr std::uint8_t kFeatureGet = 'G';   // + 6 bytes, id first
inline constexpr std::uint8_t kFeatureSet = 'S';   // + 6 bytes, id first
inline constexpr std::uint8_t kTaken = 'T';        // + how many input reports taken in all (32 bits, low byte first)

inline constexpr std::size_t kFeatureLength = 6;
// Longest message either end receives.
inline constexpr std::size_t kMaxMessage = 256;
// Longest report a virtual unit may declare.
inline constexpr std::uint16_t kMaxReportLength = 64;
// How many input reports a handle's queue holds before the oldest goes: the
// Windows HID class driver's default input buffer.
inline constexpr std::size_t kQueueDepth = 32;
// How many input reports the unit sends on a connection beyond those the
// host said it took. Far more than a host polling twice a second takes
// meanwhile, and far less than a channel holds.
inline constexpr std::uint32_t kPushWindow = 128;

struct Hello {
    std::uint16_t vendorId = 0, productId = 0, versionNumber = 0;
    std::uint16_t inputLength = 0, outputLength = 0;
};

// A unit's hello message, and the hello read back from a message; nothing
// when the message is no hello or declares reports longer than
// kMaxReportLength.
std::vector<std::uint8_t> encode(const Hello &h);
std::optional<Hello> decodeHello(const std::vector<std::uint8_t> &m);

// The host's count of input reports taken, and the count read back.
std::vector<std::uint8_t> encodeTaken(std::uint32_t count);
std::optional<std::uint32_t> decodeTaken(const std::vector<std::uint8_t> &m);

} // namespace corvhid::wire

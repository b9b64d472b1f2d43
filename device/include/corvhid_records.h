// corvhid_records.h - what the bytes of a Corvil unit's two records mean,
// written once for every program that reads or writes them (the library's
// byte placement, the plug-in, corvilctl, corvil-emulator's unit model,
// corvil-remote). Types and functions only, no state; C++ only.
//
// Outputs are numbered 1 and 2 and held at index 0 and 1; inputs are 1 to 8.
#pragma once

#include <cstdint>

namespace corvhid::records {

inline constexpr int kInputs = 8;
inline constexpr int kOutputs = 2;

// Input bytes: 0 is "no input", 1 to 8 an input; 9 to 254 are undefined.
inline constexpr std::uint8_t kNoInput = 0;
// In a settings write, 255 leaves that output's input as the unit has it.
inline constexpr std::uint8_t kLeaveInput = 255;

constexpr bool isInput(int value) { return value >= 1 && value <= kInputs; }

// Masks (pads, auto-sequence inputs): bit n-1 stands for input n.
constexpr std::uint8_t bit(int input) { return isInput(input) ? static_cast<std::uint8_t>(1u << (input - 1)) : 0; }
constexpr bool has(std::uint8_t mask, int input) { return (mask & bit(input)) != 0; }
constexpr std::uint8_t with(std::uint8_t mask, int input, bool on) {
    return static_cast<std::uint8_t>(on ? mask | bit(input) : mask & ~bit(input));
}

// An output's 35 dB pad shows as in when its input is n (not 0, not
// undefined) and bit n-1 of its pad mask is set.
constexpr bool padShown(std::uint8_t input, std::uint8_t padMask) { return isInput(input) && has(padMask, input); }

// Auto-sequencing control byte: bit 7 switches it on, bits 0 to 6 hold the
// interval code; code 0 is "Disabled", code k from 1 to 18 is k x 0.5 s.
inline constexpr std::uint8_t kSequencingOn = 0x80;
inline constexpr std::uint8_t kIntervalBits = 0x7F;
inline constexpr int kIntervalCodes = 18;

constexpr bool switchedOn(std::uint8_t control) { return (control & kSequencingOn) != 0; }
constexpr int intervalCode(std::uint8_t control) { return control & kIntervalBits; }
constexpr std::uint8_t control(bool on, int code) {
    return static_cast<std::uint8_t>((on ? kSequencingOn : 0) | (code & kIntervalBits));
}
constexpr double intervalSeconds(int code) { return code * 0.5; }
// The interval code of a time in seconds (0 for none), or -1 when it is not
// one of the 18 steps of 0.5 s.
constexpr int intervalCodeOf(double seconds) {
    for (int code = 0; code <= kIntervalCodes; ++code)
        if (intervalSeconds(code) == seconds) return code;
    return -1;
}
// The unit steps an output through its inputs only when it is switched on,
// with an interval, and includes at least one input.
constexpr bool steps(std::uint8_t control, std::uint8_t inputMask) {
    return switchedOn(control) && intervalCode(control) != 0 && inputMask != 0;
}

// Report ids and the wire order: bytes 1 to 4 of reports 3 and 4 carry each
// pair of a record with output 2's byte first.
inline constexpr std::uint8_t kSerialReportId = 1;
inline constexpr std::uint8_t kSettingsReportId = 3;
inline constexpr std::uint8_t kAutoSequencingReportId = 4;

// One record in the operations' order, output 1 first: for settings
// (inputs, pad masks), for auto-sequencing (input masks, control bytes).
struct Record {
    std::uint8_t first[2];  // input, or auto-sequence input mask, of outputs 1 and 2
    std::uint8_t second[2]; // pad mask, or control byte, of outputs 1 and 2
};

// Writes `record` as bytes 1 to 4 of a report.
constexpr void toReport(const Record &record, std::uint8_t *report) {
    report[1] = record.first[1];
    report[2] = record.first[0];
    report[3] = record.second[1];
    report[4] = record.second[0];
}
// Reads bytes 1 to 4 of a report.
constexpr Record fromReport(const std::uint8_t *report) { return {{report[2], report[1]}, {report[4], report[3]}}; }

} // namespace corvhid::records

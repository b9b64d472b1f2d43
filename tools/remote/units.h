// What corvil-remote knows of a unit and how a change to one output is asked
// for: the JSON of the HTTP interface on one side, the unit's two records on
// the other. No state, no I/O.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "corvhid_records.h"

namespace corvil::remote {

namespace records = corvhid::records;

struct Unit {
    std::string serial;
    bool connected = false;
    records::Record settings{};   // inputs and pad masks
    records::Record sequencing{}; // auto-sequence input masks and control bytes
};
bool operator==(const records::Record &a, const records::Record &b);
bool operator==(const Unit &a, const Unit &b);

// {"serial", "connected", "outputs": [output 1, output 2]}
nlohmann::json toJson(const Unit &unit);

// A change to one output (index 0 or 1): only the fields given.
struct OutputChange {
    int output = 0;
    std::optional<int> input;          // 0 to 8
    std::optional<std::uint8_t> pads;  // the whole mask
    std::optional<bool> sequencing;    // auto-sequencing on or off
    std::optional<std::uint8_t> sequenceInputs;
    std::optional<int> intervalCode;   // 0 to 18
    bool touchesSettings() const { return input || pads; }
    bool touchesSequencing() const { return sequencing || sequenceInputs || intervalCode; }
};

// The body of PUT /api/units/{serial}/outputs/{output}; an error text when
// it is not one.
std::optional<OutputChange> parseChange(int output, const std::string &body, std::string &error);

// The settings record to send for `change` given the unit's present one:
// 255 for every input not changed, the present pad masks where not changed.
records::Record settingsToWrite(const records::Record &present, const OutputChange &change);
records::Record sequencingToWrite(const records::Record &present, const OutputChange &change);
// The record the unit holds once `written` has been applied to `present`.
records::Record settingsAfter(const records::Record &present, const records::Record &written);

} // namespace corvil::remote

#include "units.h"

#include <algorithm>
#include <cmath>

namespace corvil::remote {

namespace {

using nlohmann::json;

json inputList(std::uint8_t mask) {
    json list = json::array();
    for (int n = 1; n <= records::kInputs; ++n)
        if (records::has(mask, n)) list.push_back(n);
    return list;
}

// An input number of a list: an integer 1 to 8 (not 2.0, not true).
bool listInput(const json &value, int &input) {
    if (!value.is_number_integer()) return false;
    const auto n = value.get<long long>();
    if (!records::isInput(static_cast<int>(std::clamp<long long>(n, -1, 9)))) return false;
    input = static_cast<int>(n);
    return true;
}

std::optional<std::uint8_t> inputMask(const json &value, const char *what, std::string &error) {
    if (!value.is_array()) {
        error = std::string(what) + " must be a list of input numbers";
        return std::nullopt;
    }
    std::uint8_t mask = 0;
    for (const json &item : value) {
        int input = 0;
        if (!listInput(item, input)) {
            error = std::string(what) + " holds " + item.dump() + ": inputs are 1 to 8";
            return std::nullopt;
        }
        mask = records::with(mask, input, true);
    }
    return mask;
}

} // namespace

bool operator==(const records::Record &a, const records::Record &b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool operator==(const Unit &a, const Unit &b) {
    return a.serial == b.serial && a.connected == b.connected && a.settings == b.settings &&
           a.sequencing == b.sequencing;
}

json toJson(const Unit &unit) {
    json outputs = json::array();
    for (int o = 0; o < records::kOutputs; ++o) {
        const std::uint8_t input = unit.settings.first[o];
        const std::uint8_t control = unit.sequencing.second[o];
        // Codes above the last interval: the longest, as Corvil Switcher shows them.
        const int code = std::min(records::intervalCode(control), records::kIntervalCodes);
        outputs.push_back({
            // An undefined input byte from the unit is shown as unknown.
            {"input", input <= records::kInputs ? json(input) : json(nullptr)},
            {"pads", inputList(unit.settings.second[o])},
            {"autoSequence",
             {{"on", records::switchedOn(control)},
              {"inputs", inputList(unit.sequencing.first[o])},
              {"interval", records::intervalSeconds(code)}}},
        });
    }
    return {{"serial", unit.serial}, {"connected", unit.connected}, {"outputs", outputs}};
}

std::optional<OutputChange> parseChange(int output, const std::string &body, std::string &error) {
    OutputChange change;
    change.output = output;
    const json doc = json::parse(body, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        error = "the body must be a JSON object";
        return std::nullopt;
    }
    for (const auto &[key, value] : doc.items()) {
        if (key == "input") {
            if (!value.is_number_integer() || value.get<long long>() < 0 || value.get<long long>() > records::kInputs) {
                error = "input must be 0 (no input) to 8, not " + value.dump();
                return std::nullopt;
            }
            change.input = value.get<int>();
        } else if (key == "pads") {
            if (!(change.pads = inputMask(value, "pads", error))) return std::nullopt;
        } else if (key == "autoSequence") {
            if (!value.is_object()) {
                error = "autoSequence must be an object";
                return std::nullopt;
            }
            for (const auto &[field, v] : value.items()) {
                if (field == "on") {
                    if (!v.is_boolean()) {
                        error = "autoSequence.on must be true or false";
                        return std::nullopt;
                    }
                    change.sequencing = v.get<bool>();
                } else if (field == "inputs") {
                    if (!(change.sequenceInputs = inputMask(v, "autoSequence.inputs", error))) return std::nullopt;
                } else if (field == "interval") {
                    const int code = v.is_number() ? records::intervalCodeOf(v.get<double>()) : -1;
                    if (code < 0) {
                        error = "autoSequence.interval must be 0 (disabled) or 0.5 to 9.0 in steps of 0.5, not " +
                                v.dump();
                        return std::nullopt;
                    }
                    change.intervalCode = code;
                } else {
                    error = "unknown field autoSequence." + field;
                    return std::nullopt;
                }
            }
        } else {
            error = "unknown field " + key;
            return std::nullopt;
        }
    }
    return change;
}

records::Record settingsToWrite(const records::Record &present, const OutputChange &change) {
    records::Record out = present;
    out.first[0] = out.first[1] = records::kLeaveInput;
    if (change.input) out.first[change.output] = static_cast<std::uint8_t>(*change.input);
    if (change.pads) out.second[change.output] = *change.pads;
    return out;
}

records::Record sequencingToWrite(const records::Record &present, const OutputChange &change) {
    records::Record out = present;
    const int o = change.output;
    if (change.sequenceInputs) out.first[o] = *change.sequenceInputs;
    const std::uint8_t control = present.second[o];
    out.second[o] = records::control(change.sequencing.value_or(records::switchedOn(control)),
                                     change.intervalCode.value_or(records::intervalCode(control)));
    return out;
}

records::Record settingsAfter(const records::Record &present, const records::Record &written) {
    records::Record out = written;
    for (int o = 0; o < records::kOutputs; ++o)
        if (written.first[o] == records::kLeaveInput) out.first[o] = present.first[o];
    return out;
}

} // namespace corvil::remote

#include "unit_model.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace corvil::emulator {

namespace {
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
constexpr int kStepUnitMs = 500;

std::string hexBytes(const std::vector<std::uint8_t> &bytes) {
    std::string out;
    char two[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        if (i) out += ' ';
        out += two;
    }
    return out;
}
} // namespace

UnitModel::UnitModel(UnitConfig config, std::int64_t nowMs)
    : config_(std::move(config)), nextReport_(nowMs + config_.reportPeriodMs) {
    std::copy_n(config_.serial.begin(), std::min<std::size_t>(5, config_.serial.size()), serial_.begin());
}

corvhid::wire::Hello UnitModel::hello() const {
    return {config_.vendorId, config_.productId, config_.versionNumber, config_.inputLength,
            config_.outputLength};
}

void UnitModel::emit(Report report) {
    if (onReport) onReport(report);
}

void UnitModel::sendRecord(std::uint8_t reportId, const records::Record &record) {
    if (silenced_) return;
    Report r(config_.inputLength, 0);
    r[0] = reportId;
    records::toReport(record, r.data());
    emit(std::move(r));
}

void UnitModel::sendSettings() {
    sendRecord(records::kSettingsReportId, {{input_[0], input_[1]}, {pads_[0], pads_[1]}});
}

void UnitModel::sendAutoSequencing() {
    sendRecord(records::kAutoSequencingReportId, {{seqInputs_[0], seqInputs_[1]}, {seqControl_[0], seqControl_[1]}});
}

bool UnitModel::sequencing(int c) const { return records::steps(seqControl_[c], seqInputs_[c]); }

void UnitModel::restartStepping(int c, std::int64_t nowMs) {
    nextStep_[c] = sequencing(c) ? nowMs + std::int64_t{records::intervalCode(seqControl_[c])} * kStepUnitMs : kNever;
}

void UnitModel::step(int c) {
    // The next included input above the current one, wrapping round.
    for (int k = 1; k <= 8; ++k) {
        int candidate = (input_[c] + k - 1) % 8 + 1; // current+1 .. wraps to 1..8
        if (input_[c] > 8) candidate = k;
        if (records::has(seqInputs_[c], candidate)) {
            input_[c] = static_cast<std::uint8_t>(candidate);
            break;
        }
    }
    sendSettings();
}

void UnitModel::advance(std::int64_t nowMs) {
    for (int c = 0; c < 2; ++c) {
        if (nextStep_[c] == kNever || nowMs < nextStep_[c]) continue;
        step(c);
        const std::int64_t period = std::int64_t{records::intervalCode(seqControl_[c])} * kStepUnitMs;
        // After a long stall, step once and keep the rhythm from now.
        nextStep_[c] = std::max(nextStep_[c] + period, nowMs + 1);
    }
    if (nowMs >= nextReport_) {
        if (nextIsSettings_)
            sendSettings();
        else
            sendAutoSequencing();
        nextIsSettings_ = !nextIsSettings_;
        nextReport_ = std::max(nextReport_ + config_.reportPeriodMs, nowMs + 1);
    }
}

std::int64_t UnitModel::nextDue() const { return std::min({nextReport_, nextStep_[0], nextStep_[1]}); }

void UnitModel::receiveOutputReport(const Report &report, std::int64_t nowMs) {
    ++outputCount_;
    lastOutput_ = report;
    if (report.size() < 5) return;
    const records::Record r = records::fromReport(report.data());
    if (report[0] == records::kSettingsReportId) {
        // 255 leaves an output's input as it is; undefined values change nothing.
        for (int o = 0; o < 2; ++o) {
            if (r.first[o] <= records::kInputs) input_[o] = r.first[o];
            pads_[o] = r.second[o];
        }
        sendSettings();
    } else if (report[0] == records::kAutoSequencingReportId) {
        for (int o = 0; o < 2; ++o) {
            seqInputs_[o] = r.first[o];
            seqControl_[o] = r.second[o];
        }
        restartStepping(0, nowMs);
        restartStepping(1, nowMs);
        sendAutoSequencing();
    }
}

std::optional<std::array<std::uint8_t, 6>> UnitModel::getFeature(std::uint8_t reportId) const {
    if (reportId != 1) return std::nullopt;
    std::array<std::uint8_t, 6> r{1};
    std::copy(serial_.begin(), serial_.end(), r.begin() + 1);
    return r;
}

bool UnitModel::setFeature(const std::uint8_t *report, std::size_t length) {
    if (length != 6 || report[0] != 1) return false;
    std::copy(report + 1, report + 6, serial_.begin());
    return true;
}

void UnitModel::route(int output, int input, std::int64_t) {
    input_[output - 1] = static_cast<std::uint8_t>(input);
    sendSettings();
}

void UnitModel::setPad(int output, int input, bool on) {
    pads_[output - 1] = records::with(pads_[output - 1], input, on);
    sendSettings();
}

void UnitModel::setSequenceInputs(int output, std::uint8_t mask, std::int64_t nowMs) {
    seqInputs_[output - 1] = mask;
    restartStepping(output - 1, nowMs);
    sendAutoSequencing();
}

void UnitModel::setSequenceInterval(int output, std::uint8_t code, std::int64_t nowMs) {
    auto &control = seqControl_[output - 1];
    control = records::control(records::switchedOn(control), code);
    restartStepping(output - 1, nowMs);
    sendAutoSequencing();
}

void UnitModel::setSequencing(int output, bool on, std::int64_t nowMs) {
    auto &control = seqControl_[output - 1];
    control = records::control(on, records::intervalCode(control));
    restartStepping(output - 1, nowMs);
    sendAutoSequencing();
}

void UnitModel::sendRaw(const Report &report) { emit(report); }

std::string UnitModel::describeState() const {
    char text[200];
    std::snprintf(text, sizeof text,
                  "input1=%u input2=%u pads1=0x%02x pads2=0x%02x seqinputs1=0x%02x seqinputs2=0x%02x "
                  "seqcontrol1=0x%02x seqcontrol2=0x%02x serial=",
                  input_[0], input_[1], pads_[0], pads_[1], seqInputs_[0], seqInputs_[1], seqControl_[0],
                  seqControl_[1]);
    // A serial written by a host may hold any byte; keep the line readable.
    std::string shown;
    for (char ch : serial_) {
        if (ch >= 0x21 && ch <= 0x7E) {
            shown += ch;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(ch));
            shown += escaped;
        }
    }
    return text + shown;
}

std::string UnitModel::describeOutputs() const {
    return "count=" + std::to_string(outputCount_) + " last=" + (outputCount_ ? hexBytes(lastOutput_) : "-");
}

} // namespace corvil::emulator

// The firmware model of one Corvil unit, as the unit behaves from outside:
// routing and pads of two outputs over eight inputs, auto-sequencing that
// really steps, the serial number, and the input reports it sends by itself.
// Time is passed in (milliseconds) so that the model runs the same under a
// test's clock and a real one.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "corvhid.h"
#include "corvhid_records.h"
#include "wire.h"

namespace corvil::emulator {

namespace records = corvhid::records;

struct UnitConfig {
    std::string serial = "EMU01";
    std::uint16_t vendorId = CORVHID_VENDOR_ID, productId = CORVHID_PRODUCT_ID, versionNumber = CORVHID_MINIMUM_VERSION;
    std::uint16_t inputLength = 5, outputLength = 5;
    int reportPeriodMs = 20;
};

class UnitModel {
public:
    using Report = std::vector<std::uint8_t>;

    UnitModel(UnitConfig config, std::int64_t nowMs);

    // Every input report the unit sends goes here.
    std::function<void(const Report &)> onReport;

    const UnitConfig &config() const { return config_; }
    corvhid::wire::Hello hello() const;

    // Periodic reports and auto-sequencing steps due by `nowMs`.
    void advance(std::int64_t nowMs);
    // When advance() next has something to do.
    std::int64_t nextDue() const;

    // From the host.
    void receiveOutputReport(const Report &report, std::int64_t nowMs);
    std::optional<std::array<std::uint8_t, 6>> getFeature(std::uint8_t reportId) const;
    bool setFeature(const std::uint8_t *report, std::size_t length);

    // The front panel. Outputs 1..2; inputs as the commands give them.
    void route(int output, int input, std::int64_t nowMs);
    void setPad(int output, int input, bool on);
    void setSequenceInputs(int output, std::uint8_t mask, std::int64_t nowMs);
    void setSequenceInterval(int output, std::uint8_t code, std::int64_t nowMs);
    void setSequencing(int output, bool on, std::int64_t nowMs);

    void sendRaw(const Report &report);
    void setSilenced(bool silenced) { silenced_ = silenced; }
    bool silenced() const { return silenced_; }

    std::uint8_t input(int output) const { return input_[output - 1]; }
    std::uint8_t pads(int output) const { return pads_[output - 1]; }
    std::uint8_t sequenceInputs(int output) const { return seqInputs_[output - 1]; }
    std::uint8_t sequenceControl(int output) const { return seqControl_[output - 1]; }
    std::string serial() const { return std::string(serial_.begin(), serial_.end()); }

    // The answers of the "state" and "outputs" commands (without "ok ").
    std::string describeState() const;
    std::string describeOutputs() const;

private:
    void emit(Report report);
    void sendRecord(std::uint8_t reportId, const records::Record &record);
    void sendSettings();
    void sendAutoSequencing();
    bool sequencing(int channel) const;
    void restartStepping(int channel, std::int64_t nowMs);
    void step(int channel);

    UnitConfig config_;
    std::array<std::uint8_t, 2> input_{0, 0}, pads_{0, 0}, seqInputs_{0, 0}, seqControl_{0, 0};
    std::array<char, 5> serial_{};
    bool silenced_ = false;
    std::int64_t nextReport_;
    bool nextIsSettings_ = true;
    std::array<std::int64_t, 2> nextStep_{std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max()};
    unsigned outputCount_ = 0;
    Report lastOutput_;
};

} // namespace corvil::emulator

// One host connection to a virtual unit, whatever carries it: every input
// report the unit sends is pushed to the host at once, within the window the
// host's count of reports taken leaves open; beyond it, and while the
// channel has no room, only the newest reports wait here. Output and feature
// reports are answered as they come.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>

#include "unit_model.h"

namespace corvil::emulator {

class Session {
public:
    using Report = UnitModel::Report;
    // What became of a message put on the connection: sent, no room for it
    // now (the channel is full; nothing waits), or the connection failed.
    enum class Sent { Ok, Full, Failed };
    Session(UnitModel &unit, std::function<Sent(const Report &)> send) : unit_(unit), send_(std::move(send)) {}

    // A report the unit sent; false when the connection failed.
    bool onReport(const Report &report);
    // A message from the host; false when the connection failed.
    bool onMessage(const Report &message, std::int64_t nowMs);
    // The channel has room again; false when the connection failed.
    bool onRoom() { return flush(); }
    // Something waits for room in the channel (not for the host's count).
    bool waitsForRoom() const { return blocked_; }

private:
    bool flush();
    bool windowOpen() const { return sent_ - taken_ < corvhid::wire::kPushWindow; }

    UnitModel &unit_;
    std::function<Sent(const Report &)> send_;
    std::uint32_t sent_ = 0, taken_ = 0; // input reports sent, and taken by the host's count
    std::deque<Report> held_;            // the newest reports not yet sent
    bool behind_ = false;                // reports were held: kCaughtUp follows the last of them
    bool blocked_ = false;               // the channel was full
};

// Milliseconds of a monotonic clock.
std::int64_t nowMs();

} // namespace corvil::emulator

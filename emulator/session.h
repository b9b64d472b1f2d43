// One host connection to a virtual unit, whatever carries it: its own queue
// of input reports (64, oldest dropped) handed out one per read request, and
// the answers to its output and feature reports.
#pragma once

#include <deque>
#include <functional>

#include "unit_model.h"

namespace corvil::emulator {

class Session {
public:
    using Report = UnitModel::Report;
    // `send` puts one message on the connection; false when it failed.
    Session(UnitModel &unit, std::function<bool(const Report &)> send) : unit_(unit), send_(std::move(send)) {}

    // A report the unit sent; false when the connection failed.
    bool onReport(const Report &report);
    // A message from the host; false when the connection failed.
    bool onMessage(const Report &message, std::int64_t nowMs);

private:
    bool deliver();

    UnitModel &unit_;
    std::function<bool(const Report &)> send_;
    std::deque<Report> queue_; // reports not yet asked for
    bool asked_ = false;       // a read request waits for the next report
};

// Milliseconds of a monotonic clock.
std::int64_t nowMs();

} // namespace corvil::emulator

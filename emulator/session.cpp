#include "session.h"

#include <algorithm>
#include <chrono>

namespace corvil::emulator {

namespace wire = corvhid::wire;

bool Session::flush() {
    blocked_ = false;
    while (!held_.empty() && windowOpen()) {
        const Report &report = held_.front();
        Report message(report.size() + 1);
        message[0] = wire::kInputReport;
        std::copy(report.begin(), report.end(), message.begin() + 1);
        switch (send_(message)) {
        case Sent::Ok: break;
        case Sent::Full: blocked_ = true; return true;
        case Sent::Failed: return false;
        }
        held_.pop_front();
        ++sent_;
    }
    if (held_.empty() && behind_) {
        switch (send_({wire::kCaughtUp})) {
        case Sent::Ok: behind_ = false; break;
        case Sent::Full: blocked_ = true; break;
        case Sent::Failed: return false;
        }
    }
    return true;
}

bool Session::onReport(const Report &report) {
    // Held reports go oldest first; of a host that takes nothing, only the
    // newest that a handle's queue would keep are worth keeping.
    if (held_.size() == wire::kQueueDepth) held_.pop_front();
    held_.push_back(report);
    if (!windowOpen() || blocked_) behind_ = true;
    return blocked_ || flush();
}

bool Session::onMessage(const Report &message, std::int64_t nowMs) {
    if (message.empty()) return true;
    const Report body(message.begin() + 1, message.end());
    switch (message[0]) {
    case wire::kTaken:
        // A count never goes back, nor beyond what was sent (counts wrap).
        if (const auto taken = wire::decodeTaken(message)) {
            if (static_cast<std::int32_t>(*taken - taken_) > 0 && static_cast<std::int32_t>(*taken - sent_) <= 0)
                taken_ = *taken;
        }
        return flush();
    case wire::kOutputReport:
        unit_.receiveOutputReport(body, nowMs);
        return true;
    case wire::kFeatureGet: {
        Report answer{wire::kFeatureAnswer, 0, 0, 0, 0, 0, 0, 0};
        if (!body.empty()) {
            if (auto feature = unit_.getFeature(body[0])) {
                answer[1] = 1;
                std::copy(feature->begin(), feature->end(), answer.begin() + 2);
            }
        }
        // An answer the full channel has no room for is lost: the host's
        // request times out, as a feature transfer to a stuck device does.
        return send_(answer) != Sent::Failed;
    }
    case wire::kFeatureSet:
        return send_({wire::kFeatureSetAck, static_cast<std::uint8_t>(unit_.setFeature(body.data(), body.size()))}) !=
               Sent::Failed;
    default:
        return true;
    }
}

} // namespace corvil::emulator

namespace corvil::emulator {

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace corvil::emulator

#include "session.h"

#include <algorithm>
#include <chrono>

namespace corvil::emulator {

namespace wire = corvhid::wire;

bool Session::deliver() {
    if (!asked_ || queue_.empty()) return true;
    const Report &report = queue_.front();
    Report message(report.size() + 1);
    message[0] = wire::kInputReport;
    std::copy(report.begin(), report.end(), message.begin() + 1);
    queue_.pop_front();
    asked_ = false;
    return send_(message);
}

bool Session::onReport(const Report &report) {
    if (queue_.size() == wire::kQueueDepth) queue_.pop_front();
    queue_.push_back(report);
    return deliver();
}

bool Session::onMessage(const Report &message, std::int64_t nowMs) {
    if (message.empty()) return true;
    const Report body(message.begin() + 1, message.end());
    switch (message[0]) {
    case wire::kReadRequest:
        asked_ = true;
        return deliver();
    case wire::kReadAllQueued: {
        // One answer for the whole queue: a host that wants the newest report
        // would otherwise ask once for every report queued. None while a
        // read request waits: the next report is that request's.
        Report answer{wire::kQueuedReports, 0};
        while (!asked_ && !queue_.empty() && answer.size() + 1 + queue_.front().size() <= wire::kMaxMessage) {
            answer.push_back(static_cast<std::uint8_t>(queue_.front().size()));
            answer.insert(answer.end(), queue_.front().begin(), queue_.front().end());
            queue_.pop_front();
        }
        answer[1] = !asked_ && !queue_.empty() ? 1 : 0;
        return send_(answer);
    }
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
        return send_(answer);
    }
    case wire::kFeatureSet:
        return send_({wire::kFeatureSetAck, static_cast<std::uint8_t>(unit_.setFeature(body.data(), body.size()))});
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

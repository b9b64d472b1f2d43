#include "virtual_platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace corvhid {
namespace {
// Feature transfers are synchronous; a unit that has not answered within a
// second is taken as gone.
constexpr int kFeatureTimeoutMs = 1000;
constexpr int kHelloTimeoutMs = 1000;
// One message: its kind, then the report bytes.
std::vector<std::uint8_t> frame(std::uint8_t kind, const std::uint8_t *report, std::uint32_t length) {
    std::vector<std::uint8_t> message(1 + std::size_t{length});
    message[0] = kind;
    if (length) std::memcpy(message.data() + 1, report, length);
    return message;
}
// An input-report message into the caller's buffer, zero-padded.
Transfer copyReport(const std::vector<std::uint8_t> &message, std::uint8_t *buffer, std::uint32_t length) {
    const std::size_t n = std::min<std::size_t>(length, message.size() - 1);
    std::memcpy(buffer, message.data() + 1, n);
    if (n < length) std::memset(buffer + n, 0, length - n);
    return Transfer::Completed;
}
} // namespace

VirtualPlatform::VirtualPlatform() = default;
VirtualPlatform::~VirtualPlatform() = default;

bool VirtualPlatform::ownsPath(const char *path) { return path && virt::isEntry(path); }


Handle VirtualPlatform::open(const char *path) {
    auto channel = virt::connect(path);
    if (!channel) return kNoHandle;
    std::vector<std::uint8_t> message;
    if (channel->receive(message, kHelloTimeoutMs) != virt::Io::Ok) return kNoHandle;
    auto hello = wire::decodeHello(message);
    if (!hello) return kNoHandle;
    auto c = std::make_unique<Connection>();
    c->channel = std::move(channel);
    c->hello = *hello;
    Handle h = nextHandle_++;
    connections_[h] = std::move(c);
    return h;
}

void VirtualPlatform::close(Handle handle) { connections_.erase(handle); }

VirtualPlatform::Connection *VirtualPlatform::find(Handle handle) {
    auto it = connections_.find(handle);
    return it == connections_.end() ? nullptr : it->second.get();
}

bool VirtualPlatform::getAttributes(Handle handle, Attributes &attributes) {
    Connection *c = find(handle);
    if (!c) return false;
    attributes.vendorId = c->hello.vendorId;
    attributes.productId = c->hello.productId;
    attributes.versionNumber = c->hello.versionNumber;
    return true;
}

bool VirtualPlatform::readReportLengths(Handle handle, ReportLengths &lengths) {
    Connection *c = find(handle);
    if (!c) return false;
    lengths.input = c->hello.inputLength;
    lengths.output = c->hello.outputLength;
    return true;
}

bool VirtualPlatform::await(Connection &c, std::uint8_t kind, std::vector<std::uint8_t> &message,
                            int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        virt::Io io = c.channel->receive(message, static_cast<int>(std::max<long long>(0, left.count())));
        if (io == virt::Io::Closed) c.broken = true;
        if (io != virt::Io::Ok) return false;
        if (message.empty()) continue;
        if (message[0] == kind) return true;
        if (message[0] == wire::kInputReport && c.readRequested) {
            // The answer to a read that gave up waiting: it is the next report.
            c.readRequested = false;
            c.early.push_back(std::move(message));
        }
    }
}

Transfer VirtualPlatform::readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    Connection *c = find(input);
    if (!c || c->broken) return Transfer::NotStarted;
    c->drained = false; // what the unit said of its queue is past
    std::vector<std::uint8_t> message;
    if (c->early.empty()) {
        // Asking and waiting share the one 50 ms a read may take.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTransferTimeoutMs);
        if (!c->readRequested) {
            switch (c->channel->send({wire::kReadRequest}, kTransferTimeoutMs)) {
            case virt::Io::Ok: break;
            case virt::Io::TimedOut: return Transfer::TimedOut;
            case virt::Io::Closed: c->broken = true; return Transfer::NotStarted;
            }
            c->readRequested = true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!await(*c, wire::kInputReport, message, static_cast<int>(std::max<long long>(0, left.count())))) {
            // The request stays out: its answer, when it comes, is the next report.
            return c->broken ? Transfer::NotStarted : Transfer::TimedOut;
        }
        c->readRequested = false;
    } else {
        message = std::move(c->early.front());
        c->early.erase(c->early.begin());
    }
    return copyReport(message, buffer, length);
}

Transfer VirtualPlatform::readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    Connection *c = find(input);
    if (!c || c->broken) return Transfer::NotStarted;
    if (c->early.empty()) {
        // A read that gave up earlier is still answered first: nothing to ask.
        if (c->readRequested) return Transfer::TimedOut;
        // The unit said its last answer emptied its queue: the caller has
        // everything that was queued, without asking again.
        if (c->drained) {
            c->drained = false;
            return Transfer::TimedOut;
        }
        if (c->channel->send({wire::kReadAllQueued}, kTransferTimeoutMs) != virt::Io::Ok) {
            c->broken = true;
            return Transfer::NotStarted;
        }
        // The unit answers at once with what it has queued, perhaps nothing;
        // the reports are handed out one by one from here.
        std::vector<std::uint8_t> message;
        for (;;) {
            virt::Io io = c->channel->receive(message, kFeatureTimeoutMs);
            if (io == virt::Io::Closed) c->broken = true;
            if (io != virt::Io::Ok) return c->broken ? Transfer::NotStarted : Transfer::TimedOut;
            if (!message.empty() && message[0] == wire::kQueuedReports) break;
        }
        c->drained = message.size() >= 2 && message[1] == 0;
        for (std::size_t i = 2; i < message.size();) {
            const std::size_t n = message[i];
            if (n == 0 || i + 1 + n > message.size()) break; // a damaged answer: what came whole counts
            c->early.push_back(frame(wire::kInputReport, message.data() + i + 1, static_cast<std::uint32_t>(n)));
            i += 1 + n;
        }
        if (c->early.empty()) {
            c->drained = false;
            return Transfer::TimedOut;
        }
    }
    std::vector<std::uint8_t> message = std::move(c->early.front());
    c->early.erase(c->early.begin());
    return copyReport(message, buffer, length);
}

Transfer VirtualPlatform::writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    Connection *c = find(main);
    if (!c || c->broken) return Transfer::NotStarted;
    std::vector<std::uint8_t> message = frame(wire::kOutputReport, buffer, length);
    switch (c->channel->send(message, kTransferTimeoutMs)) {
    case virt::Io::Ok: return Transfer::Completed;
    case virt::Io::TimedOut: return Transfer::TimedOut;
    case virt::Io::Closed: break;
    }
    c->broken = true;
    return Transfer::NotStarted;
}

bool VirtualPlatform::getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) {
    Connection *c = find(main);
    if (!c || c->broken || length != wire::kFeatureLength) return false;
    std::vector<std::uint8_t> message = frame(wire::kFeatureGet, buffer, length);
    if (c->channel->send(message, kFeatureTimeoutMs) != virt::Io::Ok) return false;
    if (!await(*c, wire::kFeatureAnswer, message, kFeatureTimeoutMs)) return false;
    if (message.size() != 2 + wire::kFeatureLength || message[1] != 1) return false;
    std::memcpy(buffer, message.data() + 2, wire::kFeatureLength);
    return true;
}

bool VirtualPlatform::setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    Connection *c = find(main);
    if (!c || c->broken || length != wire::kFeatureLength) return false;
    std::vector<std::uint8_t> message = frame(wire::kFeatureSet, buffer, length);
    if (c->channel->send(message, kFeatureTimeoutMs) != virt::Io::Ok) return false;
    if (!await(*c, wire::kFeatureSetAck, message, kFeatureTimeoutMs)) return false;
    return message.size() == 2 && message[1] == 1;
}

} // namespace corvhid

#include "virtual_platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace corvhid {
namespace {
// Feature transfers are synchronous; one the unit has not answered within a
// second has failed (the connection stays: only the unit closes it).
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

bool VirtualPlatform::take(Connection &c, std::uint8_t kind, std::vector<std::uint8_t> &message, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool came = false;
    while (!came) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const virt::Io io = c.channel->receive(message, kind ? static_cast<int>(std::max<long long>(0, left.count())) : 0);
        if (io == virt::Io::Closed) c.broken = true;
        if (io != virt::Io::Ok) break;
        if (message.empty()) continue;
        if (message[0] == wire::kInputReport) {
            // Full: the oldest goes, as the HID driver drops it.
            if (c.queue.size() == wire::kQueueDepth) c.queue.pop_front();
            c.queue.push_back(message);
            ++c.received;
        }
        came = kind && message[0] == kind;
    }
    // Told without waiting (a count that finds no room goes with the next),
    // and not after every report: a quarter of the window at a time keeps
    // the unit sending.
    if (c.received - c.told >= wire::kPushWindow / 4 && !c.broken) {
        switch (c.channel->send(wire::encodeTaken(c.received), 0)) {
        case virt::Io::Ok: c.told = c.received; break;
        case virt::Io::TimedOut: break;
        case virt::Io::Closed: c.broken = true; break;
        }
    }
    return came;
}

void VirtualPlatform::catchUp(Connection &c) {
    const std::uint32_t told = c.told;
    std::vector<std::uint8_t> message;
    take(c, 0, message, 0);
    // The unit sends no more than kPushWindow reports past the count it was
    // told, and holds the newest back: what came is older than what a HID
    // driver's buffer would hold now. The newest follow the count just told.
    if (c.received - told >= wire::kPushWindow && !c.broken) take(c, wire::kCaughtUp, message, kTransferTimeoutMs);
}

Transfer VirtualPlatform::readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    Connection *c = find(input);
    if (!c || c->broken) return Transfer::NotStarted;
    catchUp(*c);
    std::vector<std::uint8_t> message;
    if (c->queue.empty() && !c->broken) take(*c, wire::kInputReport, message, kTransferTimeoutMs);
    // A closed connection fails at once, whatever it had queued, as a pulled
    // device's handle does.
    if (c->broken) return Transfer::NotStarted;
    // A report that comes after the read gave up stays queued for the next.
    if (c->queue.empty()) return Transfer::TimedOut;
    message = std::move(c->queue.front());
    c->queue.pop_front();
    return copyReport(message, buffer, length);
}

Transfer VirtualPlatform::readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    Connection *c = find(input);
    if (!c || c->broken) return Transfer::NotStarted;
    // The connection is read when the queue runs empty: a caller taking the
    // whole queue report by report reads it twice, not once a report.
    if (c->queue.empty()) catchUp(*c);
    if (c->broken) return Transfer::NotStarted;
    if (c->queue.empty()) return Transfer::TimedOut;
    std::vector<std::uint8_t> message = std::move(c->queue.front());
    c->queue.pop_front();
    return copyReport(message, buffer, length);
}

Transfer VirtualPlatform::writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    Connection *c = find(main);
    if (!c || c->broken) return Transfer::NotStarted;
    std::vector<std::uint8_t> message;
    take(*c, 0, message, 0); // room for what the unit says next
    if (c->broken) return Transfer::NotStarted;
    message = frame(wire::kOutputReport, buffer, length);
    switch (c->channel->send(message, kTransferTimeoutMs)) {
    case virt::Io::Ok: return Transfer::Completed;
    case virt::Io::TimedOut: return Transfer::TimedOut;
    case virt::Io::Closed: break;
    }
    c->broken = true;
    return Transfer::NotStarted;
}

bool VirtualPlatform::sent(Connection &c, const std::vector<std::uint8_t> &message) {
    const virt::Io io = c.channel->send(message, kFeatureTimeoutMs);
    if (io == virt::Io::Closed) c.broken = true;
    return io == virt::Io::Ok;
}

bool VirtualPlatform::getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) {
    Connection *c = find(main);
    if (!c || c->broken || length != wire::kFeatureLength) return false;
    std::vector<std::uint8_t> message;
    take(*c, 0, message, 0); // room for the answer
    message = frame(wire::kFeatureGet, buffer, length);
    if (c->broken || !sent(*c, message)) return false;
    if (!take(*c, wire::kFeatureAnswer, message, kFeatureTimeoutMs)) return false;
    if (message.size() != 2 + wire::kFeatureLength || message[1] != 1) return false;
    std::memcpy(buffer, message.data() + 2, wire::kFeatureLength);
    return true;
}

bool VirtualPlatform::setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    Connection *c = find(main);
    if (!c || c->broken || length != wire::kFeatureLength) return false;
    std::vector<std::uint8_t> message;
    take(*c, 0, message, 0); // room for the answer
    message = frame(wire::kFeatureSet, buffer, length);
    if (c->broken || !sent(*c, message)) return false;
    if (!take(*c, wire::kFeatureSetAck, message, kFeatureTimeoutMs)) return false;
    return message.size() == 2 && message[1] == 1;
}

} // namespace corvhid

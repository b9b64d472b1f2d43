#include "composite_platform.h"

namespace corvhid {

CompositePlatform::CompositePlatform(std::unique_ptr<Platform> system, std::unique_ptr<Platform> extra,
                                     bool (*extraOwnsPath)(const char *))
    : system_(std::move(system)), extra_(std::move(extra)), extraOwnsPath_(extraOwnsPath) {}

const char *CompositePlatform::beginListing() {
    listingExtra_ = false;
    // A listing that could not begin lists nothing, not even what an
    // earlier one of the virtual units left.
    listed_ = false;
    if (const char *failure = system_->beginListing()) return failure;
    if (const char *failure = extra_->beginListing()) return failure;
    listed_ = true;
    return nullptr;
}

// The virtual units are numbered after the last system interface.
Listed CompositePlatform::nextInterface(std::string &path) {
    if (!listed_) return Listed::End;
    if (!listingExtra_) {
        const Listed step = system_->nextInterface(path);
        if (step != Listed::End) return step;
        listingExtra_ = true;
    }
    return extra_->nextInterface(path);
}

void CompositePlatform::endListing() {
    system_->endListing();
    extra_->endListing();
}

void CompositePlatform::releaseDevices() {
    system_->releaseDevices();
    extra_->releaseDevices();
}

Handle CompositePlatform::open(const char *path) {
    Platform *p = extraOwnsPath_(path) ? extra_.get() : system_.get();
    Handle inner = p->open(path);
    if (inner == kNoHandle) return kNoHandle;
    Handle h = nextHandle_++;
    handles_[h] = {p, inner};
    return h;
}

std::pair<Platform *, Handle> CompositePlatform::resolve(Handle handle) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return {nullptr, kNoHandle};
    return it->second;
}

void CompositePlatform::close(Handle handle) {
    auto [p, inner] = resolve(handle);
    if (!p) return;
    p->close(inner);
    handles_.erase(handle);
}
bool CompositePlatform::getAttributes(Handle handle, Attributes &attributes) {
    auto [p, inner] = resolve(handle);
    return p && p->getAttributes(inner, attributes);
}
bool CompositePlatform::readReportLengths(Handle handle, ReportLengths &lengths) {
    auto [p, inner] = resolve(handle);
    return p && p->readReportLengths(inner, lengths);
}
Transfer CompositePlatform::readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    auto [p, inner] = resolve(input);
    return p ? p->readInputReport(inner, buffer, length) : Transfer::NotStarted;
}
Transfer CompositePlatform::writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    auto [p, inner] = resolve(main);
    return p ? p->writeOutputReport(inner, buffer, length) : Transfer::NotStarted;
}
Transfer CompositePlatform::readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    auto [p, inner] = resolve(input);
    return p ? p->readQueuedInputReport(inner, buffer, length) : Transfer::NotStarted;
}
bool CompositePlatform::getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) {
    auto [p, inner] = resolve(main);
    return p && p->getFeature(inner, buffer, length);
}
bool CompositePlatform::setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    auto [p, inner] = resolve(main);
    return p && p->setFeature(inner, buffer, length);
}

} // namespace corvhid

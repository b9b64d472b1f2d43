#include "composite_platform.h"

namespace corvhid {

CompositePlatform::CompositePlatform(std::unique_ptr<Platform> system, std::unique_ptr<Platform> extra,
                                     bool (*extraOwnsPath)(const char *))
    : system_(std::move(system)), extra_(std::move(extra)), extraOwnsPath_(extraOwnsPath) {}

bool CompositePlatform::loadHidServices() { return system_->loadHidServices() && extra_->loadHidServices(); }
void CompositePlatform::releaseHidServices() {
    system_->releaseHidServices();
    extra_->releaseHidServices();
}
bool CompositePlatform::loadSetupServices() {
    return system_->loadSetupServices() && extra_->loadSetupServices();
}
void CompositePlatform::releaseSetupServices() {
    system_->releaseSetupServices();
    extra_->releaseSetupServices();
}
bool CompositePlatform::bindHid(HidEntry entry) { return system_->bindHid(entry) && extra_->bindHid(entry); }
bool CompositePlatform::bindSetup(SetupEntry entry) {
    return system_->bindSetup(entry) && extra_->bindSetup(entry);
}
void CompositePlatform::getHidGuid(Guid &guid) { system_->getHidGuid(guid); }

DeviceSet CompositePlatform::getClassDevs(const Guid &hidClass, std::uint32_t flags) {
    SetParts parts;
    parts.system = system_->getClassDevs(hidClass, flags);
    parts.extra = extra_->getClassDevs(hidClass, flags);
    if (parts.system == 0 && parts.extra == 0) return 0;
    DeviceSet set = nextSet_++;
    sets_[set] = parts;
    return set;
}

CompositePlatform::Route CompositePlatform::route(DeviceSet set, std::uint32_t index) {
    auto it = sets_.find(set);
    if (it == sets_.end()) return {nullptr, 0, 0};
    SetParts &p = it->second;
    if (!p.counted) {
        // The virtual units are numbered after the last system interface.
        // Counted at the first look, once every entry point is bound.
        if (p.system != 0)
            while (system_->enumDeviceInterface(p.system, p.systemCount)) ++p.systemCount;
        p.counted = true;
    }
    if (index < p.systemCount) return {system_.get(), p.system, index};
    if (p.extra == 0) return {nullptr, 0, 0};
    return {extra_.get(), p.extra, index - p.systemCount};
}

bool CompositePlatform::enumDeviceInterface(DeviceSet set, std::uint32_t index) {
    Route r = route(set, index);
    return r.platform && r.platform->enumDeviceInterface(r.set, r.index);
}
std::uint32_t CompositePlatform::interfaceDetailSize(DeviceSet set, std::uint32_t index) {
    Route r = route(set, index);
    return r.platform ? r.platform->interfaceDetailSize(r.set, r.index) : 0;
}
bool CompositePlatform::interfaceDetail(DeviceSet set, std::uint32_t index, InterfaceDetail *detail,
                                        std::uint32_t bufferSize) {
    Route r = route(set, index);
    return r.platform && r.platform->interfaceDetail(r.set, r.index, detail, bufferSize);
}
void CompositePlatform::destroyDeviceInfoList(DeviceSet set) {
    auto it = sets_.find(set);
    if (it == sets_.end()) return;
    if (it->second.system) system_->destroyDeviceInfoList(it->second.system);
    if (it->second.extra) extra_->destroyDeviceInfoList(it->second.extra);
    sets_.erase(it);
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
void CompositePlatform::ensureReportEvents() {
    system_->ensureReportEvents();
    extra_->ensureReportEvents();
}
void CompositePlatform::closeReportEvents() {
    system_->closeReportEvents();
    extra_->closeReportEvents();
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

void CompositePlatform::cancelIo(Handle handle) {
    auto [p, inner] = resolve(handle);
    if (p) p->cancelIo(inner);
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

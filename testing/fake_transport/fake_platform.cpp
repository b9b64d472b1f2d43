#include "fake_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace corvhid {

int FakePlatform::count(const std::string &callPrefix) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string &c) {
        return c.compare(0, callPrefix.size(), callPrefix) == 0;
    }));
}

bool FakePlatform::loadHidServices() {
    log("loadHid");
    if (hidLoadFails) return false;
    hidLoaded = true;
    return true;
}
void FakePlatform::releaseHidServices() {
    log("releaseHid");
    hidLoaded = false;
}
bool FakePlatform::loadSetupServices() {
    log("loadSetup");
    if (setupLoadFails) return false;
    setupLoaded = true;
    return true;
}
void FakePlatform::releaseSetupServices() {
    log("releaseSetup");
    setupLoaded = false;
}
bool FakePlatform::bindHid(HidEntry entry) {
    log("bindHid " + std::to_string(static_cast<int>(entry) + 1));
    return !missingHid.count(entry);
}
bool FakePlatform::bindSetup(SetupEntry entry) {
    log("bindSetup " + std::to_string(static_cast<int>(entry) + 1));
    return !missingSetup.count(entry);
}
void FakePlatform::getHidGuid(Guid &guid) {
    log("getHidGuid");
    guid = Guid{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
}
DeviceSet FakePlatform::getClassDevs(const Guid &, std::uint32_t flags) {
    log("getClassDevs " + std::to_string(flags));
    if (classDevsFails) return 0;
    DeviceSet set = nextSet_++;
    setSizes_[set] = interfaces.size();
    liveSets.insert(set);
    return set;
}
bool FakePlatform::enumDeviceInterface(DeviceSet set, std::uint32_t index) {
    log("enum " + std::to_string(index));
    if (!liveSets.count(set)) throw std::logic_error("enumeration of a released set");
    return index < setSizes_[set];
}
std::uint32_t FakePlatform::interfaceDetailSize(DeviceSet, std::uint32_t index) {
    const FakeInterface &i = interfaces.at(index);
    if (i.detailSizeOverride) return i.detailSizeOverride;
    return static_cast<std::uint32_t>(kDetailPathOffset + i.path.size() + 1);
}
bool FakePlatform::interfaceDetail(DeviceSet, std::uint32_t index, InterfaceDetail *detail,
                                   std::uint32_t bufferSize) {
    log("detail " + std::to_string(index) + " size " + std::to_string(detail->size));
    const std::string &path = interfaces.at(index).path;
    std::size_t room = bufferSize - kDetailPathOffset;
    std::size_t n = std::min(room - 1, path.size());
    std::memcpy(detail->path, path.data(), n);
    detail->path[n] = '\0';
    return n == path.size();
}
void FakePlatform::destroyDeviceInfoList(DeviceSet set) {
    log("destroySet");
    if (!liveSets.erase(set)) throw std::logic_error("release of an unknown set");
}
Handle FakePlatform::open(const char *path) {
    log(std::string("open ") + path);
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        FakeInterface &fi = interfaces[i];
        if (fi.path != path || !fi.opens) continue;
        bool alreadyOpen = std::any_of(openHandles.begin(), openHandles.end(),
                                       [&](const auto &h) { return h.second == i; });
        if (alreadyOpen && fi.secondOpenFails) return kNoHandle;
        Handle h = nextHandle_++;
        openHandles[h] = i;
        everOpened_[h] = i;
        return h;
    }
    return kNoHandle;
}
void FakePlatform::close(Handle handle) {
    log("close " + std::to_string(handle));
    if (!openHandles.erase(handle)) throw std::logic_error("close of a handle that is not open");
}
bool FakePlatform::getAttributes(Handle handle, Attributes &attributes) {
    FakeInterface &fi = at(handle);
    if (attributes.size != 12) throw std::logic_error("attributes record size");
    if (!fi.attributesReadable) return false;
    attributes.vendorId = fi.vendorId;
    attributes.productId = fi.productId;
    attributes.versionNumber = fi.versionNumber;
    return true;
}
bool FakePlatform::readReportLengths(Handle handle, ReportLengths &lengths) {
    log("caps " + std::to_string(handle));
    FakeInterface &fi = at(handle);
    if (!fi.capsReadable) return false;
    lengths = fi.lengths;
    return true;
}
void FakePlatform::ensureReportEvents() {
    if (!readEvent_) {
        readEvent_ = true;
        eventsCreated += 2;
    }
}
void FakePlatform::closeReportEvents() {
    log("closeEvents");
    if (readEvent_) eventsClosed += 2;
    readEvent_ = false;
}
Transfer FakePlatform::readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    log("read " + std::to_string(input) + " " + std::to_string(length));
    if (!readEvent_) throw std::logic_error("read before the report events exist");
    auto it = openHandles.find(input);
    if (it == openHandles.end()) return Transfer::NotStarted;
    FakeInterface &fi = interfaces[it->second];
    if (fi.readFailure != Transfer::Completed) return fi.readFailure;
    if (fi.inputQueue.empty() && fi.standing.empty()) return Transfer::TimedOut;
    std::vector<std::uint8_t> report = fi.standing;
    if (!fi.inputQueue.empty()) {
        report = std::move(fi.inputQueue.front());
        fi.inputQueue.pop_front();
    }
    if (!report.empty()) std::memcpy(buffer, report.data(), std::min<std::size_t>(length, report.size()));
    return Transfer::Completed;
}
Transfer FakePlatform::writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    log("write " + std::to_string(main) + " " + std::to_string(length));
    auto it = openHandles.find(main);
    if (it == openHandles.end()) return Transfer::NotStarted;
    FakeInterface &fi = interfaces[it->second];
    if (fi.writeOutcome == Transfer::Completed) fi.writes.emplace_back(buffer, buffer + length);
    return fi.writeOutcome;
}
Transfer FakePlatform::readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    auto it = openHandles.find(input);
    if (it == openHandles.end()) return Transfer::NotStarted;
    if (interfaces[it->second].inputQueue.empty()) return Transfer::TimedOut;
    return readInputReport(input, buffer, length);
}

void FakePlatform::cancelIo(Handle handle) { log("cancel " + std::to_string(handle)); }
bool FakePlatform::getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) {
    log("getFeature " + std::to_string(main) + " " + std::to_string(length) + " id " +
        std::to_string(buffer[0]));
    FakeInterface &fi = at(main);
    if (!fi.featureGetOk) return false;
    std::memcpy(buffer, fi.feature.data(), std::min<std::size_t>(length, fi.feature.size()));
    return true;
}
bool FakePlatform::setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    log("setFeature " + std::to_string(main) + " " + std::to_string(length));
    FakeInterface &fi = at(main);
    if (!fi.featureSetOk) return false;
    fi.featureSets.emplace_back(buffer, buffer + length);
    return true;
}
void *FakePlatform::allocate(std::size_t bytes) {
    if (allocationsUntilFailure == 0) {
        log("allocate failed");
        allocationsUntilFailure = -1;
        return nullptr;
    }
    if (allocationsUntilFailure > 0) --allocationsUntilFailure;
    void *block = std::malloc(bytes ? bytes : 1);
    if (block) ++liveAllocations;
    return block;
}
void FakePlatform::deallocate(void *block) {
    if (block) --liveAllocations;
    std::free(block);
}

} // namespace corvhid

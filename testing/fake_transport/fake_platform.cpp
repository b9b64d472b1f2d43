#include "fake_platform.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace corvhid {

int FakePlatform::count(const std::string &callPrefix) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string &c) {
        return c.compare(0, callPrefix.size(), callPrefix) == 0;
    }));
}

const char *FakePlatform::beginListing() {
    log("begin");
    listing = devicesReady = true;
    snapshot_ = listingFailure ? 0 : interfaces.size();
    next_ = 0;
    return listingFailure;
}
Listed FakePlatform::nextInterface(std::string &path) {
    log("next " + std::to_string(next_));
    if (!listing) throw std::logic_error("a step through a listing not begun");
    if (next_ >= snapshot_) return Listed::End;
    if (interfaces.at(next_).namesNoDevice) {
        ++next_;
        return Listed::Skipped;
    }
    // A record to look at the entry in, as the Windows transport needs.
    void *record = allocate(interfaces.at(next_).path.size() + 8);
    if (!record) return Listed::OutOfMemory;
    deallocate(record);
    const FakeInterface &i = interfaces.at(next_++);
    path = i.path;
    return Listed::Interface;
}
void FakePlatform::endListing() {
    log("end");
    listing = false;
}
void FakePlatform::releaseDevices() {
    log("release");
    if (!openHandles.empty()) throw std::logic_error("devices let go with handles open");
    devicesReady = false;
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
    if (!fi.attributesReadable) return false;
    attributes = {fi.vendorId, fi.productId, fi.versionNumber};
    return true;
}
bool FakePlatform::readReportLengths(Handle handle, ReportLengths &lengths) {
    log("caps " + std::to_string(handle));
    FakeInterface &fi = at(handle);
    if (!fi.capsReadable) return false;
    lengths = fi.lengths;
    return true;
}
Transfer FakePlatform::readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    log("read " + std::to_string(input) + " " + std::to_string(length));
    auto it = openHandles.find(input);
    if (it == openHandles.end()) return Transfer::NotStarted;
    FakeInterface &fi = interfaces[it->second];
    if (fi.readFailure != Transfer::Completed) return fi.readFailure;
    if (fi.inputQueue.empty() && fi.standing.empty()) return Transfer::TimedOut;
    const std::vector<std::uint8_t> report = fi.inputQueue.empty() ? fi.standing : fi.inputQueue.front();
    if (!fi.inputQueue.empty()) fi.inputQueue.pop_front();
    std::copy_n(report.begin(), std::min<std::size_t>(length, report.size()), buffer);
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
    const auto it = openHandles.find(input);
    if (it != openHandles.end() && interfaces[it->second].inputQueue.empty()) return Transfer::TimedOut;
    return readInputReport(input, buffer, length); // or NotStarted, on a handle not open
}

bool FakePlatform::getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) {
    log("getFeature " + std::to_string(main) + " " + std::to_string(length) + " id " +
        std::to_string(buffer[0]));
    FakeInterface &fi = at(main);
    if (!fi.featureGetOk) return false;
    std::copy_n(fi.feature.begin(), std::min<std::size_t>(length, fi.feature.size()), buffer);
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
    if (allocationsUntilFailure >= 0 && allocationsUntilFailure-- == 0) return nullptr; // then never again
    ++liveAllocations;
    return std::malloc(bytes ? bytes : 1);
}
void FakePlatform::deallocate(void *block) {
    if (block) --liveAllocations;
    std::free(block);
}

} // namespace corvhid

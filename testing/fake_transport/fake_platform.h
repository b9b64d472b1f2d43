// Stand-in for the OS transport under the library (discovery, transfers,
// failures scripted call by call, every call the core makes recorded): the
// layer whose misbehaviour no real unit or emulator can be made to show.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "corvhid.h"
#include "platform.h"

namespace corvhid {

struct FakeInterface {
    std::string path;
    bool opens = true;          // both opens succeed
    bool secondOpenFails = false;
    bool attributesReadable = true;
    std::uint16_t vendorId = CORVHID_VENDOR_ID, productId = CORVHID_PRODUCT_ID, versionNumber = CORVHID_MINIMUM_VERSION;
    ReportLengths lengths{5, 5};
    bool capsReadable = true;
    bool namesNoDevice = false; // listed as an entry without a device

    // Input reports waiting in the driver's queue, oldest first.
    std::deque<std::vector<std::uint8_t>> inputQueue;
    // When nothing is queued, a read gets this report at once (a unit that
    // keeps reporting); empty: the read times out.
    std::vector<std::uint8_t> standing;
    Transfer readFailure = Transfer::Completed;  // non-Completed: every read ends so
    Transfer writeOutcome = Transfer::Completed; // outcome of every write
    std::vector<std::vector<std::uint8_t>> writes; // output reports received

    bool featureGetOk = true;
    std::vector<std::uint8_t> feature{1, 'F', 'A', 'K', 'E', '1'}; // answer to a get
    bool featureSetOk = true;
    std::vector<std::vector<std::uint8_t>> featureSets;
};

class FakePlatform : public Platform {
public:
    // Scripted environment.
    std::vector<FakeInterface> interfaces;
    const char *listingFailure = nullptr; // what beginListing gives
    int allocationsUntilFailure = -1;     // 0: the next allocation fails; -1: never

    // Observations.
    std::vector<std::string> calls;
    std::map<Handle, std::size_t> openHandles; // handle -> interface index
    bool listing = false;                      // a snapshot is held
    bool devicesReady = false;                 // not yet let go by releaseDevices
    long liveAllocations = 0;

    FakeInterface &add(const std::string &path) {
        interfaces.push_back(FakeInterface{});
        interfaces.back().path = path;
        return interfaces.back();
    }
    FakeInterface &at(Handle h) { return interfaces.at(openHandles.at(h)); }
    int count(const std::string &callPrefix) const;

    const char *beginListing() override;
    Listed nextInterface(std::string &path) override;
    void endListing() override;
    void releaseDevices() override;
    Handle open(const char *path) override;
    void close(Handle handle) override;
    bool getAttributes(Handle handle, Attributes &attributes) override;
    bool readReportLengths(Handle handle, ReportLengths &lengths) override;
    Transfer readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) override;
    Transfer writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) override;
    Transfer readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) override;
    bool getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) override;
    bool setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) override;
    void *allocate(std::size_t bytes) override;
    void deallocate(void *block) override;

private:
    void log(std::string call) { calls.push_back(std::move(call)); }
    Handle nextHandle_ = 100;
    std::size_t snapshot_ = 0, next_ = 0; // the listing: its length, its next entry
};

} // namespace corvhid

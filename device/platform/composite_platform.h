// The platform the library uses in a program: the operating system's HID
// interfaces first, then the virtual units, as one listing.
#pragma once

#include <map>
#include <memory>

#include "platform.h"

namespace corvhid {

class CompositePlatform : public Platform {
public:
    // `system` reports whether the services are ready; `extra` rides along.
    CompositePlatform(std::unique_ptr<Platform> system, std::unique_ptr<Platform> extra,
                      bool (*extraOwnsPath)(const char *));

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

private:
    std::pair<Platform *, Handle> resolve(Handle handle);

    std::unique_ptr<Platform> system_, extra_;
    bool (*extraOwnsPath_)(const char *);
    bool listed_ = false;       // the listing began
    bool listingExtra_ = false; // the system's interfaces are all listed
    std::map<Handle, std::pair<Platform *, Handle>> handles_;
    Handle nextHandle_ = 1;
};

// The platform of this build: the OS transport, then virtual units.
std::unique_ptr<Platform> makeSystemPlatform();

} // namespace corvhid

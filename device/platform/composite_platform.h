// The platform the library uses in a program: the operating system's HID
// interfaces first, then the virtual units, as one enumeration.
#pragma once

#include <map>
#include <memory>

#include "platform.h"

namespace corvhid {

class CompositePlatform : public Platform {
public:
    // `system` reports the load and binding outcomes; `extra` rides along.
    CompositePlatform(std::unique_ptr<Platform> system, std::unique_ptr<Platform> extra,
                      bool (*extraOwnsPath)(const char *));

    bool loadHidServices() override;
    void releaseHidServices() override;
    bool loadSetupServices() override;
    void releaseSetupServices() override;
    bool bindHid(HidEntry entry) override;
    bool bindSetup(SetupEntry entry) override;
    void getHidGuid(Guid &guid) override;
    DeviceSet getClassDevs(const Guid &hidClass, std::uint32_t flags) override;
    bool enumDeviceInterface(DeviceSet set, std::uint32_t index) override;
    std::uint32_t interfaceDetailSize(DeviceSet set, std::uint32_t index) override;
    bool interfaceDetail(DeviceSet set, std::uint32_t index, InterfaceDetail *detail,
                         std::uint32_t bufferSize) override;
    void destroyDeviceInfoList(DeviceSet set) override;
    Handle open(const char *path) override;
    void close(Handle handle) override;
    bool getAttributes(Handle handle, Attributes &attributes) override;
    bool readReportLengths(Handle handle, ReportLengths &lengths) override;
    void ensureReportEvents() override;
    void closeReportEvents() override;
    Transfer readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) override;
    Transfer writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) override;
    void cancelIo(Handle handle) override;
    Transfer readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) override;
    bool getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) override;
    bool setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) override;

private:
    struct SetParts {
        DeviceSet system = 0, extra = 0;
        std::uint32_t systemCount = 0;
        bool counted = false;
    };
    struct Route {
        Platform *platform;
        DeviceSet set;
        std::uint32_t index;
    };
    Route route(DeviceSet set, std::uint32_t index);
    std::pair<Platform *, Handle> resolve(Handle handle);

    std::unique_ptr<Platform> system_, extra_;
    bool (*extraOwnsPath_)(const char *);
    std::map<DeviceSet, SetParts> sets_;
    DeviceSet nextSet_ = 1;
    std::map<Handle, std::pair<Platform *, Handle>> handles_;
    Handle nextHandle_ = 1;
};

// The platform of this build: the OS transport, then virtual units.
std::unique_ptr<Platform> makeSystemPlatform();

} // namespace corvhid

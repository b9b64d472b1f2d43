// The common part of the transports whose interfaces are simply a list of
// paths (hidraw nodes, virtual units): nothing to load or bind, and a device
// set that is a snapshot of that list taken at getClassDevs.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform.h"

namespace corvhid {

class PathListPlatform : public Platform {
public:
    bool loadHidServices() override { return true; }
    void releaseHidServices() override {}
    bool loadSetupServices() override { return true; }
    void releaseSetupServices() override {}
    bool bindHid(HidEntry) override { return true; }
    bool bindSetup(SetupEntry) override { return true; }
    void getHidGuid(Guid &) override {}
    DeviceSet getClassDevs(const Guid &hidClass, std::uint32_t flags) override;
    bool enumDeviceInterface(DeviceSet set, std::uint32_t index) override;
    std::uint32_t interfaceDetailSize(DeviceSet set, std::uint32_t index) override;
    bool interfaceDetail(DeviceSet set, std::uint32_t index, InterfaceDetail *detail,
                         std::uint32_t bufferSize) override;
    void destroyDeviceInfoList(DeviceSet set) override;
    void ensureReportEvents() override {}
    void closeReportEvents() override {}
    void cancelIo(Handle) override {}

protected:
    // The interfaces present now, in the order discovery numbers them.
    virtual std::vector<std::string> listPaths() = 0;

private:
    const std::string *path(DeviceSet set, std::uint32_t index) const;

    std::map<DeviceSet, std::vector<std::string>> sets_;
    DeviceSet nextSet_ = 1;
};

} // namespace corvhid

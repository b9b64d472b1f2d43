// HID interfaces on Linux through hidraw: enumeration and attributes from
// sysfs, reads bounded by poll(), writes bounded by a per-device writer
// thread (a hidraw write may block in the kernel far longer than 50 ms),
// feature reports by ioctl.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/types.h>

#include "platform.h"

namespace corvhid::hidraw {

// The system calls the transport makes; tests substitute their own.
class PosixIo {
public:
    virtual ~PosixIo() = default;
    virtual int open(const char *path, int flags);
    virtual int close(int fd);
    virtual int poll(pollfd *fds, nfds_t count, int timeoutMs);
    virtual ssize_t read(int fd, void *buffer, size_t size);
    virtual ssize_t write(int fd, const void *buffer, size_t size);
    virtual int getFeature(int fd, void *buffer, size_t size);
    virtual int setFeature(int fd, const void *buffer, size_t size);
};

class HidrawPlatform : public Platform {
public:
    explicit HidrawPlatform(std::string sysRoot = "/sys", std::string devRoot = "/dev",
                            std::shared_ptr<PosixIo> io = std::make_shared<PosixIo>());
    ~HidrawPlatform() override;

    // The kernel is the HID service: nothing to load or bind.
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
    Handle open(const char *path) override;
    void close(Handle handle) override;
    bool getAttributes(Handle handle, Attributes &attributes) override;
    bool readReportLengths(Handle handle, ReportLengths &lengths) override;
    void ensureReportEvents() override {}
    void closeReportEvents() override {}
    Transfer readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) override;
    Transfer writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) override;
    void cancelIo(Handle) override {}
    Transfer readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) override {
        return read(input, buffer, length, 0);
    }
    bool getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) override;
    bool setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) override;

private:
    struct Device;
    Transfer read(Handle input, std::uint8_t *buffer, std::uint32_t length, int timeoutMs);
    std::shared_ptr<Device> find(Handle handle);

    std::string sysRoot_, devRoot_;
    std::shared_ptr<PosixIo> io_;
    std::map<DeviceSet, std::vector<std::string>> sets_;
    DeviceSet nextSet_ = 1;
    std::map<Handle, std::shared_ptr<Device>> devices_;
    Handle nextHandle_ = 1;
};

} // namespace corvhid::hidraw

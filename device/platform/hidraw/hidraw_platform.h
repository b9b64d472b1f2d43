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

#include "path_list_platform.h"

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

class HidrawPlatform : public PathListPlatform {
public:
    explicit HidrawPlatform(std::string sysRoot = "/sys", std::string devRoot = "/dev",
                            std::shared_ptr<PosixIo> io = std::make_shared<PosixIo>());
    ~HidrawPlatform() override;

    Handle open(const char *path) override;
    void close(Handle handle) override;
    bool getAttributes(Handle handle, Attributes &attributes) override;
    bool readReportLengths(Handle handle, ReportLengths &lengths) override;
    Transfer readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) override;
    Transfer writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) override;
    Transfer readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) override {
        return read(input, buffer, length, 0);
    }
    bool getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) override;
    bool setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) override;

protected:
    // The kernel is the HID service: its hidraw nodes are the interfaces.
    std::vector<std::string> listPaths() override;

private:
    struct Device;
    Transfer read(Handle input, std::uint8_t *buffer, std::uint32_t length, int timeoutMs);
    std::shared_ptr<Device> find(Handle handle);

    std::string sysRoot_, devRoot_;
    std::shared_ptr<PosixIo> io_;
    std::map<Handle, std::shared_ptr<Device>> devices_;
    Handle nextHandle_ = 1;
};

} // namespace corvhid::hidraw

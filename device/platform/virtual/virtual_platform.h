// Virtual units served by corvil-emulator, as HID interfaces like any other.
// Every open is its own connection; the unit queues input reports per
// connection and this side asks for them one at a time.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "channel.h"
#include "path_list_platform.h"
#include "wire.h"

namespace corvhid {

class VirtualPlatform : public PathListPlatform {
public:
    VirtualPlatform();
    ~VirtualPlatform() override;

    static bool ownsPath(const char *path);

    Handle open(const char *path) override;
    void close(Handle handle) override;
    bool getAttributes(Handle handle, Attributes &attributes) override;
    bool readReportLengths(Handle handle, ReportLengths &lengths) override;
    Transfer readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) override;
    Transfer writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) override;
    Transfer readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) override;
    bool getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) override;
    bool setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) override;

protected:
    // The units announced at the rendezvous.
    std::vector<std::string> listPaths() override { return virt::listEntries(); }

private:
    struct Connection {
        std::unique_ptr<virt::Channel> channel;
        wire::Hello hello;
        bool readRequested = false; // a read request is out and not yet answered
        std::vector<std::vector<std::uint8_t>> early; // answers that came after their read gave up, and
                                                      // queued reports fetched together
        bool drained = false; // the unit's queue was empty after the reports fetched
        bool broken = false;
    };
    Connection *find(Handle handle);
    // Waits for a message of `kind`, keeping input reports that arrive meanwhile.
    bool await(Connection &c, std::uint8_t kind, std::vector<std::uint8_t> &message, int timeoutMs);

    std::map<Handle, std::unique_ptr<Connection>> connections_;
    Handle nextHandle_ = 1;
};

} // namespace corvhid

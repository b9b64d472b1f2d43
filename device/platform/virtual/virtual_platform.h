// Virtual units served by corvil-emulator, as HID interfaces like any other.
// Every open is its own connection, to which the unit pushes each input
// report it sends; each handle keeps them in a queue of its own, as the HID
// driver's buffer does, filled from the connection at each call on the
// handle (the library has no threads).
#pragma once

#include <deque>
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
        std::deque<std::vector<std::uint8_t>> queue; // input reports, oldest first, at most wire::kQueueDepth
        std::uint32_t received = 0;                  // input reports received in all
        std::uint32_t told = 0;                      // the count the unit was last told
        bool broken = false;                         // the unit closed the connection
    };
    // A connection that works, or null.
    Connection *find(Handle handle);
    // Takes in what the unit sent, waiting at most timeoutMs for a message of
    // `kind` (0: only what is there): input reports go to the queue (an input
    // report that arrives ends the wait for kInputReport); true when `kind`
    // came. Tells the unit the reports taken.
    bool take(Connection &c, std::uint8_t kind, std::vector<std::uint8_t> &message, int timeoutMs);
    // Takes in what the unit sent; after a gap long enough that the unit held
    // reports back, waits (one transfer's bound at most) for the newest.
    void catchUp(Connection &c);
    // Sends a feature request; false when it could not go.
    bool sent(Connection &c, const std::vector<std::uint8_t> &message);

    std::map<Handle, std::unique_ptr<Connection>> connections_;
    Handle nextHandle_ = 1;
};

} // namespace corvhid

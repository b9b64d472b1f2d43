// The HID platform seam: what the protocol core asks of a transport (fake,
// hidraw, win32, virtual), and only what every transport has: a listing of
// the HID interfaces present, by path; devices opened by path with their
// identity and report lengths; bounded report transfers; feature reports.
// How a transport finds its interfaces (the Windows set-up services' walk,
// sysfs, the emulator's rendezvous) stays inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvhid {

// An open device. kNoHandle stands for "did not open" / "not set".
using Handle = std::uintptr_t;
inline constexpr Handle kNoHandle = 0;

// A device's identity.
struct Attributes {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

// The two report lengths (with the id byte) taken from a unit's capabilities.
struct ReportLengths {
    std::uint16_t input = 0;
    std::uint16_t output = 0;
};

// What one step through a listing found.
enum class Listed {
    Interface,   // an interface, with its path
    Skipped,     // an entry that names no device
    End,         // no more (or no listing)
    OutOfMemory, // no memory to look at the entry; the next step tries it again
};

// The outcome of one bounded report transfer.
enum class Transfer {
    Completed,  // the report moved within the bound
    TimedOut,   // nothing within the bound; the transfer was abandoned
    NotStarted, // the transfer could not be started (e.g. the unit is gone)
};

// How long one input-report read or output-report write may take.
inline constexpr int kTransferTimeoutMs = 50;

class Platform {
public:
    virtual ~Platform() = default;

    // Listing. beginListing makes ready what listing and devices need and
    // takes a new snapshot of the interfaces present (letting an unfinished
    // one go): null, or the text of what could not be made ready (a snapshot
    // may then be left for endListing). endListing lets the snapshot go with
    // what only listing needed; releaseDevices, called once every handle is
    // closed, lets go of what the devices needed.
    virtual const char *beginListing() = 0;
    virtual Listed nextInterface(std::string &path) = 0;
    virtual void endListing() = 0;
    virtual void releaseDevices() = 0;

    // Devices. open() gives kNoHandle when the path does not open; close()
    // ends whatever transfer is still pending on the handle.
    virtual Handle open(const char *path) = 0;
    virtual void close(Handle handle) = 0;
    virtual bool getAttributes(Handle handle, Attributes &attributes) = 0;
    virtual bool readReportLengths(Handle handle, ReportLengths &lengths) = 0;

    // Report transfers, each bounded to kTransferTimeoutMs; on time-out the
    // transfer is abandoned so that the next one starts afresh.
    virtual Transfer readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) = 0;
    virtual Transfer writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) = 0;
    // An input report that is already queued, without waiting: TimedOut when
    // none is. (Transports that cannot tell say TimedOut.)
    virtual Transfer readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length);

    // Synchronous feature reports, report id in byte 0.
    virtual bool getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) = 0;
    virtual bool setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) = 0;

    // Memory for the library's tables and the transport's records; tests
    // make it fail.
    virtual void *allocate(std::size_t bytes);
    virtual void deallocate(void *block);
};

} // namespace corvhid

// The HID platform seam: everything the protocol core asks of the operating
// system, shaped after the services a Corvil host uses on Windows (the HID
// services, the device-setup services and overlapped file I/O). Each
// transport (fake, hidraw, win32, virtual) implements it once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvhid {

// An open device. kNoHandle stands for "did not open" / "not set".
using Handle = std::uintptr_t;
inline constexpr Handle kNoHandle = 0;

// A snapshot of the present HID device interfaces. 0 means "no set".
using DeviceSet = std::uintptr_t;

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
};
static_assert(sizeof(Guid) == 16, "GUID layout");

// The HID attributes record; its size field is 12 as the HID services expect.
struct Attributes {
    std::uint32_t size = 12;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

// The two report lengths (with the id byte) taken from a unit's capabilities.
struct ReportLengths {
    std::uint16_t input = 0;
    std::uint16_t output = 0;
};

// Entry points bound by name after the services are loaded. The order of
// each list is the order of the "item N" texts (item = position + 1).
enum class HidEntry {
    GetHidGuid,        // item 1
    FreePreparsedData, // item 2
    GetAttributes,     // item 3
    GetPreparsedData,  // item 4
    GetCaps,           // item 5
    GetFeature,        // item 6
    SetFeature,        // item 7
};
enum class SetupEntry {
    GetClassDevs,            // item 1
    DestroyDeviceInfoList,   // item 2
    EnumDeviceInterfaces,    // item 3
    GetDeviceInterfaceDetail // item 4
};

// The outcome of one bounded report transfer.
enum class Transfer {
    Completed,  // the report moved within the bound
    TimedOut,   // nothing within the bound; the transfer was abandoned
    NotStarted, // the transfer could not be started (e.g. the unit is gone)
};

// Flags for getClassDevs: present devices only, by device interface class.
inline constexpr std::uint32_t kPresentInterfaces = 0x12;

// How long one input-report read or output-report write may take.
inline constexpr int kTransferTimeoutMs = 50;

// The interface-detail record a platform fills: a size field, then the
// zero-terminated device path.
struct InterfaceDetail {
    std::uint32_t size;
    char path[1];
};
inline constexpr std::size_t kDetailPathOffset = offsetof(InterfaceDetail, path);

class Platform {
public:
    virtual ~Platform() = default;

    // Service loading and binding.
    virtual bool loadHidServices() = 0;
    virtual void releaseHidServices() = 0;
    virtual bool loadSetupServices() = 0;
    virtual void releaseSetupServices() = 0;
    virtual bool bindHid(HidEntry entry) = 0;
    virtual bool bindSetup(SetupEntry entry) = 0;

    // Device setup: only called once the matching entry point is bound.
    virtual void getHidGuid(Guid &guid) = 0;
    virtual DeviceSet getClassDevs(const Guid &hidClass, std::uint32_t flags) = 0;
    virtual bool enumDeviceInterface(DeviceSet set, std::uint32_t index) = 0;
    // Size needed for interface `index`'s detail record (0 when unknown).
    virtual std::uint32_t interfaceDetailSize(DeviceSet set, std::uint32_t index) = 0;
    // Fills the record; detail->size was set by the caller to the record's size.
    virtual bool interfaceDetail(DeviceSet set, std::uint32_t index, InterfaceDetail *detail,
                                 std::uint32_t bufferSize) = 0;
    virtual void destroyDeviceInfoList(DeviceSet set) = 0;

    // Devices. open() gives kNoHandle when the path does not open.
    virtual Handle open(const char *path) = 0;
    virtual void close(Handle handle) = 0;
    virtual bool getAttributes(Handle handle, Attributes &attributes) = 0;
    // Preparsed data, capabilities, free: the two report lengths.
    virtual bool readReportLengths(Handle handle, ReportLengths &lengths) = 0;

    // Report transfers, each bounded to kTransferTimeoutMs; on time-out the
    // platform abandons the transfer so that the next one starts afresh, and
    // the transfer's event is reset after every transfer.
    virtual void ensureReportEvents() = 0;
    virtual void closeReportEvents() = 0;
    virtual Transfer readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) = 0;
    virtual Transfer writeOutputReport(Handle main, const std::uint8_t *buffer,
                                       std::uint32_t length) = 0;
    virtual void cancelIo(Handle handle) = 0;
    // An input report that is already queued, without waiting: TimedOut when
    // none is. (Transports that cannot tell say TimedOut.)
    virtual Transfer readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length);

    // Synchronous feature reports, report id in byte 0.
    virtual bool getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) = 0;
    virtual bool setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) = 0;

    // Memory for the library's tables and detail records; tests make it fail.
    virtual void *allocate(std::size_t bytes);
    virtual void deallocate(void *block);
};

} // namespace corvhid

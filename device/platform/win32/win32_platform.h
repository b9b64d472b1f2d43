// HID interfaces on Windows: the HID and device-setup services loaded by name
// at run time, devices opened for overlapped I/O, transfers bounded by a
// 50 ms wait on manual-reset events.
#pragma once

#include <memory>
#include <string>
#include <optional>
#include <vector>

#include "hid_abi.h"
#include "platform.h"

namespace corvhid::win32 {

class Win32Platform : public Platform {
public:
    // How long a transfer may take to let go of its memory after CancelIo.
    static constexpr DWORD kCancelBoundMs = 250;
    // The most transfers kept after an ignored cancel (see parkedTransfers).
    static constexpr std::size_t kMaxParked = 16;

    explicit Win32Platform(DWORD cancelBoundMs = kCancelBoundMs) : cancelBoundMs_(cancelBoundMs) {}
    ~Win32Platform() override;
    Win32Platform(const Win32Platform &) = delete;
    Win32Platform &operator=(const Win32Platform &) = delete;

    // The set-up services' walk, in the order a Windows host makes it: the
    // HID services loaded and their class asked for, the set-up services
    // loaded, the device set made, then every other entry point bound.
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

    // Transfers that outlived the cancel bound, whose records (event and
    // memory) are kept until the system gives them back. At most one per
    // handle and direction: while one is held, the next transfer in that
    // direction waits for it instead of starting another; a held read's
    // report is the next one read. Those of a closed handle are freed once
    // the close has ended them (by releaseDevices or the next transfer);
    // past kMaxParked no transfer is started.
    std::size_t parkedTransfers() const { return parked_.size(); }

protected:
    // Asks the driver to end the transfers pending on `device` (tests stand
    // in a driver that will not).
    virtual void cancelIo(HANDLE device);

private:
    // One direction's overlapped record, its event and the report bytes the
    // system reads into or writes from: the caller's buffer is never handed
    // to the system, so a transfer finishing late cannot touch it.
    struct Record {
        OVERLAPPED overlapped{};
        std::vector<std::uint8_t> data;
        // While parked: the handle its transfer runs on (null once that
        // handle is closed) and which way it goes.
        HANDLE device = nullptr;
        bool reading = false;
    };
    // The records of the two directions, made when first needed.
    void ensureReportEvents();
    void closeReportEvents();
    std::unique_ptr<Record> newRecord();
    void closeRecord(std::unique_ptr<Record> &record);
    void releaseFinishedParked();
    Transfer transfer(std::unique_ptr<Record> &record, bool reading, HANDLE device, std::uint8_t *buffer,
                      DWORD length, DWORD timeoutMs);
    std::optional<Transfer> awaitParked(bool reading, HANDLE device, std::uint8_t *buffer, DWORD length,
                                        DWORD timeoutMs);

    const char *bindAll();
    void releaseHidServices();
    void releaseSetupServices();

    HMODULE hid_ = nullptr;
    HMODULE setup_ = nullptr;
    GUID hidClass_{};
    SP_DEVICE_INTERFACE_DATA interface_{};
    HDEVINFO set_ = nullptr;  // the listing's device set, or null
    bool bound_ = false;      // every entry point is bound
    DWORD nextIndex_ = 0;     // the listing's next interface

    HidD_GetHidGuid_t getHidGuid_ = nullptr;
    HidD_FreePreparsedData_t freePreparsedData_ = nullptr;
    HidD_GetAttributes_t getAttributes_ = nullptr;
    HidD_GetPreparsedData_t getPreparsedData_ = nullptr;
    HidP_GetCaps_t getCaps_ = nullptr;
    HidD_GetFeature_t getFeature_ = nullptr;
    HidD_SetFeature_t setFeature_ = nullptr;
    SetupDiGetClassDevsA_t getClassDevs_ = nullptr;
    SetupDiDestroyDeviceInfoList_t destroyDeviceInfoList_ = nullptr;
    SetupDiEnumDeviceInterfaces_t enumDeviceInterfaces_ = nullptr;
    SetupDiGetDeviceInterfaceDetailA_t getDeviceInterfaceDetail_ = nullptr;

    DWORD cancelBoundMs_;
    std::unique_ptr<Record> read_, write_;
    std::vector<std::unique_ptr<Record>> parked_;
};

} // namespace corvhid::win32

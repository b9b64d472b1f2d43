// HID interfaces on Windows: the HID and device-setup services loaded by name
// at run time, devices opened for overlapped I/O, transfers bounded by a
// 50 ms wait on manual-reset events.
#pragma once

#include <memory>
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

    // Transfers that outlived the cancel bound, whose records (event and
    // memory) are kept until the system gives them back. At most one per
    // handle and direction: while one is held, the next transfer in that
    // direction waits for it instead of starting another; a held read's
    // report is the next one read. Those of a closed handle are freed once
    // the close has ended them (by closeReportEvents or the next transfer);
    // past kMaxParked no transfer is started.
    std::size_t parkedTransfers() const { return parked_.size(); }

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
    std::unique_ptr<Record> newRecord();
    void closeRecord(std::unique_ptr<Record> &record);
    void releaseFinishedParked();
    Transfer transfer(std::unique_ptr<Record> &record, bool reading, HANDLE device, std::uint8_t *buffer,
                      DWORD length, DWORD timeoutMs);
    std::optional<Transfer> awaitParked(bool reading, HANDLE device, std::uint8_t *buffer, DWORD length,
                                        DWORD timeoutMs);

    HMODULE hid_ = nullptr;
    HMODULE setup_ = nullptr;
    GUID hidClass_{};
    SP_DEVICE_INTERFACE_DATA interface_{};

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

// HID interfaces on Windows: the HID and device-setup services loaded by name
// at run time, devices opened for overlapped I/O, transfers bounded by a
// 50 ms wait on manual-reset events.
#pragma once

#include "hid_abi.h"
#include "platform.h"

namespace corvhid::win32 {

class Win32Platform : public Platform {
public:
    Win32Platform() = default;
    ~Win32Platform() override;

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
    Transfer transfer(bool reading, HANDLE device, void *buffer, DWORD length, DWORD timeoutMs);

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

    HANDLE readEvent_ = nullptr, writeEvent_ = nullptr;
    OVERLAPPED readOverlapped_{}, writeOverlapped_{};
};

} // namespace corvhid::win32

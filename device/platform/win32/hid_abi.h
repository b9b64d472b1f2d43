// The HID services' records and entry points, declared here rather than taken
// from driver-kit headers. Every entry point is bound by name at run time.
#pragma once

#include <windows.h>

#include <setupapi.h>

namespace corvhid::win32 {

struct HiddAttributes {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
};
static_assert(sizeof(HiddAttributes) == 12, "HIDD_ATTRIBUTES is 12 bytes");

struct HidpCaps {
    USHORT Usage;
    USHORT UsagePage;
    USHORT InputReportByteLength;
    USHORT OutputReportByteLength;
    USHORT FeatureReportByteLength;
    USHORT Reserved[17];
    USHORT NumberLinkCollectionNodes;
    USHORT NumberInputButtonCaps;
    USHORT NumberInputValueCaps;
    USHORT NumberInputDataIndices;
    USHORT NumberOutputButtonCaps;
    USHORT NumberOutputValueCaps;
    USHORT NumberOutputDataIndices;
    USHORT NumberFeatureButtonCaps;
    USHORT NumberFeatureValueCaps;
    USHORT NumberFeatureDataIndices;
};
static_assert(sizeof(HidpCaps) == 64, "HIDP_CAPS is 64 bytes");

using PreparsedData = void *;
constexpr LONG kHidpStatusSuccess = 0x00110000;

using HidD_GetHidGuid_t = void(WINAPI *)(GUID *);
using HidD_GetAttributes_t = BOOLEAN(WINAPI *)(HANDLE, HiddAttributes *);
using HidD_GetPreparsedData_t = BOOLEAN(WINAPI *)(HANDLE, PreparsedData *);
using HidD_FreePreparsedData_t = BOOLEAN(WINAPI *)(PreparsedData);
using HidP_GetCaps_t = LONG(WINAPI *)(PreparsedData, HidpCaps *);
using HidD_GetFeature_t = BOOLEAN(WINAPI *)(HANDLE, PVOID, ULONG);
using HidD_SetFeature_t = BOOLEAN(WINAPI *)(HANDLE, PVOID, ULONG);

using SetupDiGetClassDevsA_t = HDEVINFO(WINAPI *)(const GUID *, PCSTR, HWND, DWORD);
using SetupDiDestroyDeviceInfoList_t = BOOL(WINAPI *)(HDEVINFO);
using SetupDiEnumDeviceInterfaces_t = BOOL(WINAPI *)(HDEVINFO, PSP_DEVINFO_DATA, const GUID *, DWORD,
                                                     PSP_DEVICE_INTERFACE_DATA);
using SetupDiGetDeviceInterfaceDetailA_t = BOOL(WINAPI *)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_A, DWORD, PDWORD,
                                                          PSP_DEVINFO_DATA);

} // namespace corvhid::win32

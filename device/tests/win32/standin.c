/* Test-only stand-ins for the HID ("hid") and device-setup ("setupapi")
 * services. Placed beside a test program, Windows loads them before its own;
 * each build leaves out one entry point (OMIT_<name>) or refuses to load
 * (REFUSE_LOAD), so that the library's binding texts can be seen for real.
 * Built with unused parameters allowed: the entry points only have to exist. */
#include <windows.h>

#define STANDIN __declspec(dllexport)

#ifdef REFUSE_LOAD
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) { return reason != DLL_PROCESS_ATTACH; }
#endif

#ifdef STANDIN_HID
#ifndef OMIT_HidD_GetHidGuid
STANDIN void WINAPI HidD_GetHidGuid(GUID *guid) { ZeroMemory(guid, sizeof *guid); }
#endif
#ifndef OMIT_HidD_FreePreparsedData
STANDIN BOOLEAN WINAPI HidD_FreePreparsedData(void *data) { return TRUE; }
#endif
#ifndef OMIT_HidD_GetAttributes
STANDIN BOOLEAN WINAPI HidD_GetAttributes(HANDLE h, void *attributes) { return FALSE; }
#endif
#ifndef OMIT_HidD_GetPreparsedData
STANDIN BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE h, void **data) { return FALSE; }
#endif
#ifndef OMIT_HidP_GetCaps
STANDIN LONG WINAPI HidP_GetCaps(void *data, void *caps) { return 0; }
#endif
#ifndef OMIT_HidD_GetFeature
STANDIN BOOLEAN WINAPI HidD_GetFeature(HANDLE h, void *b, ULONG n) { return FALSE; }
#endif
#ifndef OMIT_HidD_SetFeature
STANDIN BOOLEAN WINAPI HidD_SetFeature(HANDLE h, void *b, ULONG n) { return FALSE; }
#endif
#endif

#ifdef STANDIN_SETUPAPI
#ifndef OMIT_SetupDiGetClassDevsA
/* A set with one interface: a library that walked it with an entry point
 * missing would call through a null pointer. */
STANDIN HANDLE WINAPI SetupDiGetClassDevsA(const GUID *g, const char *e, HWND w, DWORD f) { return (HANDLE)1; }
#endif
#ifndef OMIT_SetupDiDestroyDeviceInfoList
STANDIN BOOL WINAPI SetupDiDestroyDeviceInfoList(HANDLE set) { return TRUE; }
#endif
#ifndef OMIT_SetupDiEnumDeviceInterfaces
STANDIN BOOL WINAPI SetupDiEnumDeviceInterfaces(HANDLE s, void *d, const GUID *g, DWORD i, void *o) { return i == 0; }
#endif
#ifndef OMIT_SetupDiGetDeviceInterfaceDetailA
STANDIN BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HANDLE s, void *i, void *d, DWORD n, DWORD *r, void *x) {
    return FALSE;
}
#endif
#endif

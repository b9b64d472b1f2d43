/* Test-only stand-ins for the HID ("hid") and device-setup ("setupapi")
 * services. Placed beside a test program, Windows loads them before its own;
 * each build leaves out one entry point (OMIT_<name>) or refuses to load
 * (REFUSE_LOAD), so that the library's binding texts can be seen for real. */
#include <windows.h>

#define STANDIN __declspec(dllexport)

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
#ifdef REFUSE_LOAD
    if (reason == DLL_PROCESS_ATTACH) return FALSE;
#endif
    (void)reason;
    return TRUE;
}

#ifdef STANDIN_HID
#ifndef OMIT_HidD_GetHidGuid
STANDIN void WINAPI HidD_GetHidGuid(GUID *guid) { ZeroMemory(guid, sizeof *guid); }
#endif
#ifndef OMIT_HidD_FreePreparsedData
STANDIN BOOLEAN WINAPI HidD_FreePreparsedData(void *data) { (void)data; return TRUE; }
#endif
#ifndef OMIT_HidD_GetAttributes
STANDIN BOOLEAN WINAPI HidD_GetAttributes(HANDLE h, void *attributes) { (void)h; (void)attributes; return FALSE; }
#endif
#ifndef OMIT_HidD_GetPreparsedData
STANDIN BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE h, void **data) { (void)h; (void)data; return FALSE; }
#endif
#ifndef OMIT_HidP_GetCaps
STANDIN LONG WINAPI HidP_GetCaps(void *data, void *caps) { (void)data; (void)caps; return 0; }
#endif
#ifndef OMIT_HidD_GetFeature
STANDIN BOOLEAN WINAPI HidD_GetFeature(HANDLE h, void *b, ULONG n) { (void)h; (void)b; (void)n; return FALSE; }
#endif
#ifndef OMIT_HidD_SetFeature
STANDIN BOOLEAN WINAPI HidD_SetFeature(HANDLE h, void *b, ULONG n) { (void)h; (void)b; (void)n; return FALSE; }
#endif
#endif

#ifdef STANDIN_SETUPAPI
#ifndef OMIT_SetupDiGetClassDevsA
STANDIN HANDLE WINAPI SetupDiGetClassDevsA(const GUID *g, const char *e, HWND w, DWORD f) {
    (void)g; (void)e; (void)w; (void)f;
    return INVALID_HANDLE_VALUE;
}
#endif
#ifndef OMIT_SetupDiDestroyDeviceInfoList
STANDIN BOOL WINAPI SetupDiDestroyDeviceInfoList(HANDLE set) { (void)set; return TRUE; }
#endif
#ifndef OMIT_SetupDiEnumDeviceInterfaces
STANDIN BOOL WINAPI SetupDiEnumDeviceInterfaces(HANDLE s, void *d, const GUID *g, DWORD i, void *o) {
    (void)s; (void)d; (void)g; (void)i; (void)o;
    return FALSE;
}
#endif
#ifndef OMIT_SetupDiGetDeviceInterfaceDetailA
STANDIN BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HANDLE s, void *i, void *d, DWORD n, DWORD *r, void *x) {
    (void)s; (void)i; (void)d; (void)n; (void)r; (void)x;
    return FALSE;
}
#endif
#endif

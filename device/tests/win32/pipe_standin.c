/* Test-only stand-ins for the HID ("hid") and device-setup ("setupapi")
 * services whose devices are named pipes served by a test's emulated units,
 * so that the library's own Win32 transport runs against a peer that answers,
 * answers late, never answers or goes away. The interface list is
 * CORVIL_STANDIN_UNITS (device paths separated by ';'), read at every
 * SetupDiGetClassDevsA. A HID call sends "hidd" + kind + bytes over the handle
 * it is given and takes "hidd" + kind + ok + bytes back. Arguments the real
 * service would refuse are refused, so that discovery then finds nothing.
 * The binding texts' builds rename one entry point away
 * (-D<name>=Omitted_<name>) or refuse to load (REFUSE_LOAD). */
#include <windows.h>

/* These are the definitions, not imports. */
#define _SETUPAPI_
#include <setupapi.h>
#include <stdlib.h>
#include <string.h>

#define STANDIN __declspec(dllexport)

static const GUID kHidClass = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

/* Blocks of each kind handed out and not yet given back; the tests read it. */
static volatile LONG outstanding;
STANDIN LONG WINAPI StandinOutstanding(void) { return outstanding; }

#ifdef REFUSE_LOAD
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) { return reason != DLL_PROCESS_ATTACH; }
#endif

#ifdef STANDIN_HID

/* One overlapped transfer on `h`, waiting at most 2 s. */
static BOOL transfer(HANDLE h, BOOL writing, void *buffer, DWORD length, DWORD *moved) {
    OVERLAPPED o;
    BOOL ok;
    ZeroMemory(&o, sizeof o);
    o.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!o.hEvent) return FALSE;
    ok = writing ? WriteFile(h, buffer, length, moved, &o) : ReadFile(h, buffer, length, moved, &o);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(o.hEvent, 2000) != WAIT_OBJECT_0) CancelIo(h);
        ok = GetOverlappedResult(h, &o, moved, TRUE);
    }
    CloseHandle(o.hEvent);
    return ok;
}

/* Sends request `kind` with `length` bytes and copies the answer's bytes back
 * (at most `length`). False when the unit refused or did not answer. */
static BOOL ask(HANDLE h, char kind, BYTE *bytes, DWORD length) {
    BYTE message[128];
    DWORD moved = 0;
    if (length + 5 > sizeof message) return FALSE;
    memcpy(message, "hidd", 4);
    message[4] = (BYTE)kind;
    if (length) memcpy(message + 5, bytes, length);
    if (!transfer(h, TRUE, message, length + 5, &moved) || !transfer(h, FALSE, message, sizeof message, &moved) ||
        moved < 6 || memcmp(message, "hidd", 4) != 0 || message[4] != (BYTE)kind || message[5] != 1)
        return FALSE;
    if (moved - 6 < length) length = moved - 6;
    if (length) memcpy(bytes, message + 6, length);
    return TRUE;
}

typedef struct {
    ULONG Size;
    USHORT VendorID, ProductID, VersionNumber;
} Attributes;

typedef struct {
    DWORD magic;
    USHORT inputLength, outputLength;
} Preparsed;
#define PREPARSED_MAGIC 0x48494450u

STANDIN void WINAPI HidD_GetHidGuid(GUID *guid) { *guid = kHidClass; }

/* The unit answers with the ids little-endian, as they lie in the structure. */
STANDIN BOOLEAN WINAPI HidD_GetAttributes(HANDLE h, Attributes *attributes) {
    return attributes->Size == sizeof *attributes && ask(h, 'A', (BYTE *)&attributes->VendorID, 6);
}

STANDIN BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE h, Preparsed **data) {
    Preparsed *p = (Preparsed *)calloc(1, sizeof *p);
    if (!p || !ask(h, 'P', (BYTE *)&p->inputLength, 4)) {
        free(p);
        return FALSE;
    }
    p->magic = PREPARSED_MAGIC;
    InterlockedIncrement(&outstanding);
    *data = p;
    return TRUE;
}

STANDIN LONG WINAPI HidP_GetCaps(Preparsed *data, USHORT *caps) {
    if (!data || data->magic != PREPARSED_MAGIC) return 0xC0110001; /* invalid preparsed data */
    ZeroMemory(caps, 64);
    caps[0] = 1;      /* usage */
    caps[1] = 0xFF00; /* usage page */
    caps[2] = data->inputLength;
    caps[3] = data->outputLength;
    caps[4] = 6;
    return 0x00110000;
}

STANDIN BOOLEAN WINAPI HidD_FreePreparsedData(Preparsed *data) {
    if (!data || data->magic != PREPARSED_MAGIC) return FALSE;
    data->magic = 0;
    free(data);
    InterlockedDecrement(&outstanding);
    return TRUE;
}

STANDIN BOOLEAN WINAPI HidD_GetFeature(HANDLE h, BYTE *buffer, ULONG length) {
    return ask(h, 'G', buffer, length);
}

/* The unit's answer carries no bytes: nothing is copied back into `buffer`. */
STANDIN BOOLEAN WINAPI HidD_SetFeature(HANDLE h, BYTE *buffer, ULONG length) { return ask(h, 'S', buffer, length); }

#endif

#ifdef STANDIN_SETUPAPI

typedef struct {
    DWORD magic;
    int count;
    char *paths[32];
} Set;
#define SET_MAGIC 0x53455455u

STANDIN HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID *g, PCSTR e, HWND w, DWORD flags) {
    char list[4096];
    char *next, *path;
    Set *set;
    DWORD n;
    if (!g || memcmp(g, &kHidClass, sizeof kHidClass) != 0 || e || w || flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE))
        return INVALID_HANDLE_VALUE;
    set = (Set *)calloc(1, sizeof *set);
    if (!set) return INVALID_HANDLE_VALUE;
    set->magic = SET_MAGIC;
    n = GetEnvironmentVariableA("CORVIL_STANDIN_UNITS", list, sizeof list);
    if (n == 0 || n >= sizeof list) list[0] = '\0';
    for (path = strtok_s(list, ";", &next); path && set->count < 32; path = strtok_s(NULL, ";", &next))
        set->paths[set->count++] = _strdup(path);
    InterlockedIncrement(&outstanding);
    return (HDEVINFO)set;
}

STANDIN BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
    Set *set = (Set *)handle;
    int i;
    if (!set || set->magic != SET_MAGIC) return FALSE;
    for (i = 0; i < set->count; ++i) free(set->paths[i]);
    set->magic = 0;
    free(set);
    InterlockedDecrement(&outstanding);
    return TRUE;
}

STANDIN BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA d, const GUID *g, DWORD index,
                                                PSP_DEVICE_INTERFACE_DATA data) {
    Set *set = (Set *)handle;
    if (!set || set->magic != SET_MAGIC || d || !g || memcmp(g, &kHidClass, sizeof kHidClass) != 0 ||
        data->cbSize != sizeof *data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (index >= (DWORD)set->count) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->InterfaceClassGuid = kHidClass;
    data->Flags = SPINT_ACTIVE;
    data->Reserved = index + 1;
    return TRUE;
}

STANDIN BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                                     PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                                     DWORD *required, PSP_DEVINFO_DATA d) {
    Set *set = (Set *)handle;
    const char *path;
    DWORD need;
    if (!set || set->magic != SET_MAGIC || d || !data || data->Reserved == 0 || data->Reserved > (ULONG_PTR)set->count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    path = set->paths[data->Reserved - 1];
    need = (DWORD)(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + strlen(path) + 1);
    if (required) *required = need;
    if (!detail || size < need) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (detail->cbSize != sizeof *detail) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    memcpy(detail->DevicePath, path, strlen(path) + 1);
    return TRUE;
}

#endif

// Corvil.dll: the module's start and end, and its four exports. The
// application object holds what every plug-in object of the process works
// with: the device code over the system's HID services (virtual units
// after the system's), the registry, the host's log, and the windows and
// dialogs made from this module's own templates.
#include <windows.h>

#include <memory>

#include "CCorvilClassFactory.h"
#include "composite_platform.h"
#include "library.h"
#include "shell.h"

// FMLOG.dll's one entry point, bound through the import table.
extern "C" __declspec(dllimport) void __cdecl _log(std::int32_t level, const char *format, ...);

namespace corvil::plugin::win32 {
namespace {

class CCorvilApp {
public:
    explicit CCorvilApp(HINSTANCE instance) : dialogs_(instance), windows_(instance) {}

    Services &services() { return services_; }
    Registry &registry() { return registry_; }
    ModulePath &modulePath() { return modulePath_; }

private:
    Win32Registry registry_;
    Win32ModulePath modulePath_;
    Win32Dialogs dialogs_;
    Win32WindowSystem windows_;
    std::unique_ptr<corvhid::Platform> platform_ = corvhid::makeSystemPlatform();
    corvhid::Library device_{*platform_};
    Services services_{device_, registry_, &_log, &dialogs_, &windows_};
};

CCorvilApp *gApp = nullptr;

} // namespace
} // namespace corvil::plugin::win32

using namespace corvil::plugin;
using corvil::plugin::win32::gApp;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ::DisableThreadLibraryCalls(instance);
        // Constructing touches no other library: the services are loaded at
        // the first discovery.
        gApp = new (std::nothrow) win32::CCorvilApp(instance);
        return gApp != nullptr;
    case DLL_PROCESS_DETACH:
        // Unloaded by the host (no object left, so every unit was closed by
        // its object's clean-up). At process exit the system reclaims all.
        if (!reserved) delete gApp;
        gApp = nullptr;
        return TRUE;
    default: return TRUE;
    }
}

HResult __stdcall DllGetClassObject(const EqGuid *clsid, const EqGuid *iid, void **out) {
    try {
        return getClassObject(gApp->services(), clsid, iid, out);
    } catch (...) {
        return kE_OUTOFMEMORY;
    }
}

HResult __stdcall DllCanUnloadNow() { return canUnloadNow(); }

HResult __stdcall DllRegisterServer() {
    try {
        return registerServer(gApp->registry(), gApp->modulePath());
    } catch (...) {
        return kE_UNEXPECTED;
    }
}

HResult __stdcall DllUnregisterServer() {
    try {
        return unregisterServer(gApp->registry());
    } catch (...) {
        return kE_UNEXPECTED;
    }
}

} // extern "C"

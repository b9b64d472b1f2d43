// Every binary decision between the Corvil plug-in and the FathomLive host:
// calling convention, result codes, GUID layout, and the COM-compatible
// interfaces as explicit slot tables, so that the slot order and every size
// the host relies on are checked by the compiler.
//
// Names follow one rule:
//  - types in PascalCase; an interface is I + its name (IEqDevice, IEqHost,
//    and IEqClassFactory for the class object's IClassFactory), its slot
//    table the same + Vtbl;
//  - slots in PascalCase, by the names the interfaces give them; a slot
//    without a name is Slot + its position;
//  - constants k + their name; COM's own codes and identifiers keep COM's
//    spelling after the k (kS_OK, kE_POINTER, kIID_IUnknown), the plug-in's
//    own are PascalCase (kEqOk, kClassKey).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define EQ_CALL __stdcall
#define EQ_CDECL __cdecl
#else
#define EQ_CALL
#define EQ_CDECL
#endif

namespace corvil::plugin {

// Slot results: 0 success, -1 failure; only the COM entry points return HRESULTs.
using EqResult = std::int32_t;
inline constexpr EqResult kEqOk = 0;
inline constexpr EqResult kEqFailed = -1;

using HResult = std::int32_t;
inline constexpr HResult kS_OK = 0;
inline constexpr HResult kS_FALSE = 1;
inline constexpr HResult kE_UNEXPECTED = static_cast<HResult>(0x8000FFFFu);
inline constexpr HResult kE_NOINTERFACE = static_cast<HResult>(0x80004002u);
inline constexpr HResult kE_POINTER = static_cast<HResult>(0x80004003u);
inline constexpr HResult kE_FAIL = static_cast<HResult>(0x80004005u);
inline constexpr HResult kE_INVALIDARG = static_cast<HResult>(0x80070057u);
inline constexpr HResult kE_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kCLASS_E_NOAGGREGATION = static_cast<HResult>(0x80040110u);
inline constexpr HResult kCLASS_E_CLASSNOTAVAILABLE = static_cast<HResult>(0x80040111u);

struct EqGuid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
    friend bool operator==(const EqGuid &a, const EqGuid &b) {
        if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.data4[i] != b.data4[i]) return false;
        return true;
    }
};
static_assert(sizeof(EqGuid) == 16 && offsetof(EqGuid, data4) == 8, "GUID layout");

inline constexpr EqGuid kIID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr EqGuid kIID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// IEqDevice {C754B842-DAF1-11D6-9D58-444553540000}
inline constexpr EqGuid kIID_IEqDevice{0xC754B842, 0xDAF1, 0x11D6, {0x9D, 0x58, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// The plug-in object {2496CF40-DD25-11D6-9D58-AA45F1D0DE0A}
inline constexpr EqGuid kCLSID_CorvilPlugin{0x2496CF40, 0xDD25, 0x11D6, {0x9D, 0x58, 0xAA, 0x45, 0xF1, 0xD0, 0xDE, 0x0A}};

// The class identifier as it is registered, letter case exactly so.
inline constexpr const char *kClassKey = "CLSID\\{2496CF40-DD25-11d6-9D58-AA45F1D0DE0A}";

struct IEqHost;
struct IEqDevice;

// The host's callback interface: the plug-in calls slots 6, 10 and 11 only,
// and never adds or releases a reference.
struct IEqHostVtbl {
    void *QueryInterface;  // 0
    void *AddRef;          // 1
    void *Release;         // 2
    void *Slot3;           // 3..5: the host's own
    void *Slot4;
    void *Slot5;
    EqResult(EQ_CALL *ShowMessage)(IEqHost *self, const char *text, std::uint32_t style, std::int32_t *result); // 6
    void *Slot7;           // 7..9: the host's own
    void *Slot8;
    void *Slot9;
    EqResult(EQ_CALL *RequestConfigure)(IEqHost *self, std::int32_t unitId);                   // 10
    EqResult(EQ_CALL *IsUnitNameUsed)(IEqHost *self, const char *name, std::int32_t unitId);  // 11
};
struct IEqHost {
    const IEqHostVtbl *vtbl;
};

using HostWindow = void *; // a window handle of the host

// The plug-in's interface, 31 slots in this order.
struct IEqDeviceVtbl {
    HResult(EQ_CALL *QueryInterface)(IEqDevice *self, const EqGuid *iid, void **out);                 // 0
    std::uint32_t(EQ_CALL *AddRef)(IEqDevice *self);                                                  // 1
    std::uint32_t(EQ_CALL *Release)(IEqDevice *self);                                                 // 2
    EqResult(EQ_CALL *SetHost)(IEqDevice *self, IEqHost *host);                                       // 3
    EqResult(EQ_CALL *GetTypeCode)(IEqDevice *self, std::int32_t *code);                              // 4
    EqResult(EQ_CALL *GetShortName)(IEqDevice *self, char *text, std::int16_t size);                  // 5
    EqResult(EQ_CALL *GetLongName)(IEqDevice *self, char *text, std::int16_t size);                   // 6
    EqResult(EQ_CALL *Slot7)(IEqDevice *self, std::int32_t, std::int32_t, std::int32_t);              // 7
    EqResult(EQ_CALL *Slot8)(IEqDevice *self, std::int32_t);                                          // 8
    EqResult(EQ_CALL *LoadSettings)(IEqDevice *self, const char *root, const char *section);          // 9
    EqResult(EQ_CALL *SaveSettings)(IEqDevice *self, const char *root, const char *section);          // 10
    EqResult(EQ_CALL *Tick)(IEqDevice *self, std::int16_t elapsedMs);                                 // 11
    EqResult(EQ_CALL *GetDefaultAddress)(IEqDevice *self, char *text, std::int16_t size);             // 12
    EqResult(EQ_CALL *ConfigureUnit)(IEqDevice *self, char *address, std::int16_t addressSize, char *name,
                                     std::int16_t nameSize, std::int32_t unitId, HostWindow parent);  // 13
    EqResult(EQ_CALL *GetOutputCount)(IEqDevice *self, std::int32_t *count);                          // 14
    EqResult(EQ_CALL *GetInputCount)(IEqDevice *self, std::int32_t *count);                           // 15
    EqResult(EQ_CALL *Slot16)(IEqDevice *self, std::int32_t, std::int32_t *out);                      // 16
    EqResult(EQ_CALL *GetLevelCount)(IEqDevice *self, std::int32_t input, std::int32_t *count);       // 17
    EqResult(EQ_CALL *Slot18)(IEqDevice *self, std::int32_t, std::int32_t *out);                      // 18
    EqResult(EQ_CALL *Slot19)(IEqDevice *self, std::int32_t, std::int32_t *out);                      // 19
    EqResult(EQ_CALL *GetOutputName)(IEqDevice *self, std::int32_t output, char *text, std::int32_t size,
                                     std::int32_t *out);                                              // 20
    EqResult(EQ_CALL *GetInputName)(IEqDevice *self, std::int32_t input, char *text, std::int32_t size,
                                    std::int32_t *out);                                               // 21
    EqResult(EQ_CALL *Slot22)(IEqDevice *self, std::int32_t, std::int32_t, char *text, std::int32_t size); // 22
    EqResult(EQ_CALL *GetLevelName)(IEqDevice *self, std::int32_t unused, std::int32_t level, char *text,
                                    std::int32_t size);                                               // 23
    EqResult(EQ_CALL *GetRouting)(IEqDevice *self, const char *address, std::int32_t *inputs,
                                  std::int32_t *reserved, std::int32_t *levels, std::int32_t outputs); // 24
    EqResult(EQ_CALL *SetRouting)(IEqDevice *self, const char *address, const std::int32_t *inputs,
                                  const std::int32_t *reserved, const std::int32_t *levels,
                                  std::int32_t outputs);                                              // 25
    EqResult(EQ_CALL *EnumerateUnits)(IEqDevice *self);                                               // 26
    EqResult(EQ_CALL *OpenUnitWindow)(IEqDevice *self, HostWindow host, const char *address, const char *name,
                                      std::int32_t unitId);                                           // 27
    EqResult(EQ_CALL *GetUnitWindowInfo)(IEqDevice *self, char *address, std::int16_t addressSize, char *name,
                                         std::int16_t nameSize, std::int32_t unitId);                 // 28
    EqResult(EQ_CALL *UpdateUnitWindow)(IEqDevice *self, const char *address, const char *name,
                                        std::int32_t unitId);                                         // 29
    EqResult(EQ_CALL *CloseUnitWindow)(IEqDevice *self, std::int32_t unitId);                         // 30
};
struct IEqDevice {
    const IEqDeviceVtbl *vtbl;
};

// The class object's interface, IClassFactory.
struct IEqClassFactory;
struct IEqClassFactoryVtbl {
    HResult(EQ_CALL *QueryInterface)(IEqClassFactory *self, const EqGuid *iid, void **out);            // 0
    std::uint32_t(EQ_CALL *AddRef)(IEqClassFactory *self);                                             // 1
    std::uint32_t(EQ_CALL *Release)(IEqClassFactory *self);                                            // 2
    HResult(EQ_CALL *CreateInstance)(IEqClassFactory *self, void *outer, const EqGuid *iid, void **out); // 3
    HResult(EQ_CALL *LockServer)(IEqClassFactory *self, std::int32_t lock);                            // 4
};
struct IEqClassFactory {
    const IEqClassFactoryVtbl *vtbl;
};

// The module's exports, as a host finds them by name.
using DllGetClassObjectFn = HResult(EQ_CALL *)(const EqGuid *clsid, const EqGuid *iid, void **out);
using DllEntryFn = HResult(EQ_CALL *)(); // DllCanUnloadNow, DllRegisterServer, DllUnregisterServer

// The host finds each slot by its position in the table.
#define EQ_SLOT(table, member, n) static_assert(offsetof(table, member) == (n) * sizeof(void *), #member " is slot " #n)
EQ_SLOT(IEqDeviceVtbl, QueryInterface, 0);
EQ_SLOT(IEqDeviceVtbl, Release, 2);
EQ_SLOT(IEqDeviceVtbl, SetHost, 3);
EQ_SLOT(IEqDeviceVtbl, LoadSettings, 9);
EQ_SLOT(IEqDeviceVtbl, Tick, 11);
EQ_SLOT(IEqDeviceVtbl, GetDefaultAddress, 12);
EQ_SLOT(IEqDeviceVtbl, ConfigureUnit, 13);
EQ_SLOT(IEqDeviceVtbl, GetLevelCount, 17);
EQ_SLOT(IEqDeviceVtbl, GetOutputName, 20);
EQ_SLOT(IEqDeviceVtbl, GetLevelName, 23);
EQ_SLOT(IEqDeviceVtbl, GetRouting, 24);
EQ_SLOT(IEqDeviceVtbl, EnumerateUnits, 26);
EQ_SLOT(IEqDeviceVtbl, CloseUnitWindow, 30);
EQ_SLOT(IEqHostVtbl, ShowMessage, 6);
EQ_SLOT(IEqClassFactoryVtbl, CreateInstance, 3);
EQ_SLOT(IEqClassFactoryVtbl, LockServer, 4);
EQ_SLOT(IEqHostVtbl, RequestConfigure, 10);
EQ_SLOT(IEqHostVtbl, IsUnitNameUsed, 11);
#undef EQ_SLOT
static_assert(sizeof(IEqDeviceVtbl) == 31 * sizeof(void *), "IEqDevice has 31 slots");
static_assert(sizeof(IEqHostVtbl) == 12 * sizeof(void *), "the plug-in relies on 12 host slots");
static_assert(sizeof(IEqDevice) == sizeof(void *) && sizeof(IEqHost) == sizeof(void *), "an interface is its table pointer");
static_assert(sizeof(EqResult) == 4 && sizeof(HResult) == 4, "32-bit results");

} // namespace corvil::plugin

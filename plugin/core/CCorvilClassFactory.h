// The COM server's module logic: the class object that makes plug-in
// objects, the module's unload rule, and self-registration as an algorithm
// over the registry seam. The DLL's exports forward here.
#pragma once

#include "CCorvilPlugin.h"
#include "eq_abi.h"
#include "seams.h"

namespace corvil::plugin {

class CCorvilClassFactory {
public:
    explicit CCorvilClassFactory(Services &services);

    IEqClassFactory *asInterface() { return &com_.iface; }
    static CCorvilClassFactory &of(IEqClassFactory *iface);

    HResult QueryInterface(const EqGuid *iid, void **out);
    std::uint32_t AddRef();
    std::uint32_t Release(); // deletes the class object at 0
    HResult CreateInstance(void *outer, const EqGuid *iid, void **out);
    HResult LockServer(std::int32_t lock);

    std::int32_t referenceCount() const { return referenceCount_; }

private:
    struct Interface {
        IEqClassFactory iface;
        CCorvilClassFactory *self;
    };
    Interface com_;
    Services &services_;
    std::int32_t referenceCount_ = 0;
};

// DllGetClassObject: a new class object for every call.
HResult getClassObject(Services &services, const EqGuid *clsid, const EqGuid *iid, void **out);
// DllCanUnloadNow: S_OK when no object holds a reference, no lock is held
// and no released object still has a call running on it.
HResult canUnloadNow();
// DllRegisterServer / DllUnregisterServer.
HResult registerServer(Registry &registry, ModulePath &module);
HResult unregisterServer(Registry &registry);

// The module file the class is registered with.
inline constexpr const char *kModuleName = "Corvil.dll";
// The longest module path registration takes, in characters.
inline constexpr std::uint32_t kModulePathSize = 260;

} // namespace corvil::plugin

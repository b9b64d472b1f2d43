#include "CCorvilClassFactory.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace corvil::plugin {

namespace {

CCorvilClassFactory &self(IEqClassFactory *iface) { return CCorvilClassFactory::of(iface); }

HResult EQ_CALL queryInterface(IEqClassFactory *p, const EqGuid *iid, void **out) {
    return self(p).QueryInterface(iid, out);
}
std::uint32_t EQ_CALL addRef(IEqClassFactory *p) { return self(p).AddRef(); }
std::uint32_t EQ_CALL release(IEqClassFactory *p) { return self(p).Release(); }
HResult EQ_CALL createInstance(IEqClassFactory *p, void *outer, const EqGuid *iid, void **out) {
    return self(p).CreateInstance(outer, iid, out);
}
HResult EQ_CALL lockServer(IEqClassFactory *p, std::int32_t lock) { return self(p).LockServer(lock); }

const IEqClassFactoryVtbl kTable = {
    .QueryInterface = queryInterface,
    .AddRef = addRef,
    .Release = release,
    .CreateInstance = createInstance,
    .LockServer = lockServer,
};

} // namespace

CCorvilClassFactory::CCorvilClassFactory(Services &services) : com_{{&kTable}, this}, services_(services) {}

CCorvilClassFactory &CCorvilClassFactory::of(IEqClassFactory *iface) {
    return *reinterpret_cast<Interface *>(iface)->self;
}

HResult CCorvilClassFactory::QueryInterface(const EqGuid *iid, void **out) {
    if (!iid || !out) return kE_POINTER;
    if (!(*iid == kIID_IUnknown) && !(*iid == kIID_IClassFactory)) return kE_NOINTERFACE;
    *out = asInterface();
    AddRef();
    return kS_OK;
}

std::uint32_t CCorvilClassFactory::AddRef() {
    ++moduleLockCount();
    return static_cast<std::uint32_t>(++referenceCount_);
}

std::uint32_t CCorvilClassFactory::Release() {
    --moduleLockCount();
    if (--referenceCount_ == 0) {
        delete this;
        return 0;
    }
    return static_cast<std::uint32_t>(referenceCount_);
}

HResult CCorvilClassFactory::CreateInstance(void *outer, const EqGuid *iid, void **out) {
    if (outer) return kCLASS_E_NOAGGREGATION;
    // Checked before an object is made: making one closes every unit's
    // handles in the process.
    if (!iid || !out) return kE_POINTER;
    CCorvilPlugin *object = nullptr;
    try {
        object = new CCorvilPlugin(services_);
    } catch (const std::bad_alloc &) {
        *out = nullptr;
        return kE_OUTOFMEMORY;
    }
    if (object->QueryInterface(iid, out) != kS_OK) {
        delete object;
        *out = nullptr;
        return kE_NOINTERFACE;
    }
    return kS_OK;
}

HResult CCorvilClassFactory::LockServer(std::int32_t lock) {
    moduleLockCount() += lock ? 1 : -1;
    return kS_OK;
}

HResult getClassObject(Services &services, const EqGuid *clsid, const EqGuid *iid, void **out) {
    if (!clsid || !(*clsid == kCLSID_CorvilPlugin)) return kCLASS_E_CLASSNOTAVAILABLE;
    CCorvilClassFactory *factory = new (std::nothrow) CCorvilClassFactory(services);
    if (!factory) {
        if (out) *out = nullptr;
        return kE_OUTOFMEMORY;
    }
    if (factory->QueryInterface(iid, out) != kS_OK) {
        delete factory;
        if (out) *out = nullptr;
        return kE_INVALIDARG;
    }
    return kS_OK;
}

HResult canUnloadNow() { return moduleLockCount() == 0 && pendingDestructions() == 0 ? kS_OK : kS_FALSE; }

HResult registerServer(Registry &registry, ModulePath &module) {
    using Hive = Registry::Hive;
    const std::string classKey = kClassKey;
    Registry::Key key = nullptr, server = nullptr;
    if (registry.create(Hive::ClassesRoot, classKey, key) != 0) return kE_UNEXPECTED;
    char description[64];
    std::snprintf(description, sizeof description, "Fathom EQ for %s", "Tolvane Corvil");
    // The description is stored without its NUL, the path with it.
    if (registry.setString(key, "", description, static_cast<std::uint32_t>(std::strlen(description))) != 0) {
        registry.close(key);
        return kE_UNEXPECTED;
    }
    if (registry.create(Hive::ClassesRoot, classKey + "\\InprocServer32", server) != 0) {
        registry.close(key);
        return kE_UNEXPECTED;
    }
    std::string path;
    HResult result = kE_UNEXPECTED;
    if (module.find(kModuleName, path, kModulePathSize) &&
        registry.setString(server, "", path.c_str(), static_cast<std::uint32_t>(path.size() + 1)) == 0)
        result = kS_OK;
    registry.close(server);
    registry.close(key);
    return result;
}

HResult unregisterServer(Registry &registry) {
    using Hive = Registry::Hive;
    const std::string classKey = kClassKey;
    if (registry.remove(Hive::ClassesRoot, classKey + "\\InprocServer32") != 0) return kE_UNEXPECTED;
    if (registry.remove(Hive::ClassesRoot, classKey) != 0) return kE_UNEXPECTED;
    return kS_OK;
}

} // namespace corvil::plugin

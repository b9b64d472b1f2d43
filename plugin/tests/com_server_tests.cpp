// The COM server's module logic: class objects, the unload rule,
// self-registration, and the plug-in object surviving a host that releases
// it from inside its own callbacks.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "CCorvilClassFactory.h"
#include "fakes.h"

using namespace corvil::plugin;
using namespace corvil::plugin::fakes;

namespace {

class ComServer : public ::testing::Test, protected FakeSurroundings {
protected:
    void SetUp() override { ASSERT_EQ(moduleLockCount(), 0) << "a test before this one leaked a reference"; }
};

TEST_F(ComServer, ClassObjectsAndTheUnloadRule) {
    void *out = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(getClassObject(services, &kIID_IEqDevice, &kIID_IClassFactory, &out), kCLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(getClassObject(services, &kCLSID_CorvilPlugin, &kIID_IEqDevice, &out), kE_INVALIDARG);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(getClassObject(services, &kCLSID_CorvilPlugin, &kIID_IClassFactory, nullptr), kE_INVALIDARG);
    EXPECT_EQ(canUnloadNow(), kS_OK) << "the class objects that failed were deleted";

    IEqClassFactory *first = nullptr, *second = nullptr;
    ASSERT_EQ(getClassObject(services, &kCLSID_CorvilPlugin, &kIID_IClassFactory, reinterpret_cast<void **>(&first)),
              kS_OK);
    ASSERT_EQ(getClassObject(services, &kCLSID_CorvilPlugin, &kIID_IUnknown, reinterpret_cast<void **>(&second)),
              kS_OK);
    EXPECT_NE(first, second) << "each call makes its own";
    EXPECT_EQ(second->vtbl->Release(second), 0u);
    EXPECT_EQ(canUnloadNow(), kS_FALSE);

    EXPECT_EQ(first->vtbl->CreateInstance(first, first, &kIID_IEqDevice, &out), kCLASS_E_NOAGGREGATION);
    EXPECT_EQ(first->vtbl->CreateInstance(first, nullptr, &kIID_IEqDevice, nullptr), kE_POINTER);
    EXPECT_EQ(first->vtbl->CreateInstance(first, nullptr, nullptr, &out), kE_POINTER);
    out = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(first->vtbl->CreateInstance(first, nullptr, &kIID_IClassFactory, &out), kE_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(moduleLockCount(), 1) << "the object that failed its query was destroyed";

    IEqDevice *device = nullptr;
    ASSERT_EQ(first->vtbl->CreateInstance(first, nullptr, &kIID_IEqDevice, reinterpret_cast<void **>(&device)),
              kS_OK);
    EXPECT_EQ(first->vtbl->LockServer(first, 1), kS_OK);
    EXPECT_EQ(first->vtbl->Release(first), 0u);
    EXPECT_EQ(device->vtbl->Release(device), 0u);
    EXPECT_EQ(canUnloadNow(), kS_FALSE) << "the lock holds the module";
    // A lock taken through one class object is given back through another.
    ASSERT_EQ(getClassObject(services, &kCLSID_CorvilPlugin, &kIID_IClassFactory, reinterpret_cast<void **>(&first)),
              kS_OK);
    first->vtbl->LockServer(first, 0);
    first->vtbl->Release(first);
    EXPECT_EQ(canUnloadNow(), kS_OK);
}

class FakeModule : public ModulePath {
public:
    std::string path = "C:\\Program Files\\Orlo\\FathomLive\\Corvil.dll";
    bool loaded = true;
    bool find(const char *name, std::string &out, std::uint32_t size) override {
        if (!loaded || std::strcmp(name, "Corvil.dll") != 0 || path.size() >= size) return false;
        out = path;
        return true;
    }
};

const std::string kClass = "CLSID\\{2496CF40-DD25-11d6-9D58-AA45F1D0DE0A}";
const std::string kServer = kClass + "\\InprocServer32";
const std::string kDescription = "Fathom EQ for Tolvane Corvil";

// Registration writes exactly the class and its server; each failing step
// leaves what came before it.
TEST_F(ComServer, Registration) {
    FakeModule module;
    ASSERT_EQ(registerServer(registry, module), kS_OK);
    const std::map<std::string, FakeRegistry::Values> registered = {
        {kClass, {{"", kDescription}}},                 // stored without its NUL
        {kServer, {{"", module.path + '\0'}}}};         // with its NUL; no threading model
    EXPECT_EQ(registry.classes, registered);
    EXPECT_TRUE(registry.keys.empty());
    EXPECT_EQ(unregisterServer(registry), kS_OK);
    EXPECT_TRUE(registry.classes.empty());
    EXPECT_EQ(unregisterServer(registry), kE_UNEXPECTED) << "nothing registered";

    const auto failing = [&](const char *what) {
        registry.classes.clear();
        EXPECT_EQ(registerServer(registry, module), kE_UNEXPECTED) << what;
        EXPECT_EQ(registry.openKeys, 0) << what << ": every key opened is closed";
        return registry.classes;
    };
    module.loaded = false; // a copy under another file name: no module named Corvil.dll
    EXPECT_EQ(failing("renamed"), (std::map<std::string, FakeRegistry::Values>{{kClass, {{"", kDescription}}},
                                                                                {kServer, {}}}));
    module.loaded = true;
    registry.refuseCreate = {kServer};
    EXPECT_EQ(failing("no server key").size(), 1u);
    registry.refuseCreate = {kClass};
    EXPECT_TRUE(failing("no class key").empty());
    registry.refuseCreate.clear();
    registry.refuseSet = {kClass + "|"};
    EXPECT_EQ(failing("no description").count(kServer), 0u);

    // Unregistering stops at the first key it cannot delete.
    registry.classes = {{kClass, {}}};
    EXPECT_EQ(unregisterServer(registry), kE_UNEXPECTED);
    EXPECT_EQ(registry.classes.count(kClass), 1u);
}

// The host releases the plug-in from inside its own callbacks.
class Release : public ComServer {
protected:
    IEqDevice *device = nullptr;
    corvhid::FakeInterface *unit = nullptr;
    void SetUp() override {
        ComServer::SetUp();
        unit = &addUnit("ABCDE", {3, 1, 2, 0, 0});
        IEqClassFactory *factory = nullptr;
        ASSERT_EQ(getClassObject(services, &kCLSID_CorvilPlugin, &kIID_IClassFactory, reinterpret_cast<void **>(&factory)),
                  kS_OK);
        ASSERT_EQ(factory->vtbl->CreateInstance(factory, nullptr, &kIID_IEqDevice, reinterpret_cast<void **>(&device)),
                  kS_OK);
        factory->vtbl->Release(factory);
        device->vtbl->SetHost(device, &host.iface);
        ASSERT_EQ(device->vtbl->OpenUnitWindow(device, nullptr, "SERIAL ABCDE", "Desk", 7), 0);
        ASSERT_EQ(device->vtbl->OpenUnitWindow(device, nullptr, "SERIAL ABCDE", "Booth", 8), 0);
    }
    void releaseAll() {
        while (device->vtbl->Release(device) != 0) {
        }
    }
};

TEST_F(Release, DuringTheContactLostMessageOfAPollPass) {
    unit->standing.clear();
    host.duringMessage = [&] {
        releaseAll();
        EXPECT_EQ(canUnloadNow(), kS_FALSE) << "its code is still running";
    };
    EXPECT_EQ(device->vtbl->Tick(device, 500), 0);
    EXPECT_EQ(host.messages.size(), 1u) << "the pass ends with the object's release";
    EXPECT_TRUE(windows.live.empty()) << "destroyed, with its windows, once Tick returned";
    EXPECT_EQ(canUnloadNow(), kS_OK);
}

TEST_F(Release, DuringConfigureFromAUnitWindow) {
    host.duringConfigure = [&](std::int32_t) {
        releaseAll();
        EXPECT_EQ(canUnloadNow(), kS_FALSE) << "the window's handler is still running";
    };
    windows.live.front()->events().onSystemCommand(kConfigureCommand);
    EXPECT_TRUE(windows.live.empty());
    EXPECT_EQ(canUnloadNow(), kS_OK);
}

TEST_F(Release, ATickInsideAMessageReturnsAtOnceAndPollingGoesOn) {
    // A pass that an exception leaves still frees Tick for the next one.
    unit->standing.clear();
    host.duringMessage = [] { throw std::runtime_error("host failure"); };
    EXPECT_EQ(device->vtbl->Tick(device, 500), -1) << "no exception crosses the interface";
    host.duringMessage = [&] { EXPECT_EQ(device->vtbl->Tick(device, 500), 0); };
    unit->standing = {3, 1, 2, 0, 0};
    device->vtbl->OpenUnitWindow(device, nullptr, "SERIAL ABCDE", "Desk", 9); // the countdown running again
    unit->standing.clear();
    device->vtbl->Tick(device, 500);
    EXPECT_EQ(host.messages, (std::vector<std::string>{"48: Contact was lost with unit Desk.",
                                                       "48: Contact was lost with unit Booth.",
                                                       "48: Contact was lost with unit Desk."}))
        << "the thrown one, then each window's once: the Tick inside a message returned at once";
    EXPECT_EQ(windows.live.size(), 2u) << "no pass inside a message removed the windows it left for the next";
    releaseAll();
    EXPECT_EQ(canUnloadNow(), kS_OK);
}

} // namespace

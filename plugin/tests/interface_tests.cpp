// The plug-in object through IEqDevice's table, as the host calls it: by
// slot position, with COM's reference rules.
#include <gtest/gtest.h>

#include <cstring>

#include "CCorvilPlugin.h"
#include "fake_platform.h"
#include "fakes.h"

using namespace corvil::plugin;
using namespace corvil::plugin::fakes;

namespace {

// The slot at `position` of an interface's table, as the host finds it.
template <typename F> F slot(IEqDevice *iface, int position) {
    return reinterpret_cast<F>(reinterpret_cast<void *const *>(iface->vtbl)[position]);
}

class ThroughTheInterface : public ::testing::Test, protected fakes::FakeSurroundings {
protected:
};

TEST_F(ThroughTheInterface, SlotsByPosition) {
    auto &unit = fake.add("/fake/a");
    unit.feature = {1, 'A', 'B', 'C', 'D', 'E'};
    for (int i = 0; i < 10; ++i) unit.inputQueue.push_back({3, 0, 2, 0x00, 0x02});
    auto *object = new CCorvilPlugin(services);
    IEqDevice *device = object->asInterface();

    IEqDevice *got = nullptr;
    ASSERT_EQ(slot<HResult(EQ_CALL *)(IEqDevice *, const EqGuid *, void **)>(device, 0)(
                  device, &kIID_IEqDevice, reinterpret_cast<void **>(&got)),
              kS_OK);
    EXPECT_EQ(got, device);
    void *untouched = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(device->vtbl->QueryInterface(device, &kIID_IClassFactory, &untouched), kE_NOINTERFACE);
    EXPECT_EQ(untouched, reinterpret_cast<void *>(0x1));
    EXPECT_EQ(object->referenceCount(), 1);

    EXPECT_EQ(slot<EqResult(EQ_CALL *)(IEqDevice *, IEqHost *)>(device, 3)(device, &host.iface), 0);
    std::int32_t code = 0;
    slot<EqResult(EQ_CALL *)(IEqDevice *, std::int32_t *)>(device, 4)(device, &code);
    EXPECT_EQ(code, 4);
    char text[16];
    slot<EqResult(EQ_CALL *)(IEqDevice *, char *, std::int16_t)>(device, 6)(device, text, sizeof text);
    EXPECT_STREQ(text, "Tolvane Corvil");
    EXPECT_EQ(slot<EqResult(EQ_CALL *)(IEqDevice *, char *, std::int16_t)>(device, 12)(device, text, sizeof text), 0);
    EXPECT_STREQ(text, "SERIAL ?????");
    std::int32_t n = -1;
    slot<EqResult(EQ_CALL *)(IEqDevice *, std::int32_t *)>(device, 15)(device, &n);
    EXPECT_EQ(n, 9);
    // Slots of the same type, told apart by what they do.
    using CountSlot = EqResult(EQ_CALL *)(IEqDevice *, std::int32_t, std::int32_t *);
    for (int position : {16, 17, 18, 19}) {
        n = -1;
        slot<CountSlot>(device, position)(device, 3, &n);
        EXPECT_EQ(n, position == 17 ? 2 : 0) << "slot " << position;
    }
    using NameSlot = EqResult(EQ_CALL *)(IEqDevice *, std::int32_t, char *, std::int32_t, std::int32_t *);
    slot<NameSlot>(device, 20)(device, 0, text, sizeof text, &n);
    EXPECT_STREQ(text, "Out 1");
    EXPECT_EQ(n, 1);
    slot<NameSlot>(device, 21)(device, 0, text, sizeof text, &n);
    EXPECT_STREQ(text, "No In");
    EXPECT_EQ(n, 0);
    using SettingsSlot = EqResult(EQ_CALL *)(IEqDevice *, const char *, const char *);
    object->savedRect = Rect{1, 2, 3, 4};
    slot<SettingsSlot>(device, 10)(device, "Software\\Orlo", "Devices"); // SaveSettings
    EXPECT_EQ(registry.keys["Software\\Orlo\\Devices\\TL Corvil"]["controlrect"], std::string("1, 2, 3, 4\0", 11));
    object->savedRect = Rect{};
    slot<SettingsSlot>(device, 9)(device, "Software\\Orlo", "Devices"); // LoadSettings
    EXPECT_EQ(object->savedRect, (Rect{1, 2, 3, 4}));
    std::strcpy(text, "junk");
    slot<EqResult(EQ_CALL *)(IEqDevice *, std::int32_t, std::int32_t, char *, std::int32_t)>(device, 22)(
        device, 1, 2, text, sizeof text);
    EXPECT_STREQ(text, "");
    slot<EqResult(EQ_CALL *)(IEqDevice *, std::int32_t, std::int32_t, char *, std::int32_t)>(device, 23)(
        device, 0, 1, text, sizeof text);
    EXPECT_STREQ(text, "Line");

    std::int32_t inputs[2], reserved[2], levels[2];
    ASSERT_EQ(device->vtbl->GetRouting(device, "SERIAL ABCDE", inputs, reserved, levels, 2), 0);
    EXPECT_EQ(inputs[0], 2);
    EXPECT_EQ(levels[0], 1);
    EXPECT_EQ(device->vtbl->OpenUnitWindow(device, nullptr, "SERIAL ABCDE", "Desk", 3), 0);
    EXPECT_EQ(slot<EqResult(EQ_CALL *)(IEqDevice *, std::int32_t)>(device, 30)(device, 3), 0);
    EXPECT_EQ(device->vtbl->CloseUnitWindow(device, 3), -1);

    EXPECT_EQ(device->vtbl->Release(device), 0u) << "the last release destroys the object";
}

} // namespace

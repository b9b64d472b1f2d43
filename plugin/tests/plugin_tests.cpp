// The plug-in object's slots that need no window, called through IEqDevice's
// table as the host calls them: names and the text-copy rule, counts, the
// unit list, addresses and routing translation, against fake devices.
#include <gtest/gtest.h>

#include <cstring>

#include "fakes.h"

using namespace corvil::plugin;
using Bytes = std::vector<std::uint8_t>;

namespace {

class Plugin : public ::testing::Test, protected fakes::FakeSurroundings {};

TEST_F(Plugin, NamesCountsAndTheTextCopyRuleThroughTheTable) {
    auto *object = new CCorvilPlugin(services);
    IEqDevice *d = object->asInterface();
    const IEqDeviceVtbl &t = *d->vtbl;
    void *got = nullptr;
    ASSERT_EQ(t.QueryInterface(d, &kIID_IEqDevice, &got), kS_OK); // the host's reference
    EXPECT_EQ(got, d);
    char text[16];
    std::int32_t n = -1;
    const auto name = [&](decltype(t.GetInputName) slot, std::int32_t k) {
        n = -1;
        slot(d, k, text, sizeof text, &n);
        return std::string(text) + "/" + std::to_string(n);
    };
    const auto level = [&](std::int32_t k) { return t.GetLevelName(d, 99, k, text, sizeof text), std::string(text); };
    EXPECT_EQ((std::vector<std::string>{name(t.GetInputName, 0), name(t.GetInputName, 12), name(t.GetOutputName, 0),
                                        name(t.GetOutputName, 5), level(0), level(7)}),
              (std::vector<std::string>{"No In/0", "In 12/1", "Out 1/1", "Out 2/1", "Mic", "Line"}));
    t.GetLongName(d, text, sizeof text);
    EXPECT_STREQ(text, "Tolvane Corvil");
    const auto count = [&](auto slot, auto... input) { return n = -1, slot(d, input..., &n), n; };
    EXPECT_EQ((std::vector<std::int32_t>{count(t.GetTypeCode), count(t.GetInputCount), count(t.GetOutputCount),
                                         count(t.GetLevelCount, 3), count(t.GetLevelCount, 0)}),
              (std::vector<std::int32_t>{4, 9, 2, 2, 0}))
        << "type code, inputs, outputs, levels of an input, no levels for no input";

    // The short name cut to the buffer; sizes of 1, 0 and less write nothing
    // before or past it.
    t.GetShortName(d, text, 4);
    EXPECT_STREQ(text, "TL ");
    char guarded[4] = {'x', 'y', 'z', 'w'};
    for (std::int16_t size : {1, 0, -5}) {
        t.GetShortName(d, guarded + 1, size);
        EXPECT_EQ(std::string(guarded, 4), std::string("x\0zw", 4)) << size;
    }
    // The default address needs 13 bytes and fills the rest with NULs.
    char address[16];
    std::memset(address, 'q', sizeof address);
    EXPECT_EQ(t.GetDefaultAddress(d, address, 12), -1);
    EXPECT_EQ(address[0], 'q') << "untouched";
    EXPECT_EQ(t.GetDefaultAddress(d, address, 15), 0);
    EXPECT_EQ(std::string(address, 16), std::string("SERIAL ?????\0\0\0q", 16));

    got = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(t.QueryInterface(d, &kIID_IClassFactory, &got), kE_NOINTERFACE);
    EXPECT_EQ(got, reinterpret_cast<void *>(0x1));
    EXPECT_EQ(t.QueryInterface(d, &kIID_IEqDevice, nullptr), kE_POINTER);
    EXPECT_EQ(t.QueryInterface(d, nullptr, &got), kE_POINTER);
    EXPECT_EQ(t.Release(d), 0u) << "the last release destroys the object";
}

TEST_F(Plugin, TheUnitListHoldsTheFirstSixteenWithTheirSerials) {
    for (int i = 0; i < 17; ++i) {
        char serial[6];
        std::snprintf(serial, sizeof serial, "U%04d", i);
        addUnit(serial);
    }
    CCorvilPlugin plugin(services);
    ASSERT_EQ(plugin.unitCount(), 16);
    EXPECT_EQ(services.device.unitCount(), 17) << "the seventeenth is found, not listed";
    EXPECT_STREQ(plugin.serial(15), "U0015");
    EXPECT_EQ(plugin.findSerial("U0016"), -1);
    EXPECT_EQ(plugin.findSerial("U0007"), 7);
    EXPECT_EQ(plugin.findSerial("u0007"), -1);

    // Many enumerations never run the device code's 8-bit unit table out.
    for (int i = 0; i < 100; ++i) plugin.EnumerateUnits();
    EXPECT_EQ(plugin.unitCount(), 16);
    EXPECT_STREQ(plugin.serial(15), "U0015");
}

TEST_F(Plugin, RoutingTranslatesLevelsToPads) {
    // Reports are {3, input 2, input 1, pads 2, pads 1}.
    auto &unit = addUnit("AAAAA");
    CCorvilPlugin plugin(services);
    std::int32_t inputs[2], reserved[2] = {-1, -1}, levels[2];
    struct Read {
        Bytes report;
        std::vector<std::int32_t> inputsAndLevels;
    };
    for (const Read &r : {Read{{3, 0, 5, 0x00, 0x10}, {5, 1, 0, 0}},   // input 5 with its pad in
                          Read{{3, 8, 5, 0x80, 0xEF}, {5, 0, 8, 1}},   // only the input's own pad counts
                          Read{{3, 0, 40, 0x00, 0x80}, {40, 0, 0, 0}}}) { // above 8: no pad bit at all
        unit.standing = r.report;
        ASSERT_EQ(plugin.GetRouting("SERIAL AAAAA", inputs, reserved, levels, 2), 0);
        EXPECT_EQ((std::vector<std::int32_t>{inputs[0], levels[0], inputs[1], levels[1]}), r.inputsAndLevels);
        EXPECT_EQ(reserved[0], 0);
    }

    // 259 is input 3; level Mic takes the pad of input 3 out, others stay;
    // output 2's pad mask goes back as read when its input is 0.
    unit.standing = {3, 2, 5, 0x0F, 0x14};
    const std::int32_t mic[2] = {0, 1}, line[2] = {1, 1};
    const std::int32_t input3[2] = {259, 0}, input40[2] = {40, 0};
    ASSERT_EQ(plugin.SetRouting("SERIAL AAAAA", input3, reserved, mic, 2), 0);
    EXPECT_EQ(unit.writes.back(), (Bytes{3, 0, 3, 0x0F, 0x10}));
    ASSERT_EQ(plugin.SetRouting("SERIAL AAAAA", input40, reserved, line, 2), 0);
    EXPECT_EQ(unit.writes.back(), (Bytes{3, 0, 40, 0x0F, 0x14})) << "no pad of an input above 8";

    const int reads = fake.count("read");
    EXPECT_EQ(plugin.GetRouting("SERIAL AAAAA", inputs, reserved, levels, 1), -1);
    EXPECT_EQ(plugin.SetRouting("SERIAL AAAAA", input3, reserved, levels, 3), -1);
    EXPECT_EQ(fake.count("read"), reads) << "a wrong output count makes no device call";
    // Only "SERIAL " exactly, then at most five characters, names a unit.
    for (const char *address : {"SERIAL ?????", "serial AAAAA", "SERIALAAAAA", static_cast<const char *>(nullptr)})
        EXPECT_EQ(plugin.GetRouting(address, inputs, reserved, levels, 2), -1) << (address ? address : "null");
    EXPECT_EQ(plugin.GetRouting("SERIAL AAAAA and more", inputs, reserved, levels, 2), 0);
}

} // namespace

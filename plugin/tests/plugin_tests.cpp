// The plug-in object's slots that need no window: names and the text-copy
// rule, counts, the unit list, addresses and routing translation, against
// fake devices and against emulated units through the compiled-in device code.
#include <gtest/gtest.h>

#include <cstring>

#include "CCorvilPlugin.h"
#include "emulator_process.h"
#include "fake_platform.h"
#include "fakes.h"
#include "virtual/virtual_platform.h"

using namespace corvil::plugin;
using corvhid::FakePlatform;

namespace {

class Plugin : public ::testing::Test, protected fakes::FakeSurroundings {
protected:

    void addUnit(const std::string &path, const char *serial, std::vector<std::uint8_t> settings = {3, 0, 0, 0, 0}) {
        auto &unit = fake.add(path);
        unit.feature = {1, 0, 0, 0, 0, 0};
        std::memcpy(unit.feature.data() + 1, serial, 5);
        unit.standing = settings;
    }
};

TEST_F(Plugin, NamesCountsAndTheTextCopyRule) {
    CCorvilPlugin plugin(services);
    char text[32];
    std::int32_t out = -9;
    plugin.GetShortName(text, 4);
    EXPECT_STREQ(text, "TL ");
    plugin.GetLongName(text, sizeof text);
    EXPECT_STREQ(text, "Tolvane Corvil");
    plugin.GetInputName(0, text, sizeof text, &out);
    EXPECT_STREQ(text, "No In");
    EXPECT_EQ(out, 0);
    plugin.GetInputName(12, text, sizeof text, &out);
    EXPECT_STREQ(text, "In 12");
    EXPECT_EQ(out, 1);
    plugin.GetOutputName(5, text, sizeof text, &out);
    EXPECT_STREQ(text, "Out 2");
    plugin.GetLevelName(99, 0, text, sizeof text);
    EXPECT_STREQ(text, "Mic");
    plugin.GetLevelName(99, 7, text, sizeof text);
    EXPECT_STREQ(text, "Line");
    std::int32_t n = 0;
    plugin.GetTypeCode(&n);
    EXPECT_EQ(n, 4);
    plugin.GetInputCount(&n);
    EXPECT_EQ(n, 9);
    plugin.GetLevelCount(0, &n);
    EXPECT_EQ(n, 0);
    plugin.GetLevelCount(3, &n);
    EXPECT_EQ(n, 2);

    // Sizes of 1 and 0: nothing is written before or past the buffer.
    char guarded[4] = {'x', 'y', 'z', 'w'};
    plugin.GetShortName(guarded + 1, 1);
    EXPECT_EQ(std::string(guarded, 4), std::string("x\0zw", 4));
    plugin.GetShortName(guarded + 1, 0);
    plugin.GetShortName(guarded + 1, -5);
    EXPECT_EQ(std::string(guarded, 4), std::string("x\0zw", 4));

    char address[16];
    std::memset(address, 'q', sizeof address);
    EXPECT_EQ(plugin.GetDefaultAddress(address, 12), -1);
    EXPECT_EQ(address[0], 'q') << "untouched";
    EXPECT_EQ(plugin.GetDefaultAddress(address, 15), 0);
    EXPECT_STREQ(address, "SERIAL ?????");
    EXPECT_EQ(std::string(address + 12, 3), std::string(3, '\0'));
    EXPECT_EQ(address[15], 'q');
}

TEST_F(Plugin, AddressesParseOnlyWithTheExactPrefix) {
    std::string serial;
    EXPECT_TRUE(parseAddress("SERIAL AB123", serial));
    EXPECT_EQ(serial, "AB123");
    EXPECT_TRUE(parseAddress("SERIAL AB1234567", serial));
    EXPECT_EQ(serial, "AB123");
    EXPECT_TRUE(parseAddress("SERIAL AB", serial));
    EXPECT_EQ(serial, "AB");
    EXPECT_FALSE(parseAddress("serial AB123", serial));
    EXPECT_FALSE(parseAddress("SERIALAB123", serial));
    EXPECT_FALSE(parseAddress(nullptr, serial));
}

TEST_F(Plugin, TheUnitListHoldsTheFirstSixteenWithTheirSerials) {
    for (int i = 0; i < 17; ++i) {
        char serial[6];
        std::snprintf(serial, sizeof serial, "U%04d", i);
        addUnit("/fake/" + std::to_string(i), serial);
    }
    CCorvilPlugin plugin(services);
    ASSERT_EQ(plugin.unitCount(), 16);
    EXPECT_STREQ(plugin.serial(0), "U0000");
    EXPECT_STREQ(plugin.serial(15), "U0015");
    EXPECT_EQ(plugin.findSerial("U0016"), -1);
    EXPECT_EQ(plugin.findSerial("U0007"), 7);
    EXPECT_EQ(plugin.findSerial("u0007"), -1);

    // Many enumerations never run the device code's 8-bit unit table out.
    for (int i = 0; i < 100; ++i) plugin.EnumerateUnits();
    EXPECT_EQ(plugin.unitCount(), 16);
    EXPECT_LE(device.unitCount(), 255u);
    EXPECT_STREQ(plugin.serial(15), "U0015");
}

TEST_F(Plugin, RoutingTranslatesLevelsToPads) {
    addUnit("/fake/a", "AAAAA", {3, 0, 5, 0x00, 0x10}); // output 1: input 5, pad of 5 in; output 2: none
    CCorvilPlugin plugin(services);
    std::int32_t inputs[2] = {-1, -1}, reserved[2] = {-1, -1}, levels[2] = {-1, -1};
    ASSERT_EQ(plugin.GetRouting("SERIAL AAAAA", inputs, reserved, levels, 2), 0);
    EXPECT_EQ(inputs[0], 5);
    EXPECT_EQ(levels[0], 1) << "Line: pad in";
    EXPECT_EQ(inputs[1], 0);
    EXPECT_EQ(levels[1], 0);
    EXPECT_EQ(reserved[0], 0);

    // 259 is input 3; level Mic takes the pad of input 3 out, others stay.
    fake.interfaces[0].inputQueue.clear();
    fake.interfaces[0].inputQueue.push_back({3, 2, 5, 0x0F, 0x14});
    const std::int32_t set[2] = {259, 0}, mic[2] = {0, 1};
    ASSERT_EQ(plugin.SetRouting("SERIAL AAAAA", set, reserved, mic, 2), 0);
    EXPECT_EQ(fake.interfaces[0].writes.back(), (std::vector<std::uint8_t>{3, 0, 3, 0x0F, 0x10}))
        << "output 2's pad mask goes back as read when its input is 0";

    const int before = fake.count("read");
    EXPECT_EQ(plugin.GetRouting("SERIAL AAAAA", inputs, reserved, levels, 1), -1);
    EXPECT_EQ(plugin.SetRouting("SERIAL AAAAA", set, reserved, levels, 3), -1);
    EXPECT_EQ(fake.count("read"), before) << "a wrong output count makes no device call";
    EXPECT_EQ(plugin.GetRouting("SERIAL ?????", inputs, reserved, levels, 2), -1);
    EXPECT_EQ(plugin.GetRouting("serial AAAAA", inputs, reserved, levels, 2), -1);
}

TEST_F(Plugin, ADeviceFailureRebuildsTheUnitList) {
    addUnit("/fake/a", "AAAAA");
    CCorvilPlugin plugin(services);
    fake.interfaces[0].standing.clear(); // silent
    std::int32_t inputs[2], reserved[2], levels[2];
    const int finds = fake.count("enum ");
    EXPECT_EQ(plugin.GetRouting("SERIAL AAAAA", inputs, reserved, levels, 2), -1);
    EXPECT_GT(fake.count("enum "), finds) << "enumerated again";
    EXPECT_EQ(plugin.unitCount(), 1);
}

TEST(PluginWithEmulator, RoutesTwoUnitsBoundBySerial) {
    corvil::testing::usePrivateRendezvous();
    corvil::testing::EmulatorProcess emulator({"--serial", "PLG01", "--serial", "PLG02"});
    ASSERT_EQ(emulator.command("route 1 2 6"), "ok");
    ASSERT_EQ(emulator.command("pad 1 2 6 on"), "ok");
    corvhid::VirtualPlatform platform;
    fakes::Surroundings world(platform);
    CCorvilPlugin plugin(world.services);
    ASSERT_EQ(plugin.unitCount(), 2);

    std::int32_t inputs[2], reserved[2], levels[2];
    // Reports queued since the unit was opened all say the same here.
    ASSERT_EQ(plugin.GetRouting("SERIAL PLG02", inputs, reserved, levels, 2), 0);
    EXPECT_EQ(inputs[1], 6);
    EXPECT_EQ(levels[1], 1);
    const std::int32_t set[2] = {4, 6}, line[2] = {1, 0};
    ASSERT_EQ(plugin.SetRouting("SERIAL PLG01", set, reserved, line, 2), 0);
    EXPECT_EQ(emulator.command("state 0").substr(0, 40), "ok input1=4 input2=6 pads1=0x08 pads2=0x");
    EXPECT_TRUE(emulator.command("state 1").find("input2=6 pads1=0x00 pads2=0x20") != std::string::npos);

    ASSERT_EQ(emulator.command("unplug 1"), "ok");
    EXPECT_EQ(plugin.GetRouting("SERIAL PLG02", inputs, reserved, levels, 2), -1);
    EXPECT_EQ(plugin.unitCount(), 1) << "the list was rebuilt without the unplugged unit";
    EXPECT_EQ(plugin.GetRouting("SERIAL PLG01", inputs, reserved, levels, 2), 0);
}

TEST(PluginWithEmulator, ReadsTheNewestSettingsBehindALongQueue) {
    corvil::testing::usePrivateRendezvous();
    // The unit's own reports are rare here: the queue holds what the test sends.
    corvil::testing::EmulatorProcess emulator({"--serial", "PLG01", "--report-period-ms", "60000"});
    corvhid::VirtualPlatform platform;
    fakes::Surroundings world(platform);
    CCorvilPlugin plugin(world.services);
    ASSERT_EQ(emulator.command("route 0 1 7"), "ok"); // reported at once on the plug-in's connection
    std::int32_t inputs[2], reserved[2], levels[2];
    ASSERT_EQ(plugin.GetRouting("SERIAL PLG01", inputs, reserved, levels, 2), 0);
    ASSERT_EQ(inputs[0], 7);
    // More stale reports than one message of the unit carries, then the newest.
    for (int i = 0; i < 50; ++i) ASSERT_EQ(emulator.command("raw 0 03 00 05 00 00"), "ok");
    ASSERT_EQ(emulator.command("raw 0 03 00 06 00 00"), "ok");
    ASSERT_EQ(plugin.GetRouting("SERIAL PLG01", inputs, reserved, levels, 2), 0);
    EXPECT_EQ(inputs[0], 6) << "the newest report, not one from the queue's middle";
}

} // namespace

// The registry store and the persistence of the unit windows' placement.
#include <gtest/gtest.h>

#include <climits>

#include "CCorvilPlugin.h"
#include "CConfig.h"
#include "fake_platform.h"
#include "fakes.h"

using namespace corvil::plugin;
using corvil::plugin::fakes::FakeRegistry;
using corvil::plugin::fakes::RecordingLog;
using Lines = std::vector<std::string>;

namespace {

const std::string kKey = "Software\\Orlo\\FathomLive\\Devices\\TL Corvil";

TEST(ControlRect, ParsingAndMovingOntoTheScreen) {
    EXPECT_EQ(parseControlRect(""), (Rect{-1, -1, -1, -1}));
    EXPECT_EQ(parseControlRect("-20, 10, 300, 110"), (Rect{0, 10, 320, 110}));
    EXPECT_EQ(parseControlRect("5,5"), (Rect{5, 5, -1, -1}));
    EXPECT_EQ(parseControlRect(" 5 ,\t6,,7 , 8, 9"), (Rect{5, 6, 7, 8}));
    EXPECT_EQ(parseControlRect("-1, -1, -1, -1"), (Rect{0, 0, 0, 0}));
    EXPECT_EQ(parseControlRect("a, +4, -0, x"), (Rect{0, 4, 0, 0}));
}

TEST(ControlRect, NumbersBeyondTheCoordinateRangeNeitherWrapNorOverflow) {
    // Out of range, a number takes the nearest end of the range: 2222222222
    // used to come back as a negative left edge and be moved to 0.
    EXPECT_EQ(parseControlRect("2222222222, 5, 99999999999, -99999999999"),
              (Rect{INT32_MAX, 5, INT32_MAX, INT32_MIN}));
    // Moving a far-out edge onto the screen used to overflow the far edge.
    EXPECT_EQ(parseControlRect("-2147483648, -10, 2147483647, 2147483640"), (Rect{0, 0, INT32_MAX, INT32_MAX}));
    EXPECT_EQ(parseControlRect("-5, -2000000000, 10, 2000000000"), (Rect{0, 0, 15, INT32_MAX}));
}

TEST(CConfigStore, ValuesLogLinesAndDefaults) {
    FakeRegistry registry;
    RecordingLog log;
    CConfig config(registry, &RecordingLog::entry);
    config.Init("Devices", "Software\\Orlo\\FathomLive");
    EXPECT_STREQ(config.basePath(), "Software\\Orlo\\FathomLive\\Devices\\");

    char out[256];
    config.GetCfgStr("TL Corvil", "controlrect", "", out, sizeof out);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(config.GetCfgInt("TL Corvil", "controlscrollx", 7), 7);
    config.SetCfgInt("TL Corvil", "controlscrolly", -3);
    EXPECT_EQ(registry.keys[kKey]["controlscrolly"], std::string("-3\0", 3)) << "stored with its NUL";
    EXPECT_EQ(config.GetCfgInt("TL Corvil", "controlscrolly", 0), -3);
    registry.keys[kKey]["controlscrollx"] = std::string("0x10\0", 5);
    EXPECT_EQ(config.GetCfgInt("TL Corvil", "controlscrollx", 0), 16);
    registry.keys[kKey]["controlscrollx"] = std::string("abc\0", 4);
    EXPECT_EQ(config.GetCfgInt("TL Corvil", "controlscrollx", 5), 0);
    registry.keys[kKey]["controlscrollx"] = std::string("010", 3); // no NUL stored
    EXPECT_EQ(config.GetCfgInt("TL Corvil", "controlscrollx", 5), 8);
    registry.keys[kKey]["controlrect"] = std::string(300, '1');
    config.GetCfgStr("TL Corvil", "controlrect", "", out, sizeof out);
    EXPECT_STREQ(out, "") << "a value longer than the buffer reads as the default";
    registry.refuseCreate.insert("Software\\Orlo\\FathomLive\\Devices\\Locked");
    config.SetCfgVal("Locked", "x", "1");
    EXPECT_EQ(registry.openKeys, 0) << "every key opened is closed";

    const Lines expected = {
        "CConfig::Init, base=\"Software\\Orlo\\FathomLive\\Devices\\\"\n",
        "CConfig::GetCfgStr, could not open key \"" + kKey + "\", error=2\n",
        "CConfig::GetCfgStr, could not open key \"" + kKey + "\", error=2\n",
        "CConfig::GetCfgStr, could not get valued for key \"" + kKey + "\", entry=\"controlrect\", error=234\n",
        "CConfig::SetCfgVal, could not open key \"Software\\Orlo\\FathomLive\\Devices\\Locked\", error=5\n",
    };
    EXPECT_EQ(log.lines, expected);
}

TEST(CConfigStore, AnOverlongRootCannotOverrunTheBasePath) {
    FakeRegistry registry;
    RecordingLog log;
    CConfig config(registry, &RecordingLog::entry);
    const std::string root(600, 'r');
    config.Init("Section", root.c_str());
    EXPECT_EQ(std::strlen(config.basePath()), 511u);
}

TEST(CConfigStore, LogLinesCarryTextsAsArgumentsNeverAsFormat) {
    FakeRegistry registry;
    RecordingLog log;
    CConfig config(registry, &RecordingLog::entry);
    config.Init("100%", "Software\\%s%n%d");
    char out[8];
    config.GetCfgStr("TL Corvil", "controlrect", "", out, sizeof out);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0], "CConfig::Init, base=\"Software\\%s%n%d\\100%\\\"\n");
    EXPECT_EQ(log.formats[1], "CConfig::GetCfgStr, could not open key \"%s\", error=%ld\n");
}

TEST(PluginSettings, PlacementSurvivesARun) {
    corvil::plugin::fakes::FakeSurroundings world;
    FakeRegistry &registry = world.registry;
    RecordingLog &log = world.log;
    Services &services = world.services;
    {
        CCorvilPlugin plugin(services);
        plugin.LoadSettings("Software\\Orlo\\FathomLive", "Devices");
        EXPECT_EQ(plugin.savedRect, (Rect{-1, -1, -1, -1})) << "no key yet";
        EXPECT_EQ(log.lines.size(), 4u) << "Init and three open failures";
        plugin.SaveSettings("Software\\Orlo\\FathomLive", "Devices");
        EXPECT_EQ(registry.keys[kKey]["controlrect"], std::string("-1, -1, -1, -1\0", 15));
        plugin.LoadSettings("Software\\Orlo\\FathomLive", "Devices");
        EXPECT_EQ(plugin.savedRect, (Rect{0, 0, 0, 0})) << "still no saved placement";

        plugin.savedRect = Rect{10, 20, 310, 120};
        plugin.savedScrollX = 4;
        plugin.savedScrollY = -2;
        plugin.SaveSettings("Software\\Orlo\\FathomLive", "Devices");
    }
    CCorvilPlugin next(services);
    next.LoadSettings("Software\\Orlo\\FathomLive", "Devices");
    EXPECT_EQ(next.savedRect, (Rect{10, 20, 310, 120}));
    EXPECT_EQ(next.savedScrollX, 4);
    EXPECT_EQ(next.savedScrollY, -2);
}

} // namespace

// The registry store and the stored unit-window rectangle.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "CConfig.h"
#include "fakes.h"

using namespace corvil::plugin;
using namespace corvil::plugin::fakes;
using Lines = std::vector<std::string>;

namespace {

const std::string kKey = "Software\\Orlo\\FathomLive\\Devices\\TL Corvil";

TEST(ControlRect, ParsingAndMovingOntoTheScreen) {
    const std::pair<const char *, Rect> cases[] = {
        {"", {-1, -1, -1, -1}},
        {"-20, 10, 300, 110", {0, 10, 320, 110}}, // moved onto the screen, size kept
        {"5,5", {5, 5, -1, -1}},
        {" 5 ,\t6,,7 , 8, 9", {5, 6, 7, 8}},
        {"-1, -1, -1, -1", {0, 0, 0, 0}},
        {"a, +4, -0, x", {0, 4, 0, 0}},
        // Out of range, a number takes the nearest end of the range (2222222222
        // used to come back as a negative left edge and be moved to 0) ...
        {"2222222222, 5, 99999999999, -99999999999", {INT32_MAX, 5, INT32_MAX, INT32_MIN}},
        // ... and moving a far-out edge onto the screen used to overflow the far edge.
        {"-2147483648, -10, 2147483647, 2147483640", {0, 0, INT32_MAX, INT32_MAX}},
        {"-5, -2000000000, 10, 2000000000", {0, 0, 15, INT32_MAX}},
    };
    for (const auto &[text, rect] : cases) EXPECT_EQ(parseControlRect(text), rect) << text;
}

TEST(CConfigStore, ValuesLogLinesAndDefaults) {
    FakeRegistry registry;
    RecordingLog log;
    CConfig config(registry, &RecordingLog::entry);
    config.Init("Devices", "Software\\Orlo\\FathomLive");

    char out[8];
    config.GetCfgStr("TL Corvil", "controlrect", "", out, sizeof out);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(config.GetCfgInt("TL Corvil", "controlscrollx", 7), 7);
    config.SetCfgInt("TL Corvil", "controlscrolly", -3);
    EXPECT_EQ(registry.keys[kKey]["controlscrolly"], std::string("-3\0", 3)) << "stored with its NUL";
    EXPECT_EQ(config.GetCfgInt("TL Corvil", "controlscrolly", 0), -3);
    for (const auto &[stored, value] : {std::pair{std::string("0x10\0", 5), 16}, {std::string("abc\0", 4), 0}})  {
        registry.keys[kKey]["controlscrollx"] = stored;
        EXPECT_EQ(config.GetCfgInt("TL Corvil", "controlscrollx", 5), value) << stored;
    }
    // Stored bytes without a NUL end within the buffer all the same; a value
    // longer than the buffer reads as the default.
    for (const auto &[stored, text] : {std::pair{"010", "010"}, {"1234567", "1234567"}, {"123456789", ""}}) {
        std::memset(out, '9', sizeof out);
        registry.keys[kKey]["controlrect"] = stored;
        config.GetCfgStr("TL Corvil", "controlrect", "", out, sizeof out);
        EXPECT_STREQ(out, text) << stored;
    }
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

    // The base path is cut to its field; the host's key path is logged as text, never as a format.
    config.Init("Section", std::string(600, 'r').c_str());
    EXPECT_EQ(std::strlen(config.basePath()), 511u);
    config.Init("100%", "Software\\%s%n%d");
    config.GetCfgStr("TL Corvil", "controlrect", "", out, sizeof out);
    EXPECT_EQ(Lines(log.lines.begin() + 6, log.lines.end()),
              (Lines{"CConfig::Init, base=\"Software\\%s%n%d\\100%\\\"\n",
                     "CConfig::GetCfgStr, could not open key \"Software\\%s%n%d\\100%\\TL Corvil\", error=2\n"}));
}

} // namespace

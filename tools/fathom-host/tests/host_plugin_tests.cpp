// fathom-host.exe with the real Corvil.dll under Wine: the plug-in registered
// with regsvr32 and created through its class identifier, driven by scripts
// the way an analyser's user drives it, against units served by
// corvil-emulator. Both programs meet the emulator at this process's private
// rendezvous, which they inherit.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "emulator_process.h"
#include "host_process.h"

using corvil::testing::EmulatorProcess;
using fathom_host::testing::HostProcess;

namespace {

constexpr char kRoot[] = "Software\\Orlo\\FathomHostTest";
constexpr char kSection[] = "100%"; // a "%" the plug-in's log lines keep as text
constexpr char kPluginKey[] = "Software\\Orlo\\FathomHostTest\\100%\\TL Corvil";

// The value of `key` in a result line: a quoted text unquoted, or a word.
std::string field(const std::string &line, const std::string &key) {
    const std::string start = " " + key + "=";
    const auto at = line.find(start);
    if (at == std::string::npos) return "<no " + key + ">";
    std::size_t i = at + start.size();
    std::string value;
    if (i < line.size() && line[i] == '"') {
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            value += line[i];
        }
        return value;
    }
    while (i < line.size() && line[i] != ' ') value += line[i++];
    return value;
}

std::string registryText(const char *key, const char *name) {
    char value[512] = {};
    DWORD size = sizeof value - 1;
    if (::RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "<missing>";
    return value;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::string fmlogPath() { return ::testing::TempDir() + "fathom-host-fmlog.txt"; }

class FathomHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        corvil::testing::usePrivateRendezvous();
        // Without a window manager, Wine's own window frames close promptly.
        HKEY key;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr) == ERROR_SUCCESS) {
            ::RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE *>("N"), 2);
            ::RegCloseKey(key);
        }
        ::SetEnvironmentVariableA("FMLOG_FILE", fmlogPath().c_str());
        // Registered as a user registers it: the host finds it only through the registry.
        // With backslashes: the DLL's own folder is searched for FMLOG.dll only for a path written so.
        std::string dll = CORVIL_DLL_PATH;
        for (char &c : dll)
            if (c == '/') c = '\\';
        const auto registered = corvil::testing::runProgram("regsvr32.exe", {"/s", dll});
        ASSERT_EQ(registered.exitCode, 0) << registered.err;
    }

    void SetUp() override {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kRoot);
        unitsPath_ = ::testing::TempDir() + "fathom-host-units-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        std::remove(unitsPath_.c_str());
    }

    void start(HostProcess &host) {
        ASSERT_TRUE(host.start(FATHOM_HOST_PATH, {"--units", unitsPath_, "--root", kRoot, "--section", kSection}));
        ASSERT_EQ(host.command("create"), "ok");
    }

    void writeUnits(const std::string &text) { std::ofstream(unitsPath_, std::ios::binary) << text; }

    std::string unitsPath_;
};

TEST_F(FathomHost, BindsUnitsBySerialThroughTheConfigurationDialogAndRoutesThem) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({"--serial", "EMU02", "--serial", "EMU01"}));
    {
        HostProcess host;
        start(host);
        ASSERT_EQ(host.command("add"), R"(ok id=1 name="" address="SERIAL ?????")");

        // A new unit gets the first free name proposed and is bound by serial;
        // the serials are offered sorted, unlike discovery.
        const std::string dialog = R"( title="Tolvane Corvil Configuration" proposed=)";
        const std::string offered = R"( offered="?????","EMU01","EMU02")";
        EXPECT_EQ(host.command("configure 1 serial=EMU02"), R"(ok result=0 name="TL Corvil 1" address="SERIAL EMU02")" +
                                                                  dialog + R"("TL Corvil 1" selected="?????")" + offered);

        // The host's other unit holds that name: refused with a message, then cancelled.
        host.command("add");
        EXPECT_EQ(host.command("configure 2 name=\"TL Corvil 1\" serial=EMU01"),
                  R"(ok result=-1 name="" address="SERIAL ?????")" + dialog + R"("TL Corvil 2" selected="?????")" +
                      offered + " refused");
        EXPECT_EQ(host.takeMessages(), std::vector<std::string>{"Invalid unit name."});
        EXPECT_EQ(host.command("units"), R"(ok count=2 1:"TL Corvil 1","SERIAL EMU02" 2:"","SERIAL ?????")");

        EXPECT_EQ(field(host.command("configure 2 name=Desk serial=EMU01"), "result"), "0");
        // Reopened: the unit's own serial is selected, its name kept; a serial
        // the list does not offer is said so and the dialog cancelled.
        EXPECT_EQ(host.command("configure Desk serial=EMU09"), R"(ok result=-1 name="Desk" address="SERIAL EMU01")" +
                                                                   dialog + R"("Desk" selected="EMU01")" + offered +
                                                                   " serial-not-offered");

        // Routing through the host's model: input choice and level per output.
        EXPECT_EQ(host.command("set-routing 1 3 Line 5 Mic"), "ok result=0");
        EXPECT_EQ(emulator.command("state 0"),
                  "ok input1=3 input2=5 pads1=0x04 pads2=0x00 seqinputs1=0x00 seqinputs2=0x00 seqcontrol1=0x00 "
                  "seqcontrol2=0x00 serial=EMU02");
        EXPECT_EQ(emulator.command("pad 0 2 5 on"), "ok");
        EXPECT_EQ(host.command("routing 1"),
                  R"(ok result=0 in1=3 level1=1 in2=5 level2=1 out1="Out 1: In 3 Line" out2="Out 2: In 5 Line")");
        EXPECT_EQ(host.command("set-routing Desk 8 1 0 0"), "ok result=0");
        EXPECT_EQ(host.quit(), 0);
    }
    // The host's units are kept across runs.
    HostProcess again;
    start(again);
    EXPECT_EQ(again.command("units"), R"(ok count=2 1:"TL Corvil 1","SERIAL EMU02" 2:"Desk","SERIAL EMU01")");
    EXPECT_EQ(again.command("routing Desk"),
              R"(ok result=0 in1=8 level1=1 in2=0 level2=0 out1="Out 1: In 8 Line" out2="Out 2: No In")");
    EXPECT_EQ(again.quit(), 0);
}

TEST_F(FathomHost, UnitWindowFollowsTheUnitAndGoesWhenContactIsLost) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({"--serial", "EMU01"}));
    writeUnits("7\tDesk\tSERIAL EMU01\n");
    ASSERT_EQ(emulator.command("route 0 1 2"), "ok");
    HostProcess host;
    start(host);
    EXPECT_EQ(host.command("open Desk"), "ok result=0");
    EXPECT_EQ(host.command("info 7"), R"(ok result=0 address="SERIAL EMU01" name="Desk")");
    std::string s = host.command("show Desk");
    EXPECT_EQ(s.substr(0, s.find(" rect=")),
              R"(ok visible=1 title="Desk" in1=2 level1=Mic enabled1=1 in2=0 level2=- enabled2=0)");

    // A front-panel change shows with the next poll: one Tick of 500 ms ...
    ASSERT_EQ(emulator.command("route 0 1 6"), "ok");
    EXPECT_EQ(host.command("tick 500"), "ok result=0");
    EXPECT_EQ(field(host.command("show Desk"), "in1"), "6");
    // ... and with the host's own timer running.
    ASSERT_EQ(emulator.command("route 0 2 4"), "ok");
    s = host.command("wait 1500");
    EXPECT_GE(std::stoi(field(s, "reported")), 500) << s;
    EXPECT_EQ(field(host.command("show Desk"), "in2"), "4");

    // The user's clicks reach the unit.
    EXPECT_EQ(host.command("click Desk 1 5"), "ok");
    EXPECT_EQ(field(emulator.command("state 0"), "input1"), "5");
    EXPECT_EQ(host.command("level Desk 2 Line"), "ok");
    EXPECT_EQ(field(emulator.command("state 0"), "pads2"), "0x08");
    s = host.command("show Desk");
    EXPECT_EQ(field(s, "in1"), "5") << s;
    EXPECT_EQ(field(s, "level2"), "Line") << s;

    // Its system menu: About, and Configure through the host.
    EXPECT_EQ(host.command("menu Desk about"),
              R"(ok title="About Orlo Fathom DLL For Tolvane Corvil" version="DLL Version 5.0.3" product="Tolvane Corvil")");
    s = host.command("menu Desk configure name=Studio");
    EXPECT_EQ(field(s, "result"), "0") << s;
    EXPECT_EQ(field(s, "proposed"), "Desk") << s;
    EXPECT_EQ(field(host.command("show Studio"), "title"), "Studio");
    EXPECT_EQ(host.command("info 7"), R"(ok result=0 address="SERIAL EMU01" name="Studio")");

    ::CreateDirectoryA(SCREENSHOT_DIR, nullptr);
    const std::string hostShot = std::string(SCREENSHOT_DIR) + "/fathom-host-main.bmp";
    const std::string unitShot = std::string(SCREENSHOT_DIR) + "/fathom-host-unit-window.bmp";
    for (const auto &[window, shot] : {std::pair{"host", hostShot}, {"Studio", unitShot}}) {
        EXPECT_EQ(host.command(std::string("shot ") + window + " \"" + shot + "\""), "ok file=\"" + shot + "\"");
        const std::string bytes = readFile(shot);
        EXPECT_GT(bytes.size(), 54u + 3 * 100 * 40) << shot;
        EXPECT_EQ(bytes.substr(0, 2), "BM") << shot;
    }

    // Unplugged: the next poll reports it through the host, and the window goes.
    ASSERT_EQ(emulator.command("unplug 0"), "ok");
    EXPECT_EQ(host.command("tick 500"), "ok result=0");
    EXPECT_EQ(host.takeMessages(), std::vector<std::string>{"Contact was lost with unit Studio."});
    EXPECT_EQ(host.command("tick 500"), "ok result=0");
    EXPECT_EQ(host.command("windows"), "ok count=0");
    EXPECT_EQ(host.command("info 7"), "ok result=-1");
    // Opened while unplugged: the first read already finds the contact lost.
    EXPECT_EQ(host.command("open Studio"), "ok result=0");
    EXPECT_EQ(host.takeMessages(), std::vector<std::string>{"Contact was lost with unit Studio."});
    EXPECT_EQ(host.command("tick 500"), "ok result=0");
    EXPECT_EQ(host.command("windows"), "ok count=0");

    // Plugged in again: the window opens as before.
    ASSERT_EQ(emulator.command("plug 0"), "ok");
    EXPECT_EQ(host.command("open Studio"), "ok result=0");
    s = host.command("show Studio");
    EXPECT_EQ(field(s, "visible"), "1") << s;
    EXPECT_EQ(field(s, "in1"), "5") << s;

    // Escape, through the host's plain message loop: hidden at once, gone at the next poll.
    EXPECT_EQ(host.command("key Studio escape"), "ok");
    EXPECT_EQ(host.command("windows"), R"(ok count=1 "Studio":hidden)");
    EXPECT_EQ(host.command("tick 500"), "ok result=0");
    EXPECT_EQ(host.command("windows"), "ok count=0");
    EXPECT_TRUE(host.takeMessages().empty());
    EXPECT_EQ(host.quit(), 0);
}

TEST_F(FathomHost, UnitWindowPlacementAndScrollingComeBackInTheNextRun) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({"--serial", "EMU01"}));
    writeUnits("1\tDesk\tSERIAL EMU01\n");
    std::remove(fmlogPath().c_str());
    std::string rect, scroll;
    {
        HostProcess host;
        start(host);
        EXPECT_EQ(host.command("open Desk"), "ok result=0");
        // Made smaller than its content, and scrolled.
        EXPECT_EQ(host.command("move Desk 100 120 150 70"), "ok rect=100,120,250,190");
        std::string s = host.command("scroll Desk h 3");
        scroll = field(s, "scroll");
        EXPECT_NE(scroll.substr(0, 2), "0,") << s;
        s = host.command("show Desk");
        rect = field(s, "rect");
        EXPECT_EQ(rect, "100,120,250,190") << s;
        EXPECT_EQ(field(s, "scroll"), scroll) << s;
        EXPECT_EQ(host.quit(), 0); // the window closed, the settings saved
    }
    // Saved under the host's key path.
    EXPECT_EQ(registryText(kPluginKey, "controlrect"), "100, 120, 250, 190");
    EXPECT_EQ(registryText(kPluginKey, "controlscrollx"), scroll.substr(0, scroll.find(',')));

    HostProcess host;
    start(host);
    EXPECT_EQ(host.command("open Desk"), "ok result=0");
    const std::string s = host.command("show Desk");
    EXPECT_EQ(field(s, "rect"), rect) << s;
    EXPECT_EQ(field(s, "scroll"), scroll) << s;
    EXPECT_EQ(host.quit(), 0);

    // The plug-in's log lines reach the host's FMLOG.dll at level 128, the key path as text.
    const std::string log = readFile(fmlogPath());
    EXPECT_NE(log.find("[128] CConfig::Init, base=\"Software\\Orlo\\FathomHostTest\\100%\\\""), std::string::npos)
        << log;
}

// As installed under Program Files, where it may not write beside itself:
// its units and the stand-in FMLOG.dll's log are kept in the user's
// application data.
TEST_F(FathomHost, KeepsItsUnitsAndTheStandInLogInTheUsersApplicationData) {
    char appData[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData)));
    const std::string folder = std::string(appData) + "\\Tolvane\\fathom-host\\";
    std::string program = FATHOM_HOST_PATH;
    program.erase(program.find_last_of("\\/") + 1);
    for (const std::string &file : {folder + "units.txt", folder + "FMLOG.log", program + "FMLOG.log"})
        std::remove(file.c_str());
    ::SetEnvironmentVariableA("FMLOG_FILE", nullptr);
    {
        HostProcess host;
        ASSERT_TRUE(host.start(FATHOM_HOST_PATH, {"--root", kRoot, "--section", kSection}));
        EXPECT_EQ(host.command("create"), "ok");
        EXPECT_NE(host.command("add Desk").find("name=\"Desk\""), std::string::npos);
        EXPECT_EQ(host.quit(), 0);
    }
    ::SetEnvironmentVariableA("FMLOG_FILE", fmlogPath().c_str());
    EXPECT_NE(readFile(folder + "units.txt").find("\tDesk\t"), std::string::npos);
    EXPECT_NE(readFile(folder + "FMLOG.log").find("[128] CConfig::Init"), std::string::npos);
    EXPECT_EQ(readFile(program + "FMLOG.log"), "") << "a log beside the program";
}

} // namespace

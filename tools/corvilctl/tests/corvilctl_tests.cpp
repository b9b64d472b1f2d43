// corvilctl's commands, output and exit codes against emulated units.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <regex>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/stat.h>
#include <unistd.h>

#include "sysfs_tree.h"
#endif

#include "corvhid.h"
#include "emulator_process.h"

using corvil::testing::EmulatorProcess;
using corvil::testing::RunResult;

namespace {

RunResult ctl(const std::vector<std::string> &args) { return corvil::testing::runProgram(CORVILCTL_PATH, args); }

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

class Corvilctl : public ::testing::Test {
protected:
    void SetUp() override { corvil::testing::usePrivateRendezvous(); }
};

TEST_F(Corvilctl, NoUnitAndBadArguments) {
    RunResult r = ctl({"show"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_PRED2(contains, r.err, "no Corvil unit found (Corvil not detected!)");
    EXPECT_PRED2(contains, r.err, "corvil-emulator");

    using Args = std::vector<std::string>;
    std::vector<Args> bad = {{}, {"fly"}, {"route", "3", "1"}, {"route", "1", "9"}, {"pad", "1", "0", "on"},
                             {"pad", "1", "1", "up"}, {"seq", "1"}, {"seq", "1", "--inputs", "1,9"},
                             {"serial", "--set", "TOOLONG"}, {"--unit", "x", "show"}, {"show", "--yaml"},
                             {"--unit", "0", "--serial", "AAAAA", "show"}, {"watch", "--changes", "0"},
                             {"--unit", "0", "list"}, {"--serial", "AAAAA", "list", "--all"},
                             {"route", "1", "2", "--json"}, {"serial", "--set", "ABCDE", "--json"},
                             {"show", "--serial", "AAA01"}};
    // Only plain decimals of a whole number of half seconds reach the interval code.
    for (const char *interval : {"0.7", "1e0", "0x1p1", " 1", "1 ", "+1", "nan", "inf", "1.", ".5", "2.25", "9.5", "0"})
        bad.push_back({"seq", "1", "--interval", interval});
    // One line naming the problem, and where to look.
    const std::regex usage("corvilctl: [^\n]+\nTry 'corvilctl --help' for more information\\.\n");
    for (const Args &args : bad) {
        r = ctl(args);
        EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_TRUE(std::regex_match(r.err, usage)) << r.err;
    }
    EXPECT_PRED2(contains, ctl({"--bogus", "show"}).err, "unknown option '--bogus'");
    EXPECT_PRED2(contains, ctl({"fly"}).err, "unknown command 'fly'");
    EXPECT_PRED2(contains, ctl({"show", "--serial", "AAA01"}).err,
                 "--serial chooses the unit for every command, so it goes before the command: "
                 "corvilctl --serial AAA01 show");
}

TEST_F(Corvilctl, ListShowAndSelection) {
    EmulatorProcess emulator({"--serial", "AAA01", "--serial", "BBB02"});
    ASSERT_EQ(emulator.command("route 1 1 3"), "ok");
    ASSERT_EQ(emulator.command("pad 1 1 3 on"), "ok");
    ASSERT_EQ(emulator.command("seq-inputs 1 2 0x05"), "ok");
    ASSERT_EQ(emulator.command("seq-interval 1 2 4"), "ok");
    ASSERT_EQ(emulator.command("seq 1 2 on"), "ok");

    // Number, serial and the platform path of each unit.
    RunResult r = ctl({"list"});
    EXPECT_TRUE(r.exitCode == 0 && std::regex_match(r.out, std::regex("0  AAA01  [^\n]+\n1  BBB02  [^\n]+-001\n")))
        << r.exitCode << ": " << r.out << r.err;

    r = ctl({"--serial", "BBB02", "show"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Unit 1, serial BBB02\n"
                     "Output 1: input 3 (35 dB pad in)\n"
                     "  pads in on inputs: 3\n"
                     "  auto-sequencing: off, interval disabled, inputs: none\n"
                     "Output 2: no input\n"
                     "  pads in on inputs: none\n"
                     "  auto-sequencing: on, interval 2.0 s, inputs: 1,3\n");

    r = ctl({"--unit", "1", "show", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "{\"unit\":1,\"serial\":\"BBB02\",\"outputs\":["
                     "{\"output\":1,\"input\":3,\"padMask\":4,\"pads\":[3],\"autoSequencing\":{\"on\":false,"
                     "\"intervalCode\":0,\"intervalSeconds\":0.0,\"inputMask\":0,\"inputs\":[]}},"
                     "{\"output\":2,\"input\":0,\"padMask\":0,\"pads\":[],\"autoSequencing\":{\"on\":true,"
                     "\"intervalCode\":4,\"intervalSeconds\":2.0,\"inputMask\":5,\"inputs\":[1,3]}}]}\n");

    r = ctl({"--unit", "2", "show"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_PRED2(contains, r.err, "there is no unit 2");
    r = ctl({"--serial", "ZZZ99", "show"});
    EXPECT_EQ(r.exitCode, 3);

    // The reading commands as JSON.
    r = ctl({"list", "--json"});
    EXPECT_TRUE(std::regex_match(r.out, std::regex("\\{\"units\":\\[\\{\"unit\":0,\"serial\":\"AAA01\",\"path\":\"[^\"]+\"\\},"
                                                   "\\{\"unit\":1,\"serial\":\"BBB02\",\"path\":\"[^\"]+-001\"\\}\\]\\}\n")))
        << r.out;

    // A host may write any byte into a serial number: it is shown whole.
    short number = -1;
    ASSERT_EQ(FindFirstCorvil(&number), -1);
    ASSERT_EQ(FindNextCorvil(&number), -1);
    ASSERT_EQ(WriteCorvilSerialNumberA(number, "B\0\x7f 2"), -1);
    DoneFindingCorvils();
    CleanupCorvil();
    r = ctl({"list"});
    EXPECT_PRED2(contains, r.out, "\n1  B\\x00\\x7f\\x202  ");
    EXPECT_EQ(ctl({"--unit", "1", "serial"}).out, "B\\x00\\x7f\\x202\n");
    EXPECT_EQ(ctl({"--unit", "1", "serial", "--json"}).out, "{\"unit\":1,\"serial\":\"B\\u0000\\u007f 2\"}\n");
}

TEST_F(Corvilctl, ChangesReachTheUnitKeepWhatTheyDoNotTouchAndFailuresGiveTheLibrarysText) {
    EmulatorProcess emulator({"--serial", "AAA01", "--serial", "BBB02"});
    ASSERT_EQ(emulator.command("route 1 1 6"), "ok");
    ASSERT_EQ(emulator.command("pad 1 2 8 on"), "ok");

    EXPECT_EQ(ctl({"--serial", "BBB02", "route", "2", "5"}).exitCode, 0);
    EXPECT_EQ(emulator.command("outputs 1"), "ok count=1 last=03 05 ff 80 00");
    EXPECT_EQ(ctl({"--unit", "1", "pad", "1", "3", "on"}).exitCode, 0);
    EXPECT_EQ(ctl({"--unit", "1", "seq", "1", "--inputs", "1,3", "--interval", "2.0", "on"}).exitCode, 0);
    EXPECT_EQ(emulator.command("state 1"), "ok input1=6 input2=5 pads1=0x04 pads2=0x80 seqinputs1=0x05 "
                                           "seqinputs2=0x00 seqcontrol1=0x84 seqcontrol2=0x00 serial=BBB02");
    RunResult r = ctl({"--unit", "1", "seq", "1", "off"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_PRED2(contains, emulator.command("state 1"), "seqinputs1=0x05 seqinputs2=0x00 seqcontrol1=0x04");
    // A channel without inputs goes out off, as the switcher sends it; so does
    // the other channel's unit-reported on bit with an empty mask.
    ASSERT_EQ(emulator.command("seq 1 2 on"), "ok");
    r = ctl({"--unit", "1", "seq", "1", "--inputs", "none", "--interval", "9.0", "on"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_PRED2(contains, r.err, "output 1 includes no input");
    EXPECT_EQ(emulator.command("outputs 1"), "ok count=5 last=04 00 00 00 12");
    EXPECT_PRED2(contains, emulator.command("state 0"), "input1=0 input2=0 pads1=0x00") << "unit 0 untouched";

    EXPECT_EQ(ctl({"serial", "--set", "NEW01"}).exitCode, 0);
    EXPECT_PRED2(contains, emulator.command("state 0"), "serial=NEW01");

    // A unit that fails: the library's own text.
    ASSERT_EQ(emulator.command("silence 0 on"), "ok");
    r = ctl({"show"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "corvilctl: could not read the settings: Corvil not responding.\n");
}

TEST_F(Corvilctl, WatchPrintsEachChange) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({}));
    // One watcher at a time, the unit changed until it has seen two changes.
    auto watch = [&](std::vector<std::string> args) {
        std::atomic<bool> done{false};
        RunResult result;
        std::thread watcher([&] {
            result = ctl(args);
            done = true;
        });
        for (int i = 0; i < 600 && !done; ++i) {
            emulator.command(i % 2 ? "route 0 1 1" : "route 0 1 2");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!done) emulator.command("unplug 0"); // ends a stuck watcher
        watcher.join();
        return result;
    };
    RunResult r = watch({"watch", "--changes", "2"});
    const RunResult json = watch({"watch", "--json", "--changes", "2"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::regex_match(json.out, std::regex("\\{\"record\":\"settings\",\"input1\":[0-2],\"input2\":0,\"padMask1\":0,"
                                                      "\"padMask2\":0\\}\n\\{\"record\":\"autoSequencing\",\"inputMask1\":0,"
                                                      "\"inputMask2\":0,\"control1\":0,\"control2\":0\\}\n"
                                                      "(\\{\"record\":\"settings\",\"input1\":[12],[^\n]*\n){2}")))
        << json.exitCode << ": " << json.out << json.err;
    // The state as first read, then the two changes: each line printed is a
    // change, so no input repeats the one before it.
    const std::string rest = " input2=0 pads1=0x00 pads2=0x00\n";
    EXPECT_TRUE(std::regex_match(r.out, std::regex("settings: input1=([0-2])" + rest +
                                                   "auto-sequencing: inputs1=0x00 inputs2=0x00 control1=0x00 control2=0x00\n"
                                                   "settings: input1=(?!\\1)([12])" + rest + "settings: input1=(?!\\2)[12]" + rest)))
        << r.out;

    // Raw: each report with its time and its bytes as they travel, channel 2 first.
    ASSERT_EQ(emulator.command("route 0 1 3"), "ok");
    ASSERT_EQ(emulator.command("pad 0 2 5 on"), "ok");
    r = ctl({"watch", "--raw", "--count", "4"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::regex_match(r.out, std::regex("( +[0-9]+\\.[0-9]{3}  0[34]( [0-9a-f]{2}){4}\n){4}"))) << r.out;
    EXPECT_PRED2(contains, r.out, "  03 00 03 10 00\n");
    r = ctl({"watch", "--raw", "--json", "--count", "4"});
    EXPECT_TRUE(std::regex_match(r.out, std::regex("(\\{\"seconds\":[0-9]+\\.[0-9]{3},\"report\":\\[[34](,[0-9]+){4}\\]\\}\n){4}")))
        << r.out;
    EXPECT_PRED2(contains, r.out, "\"report\":[3,0,3,16,0]}\n");
}

#if defined(__linux__)
// A machine with a mouse, an old Corvil and two current ones, one of which
// this user may not open: what `list --all`, `show` and `doctor` tell.
TEST_F(Corvilctl, DiagnosticsSayWhyEachInterfaceIsPassedOver) {
    corvil::testing::SysfsTree tree;
    tree.add("hidraw0", "0003:0000046D:0000C52B", "1201");
    tree.add("hidraw1", "0003:00001049:00000001", "00ff");
    tree.add("hidraw2", "0003:00001049:00000001", "0100");
    tree.add("hidraw3", "0003:00001049:00000001", "0100");
    ::setenv("CORVILCTL_SYSFS_ROOT", tree.sys().c_str(), 1);
    ::setenv("CORVILCTL_DEV_ROOT", tree.dev().c_str(), 1);
    const std::string locked = tree.dev() + "/hidraw2", open = tree.dev() + "/hidraw3";
    ::chmod(open.c_str(), 0666);
    // Root opens anything: the commands then run as an ordinary user.
    const bool root = ::geteuid() == 0;
    ::chmod(locked.c_str(), root ? 0600 : 0);
    auto asUser = [&](std::vector<std::string> args) {
        if (!root) return ctl(args);
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", CORVILCTL_PATH});
        return corvil::testing::runProgram("/usr/bin/setpriv", args);
    };

    // No udev rule installed yet: the advice is to install it.
    const std::string rules = tree.sys() + "/../rules", ruleDir = rules + "/usr/lib/udev/rules.d";
    ::setenv("CORVILCTL_RULES_ROOT", rules.c_str(), 1);
    RunResult r = asUser({"list", "--all"});
    EXPECT_EQ(r.exitCode, 0) << r.err; // another vendor's interface: in the JSON below
    EXPECT_PRED2(contains, r.out, tree.dev() + "/hidraw1  1049:0001 version 0x00ff  passed over: a Corvil whose version");
    EXPECT_PRED2(contains, r.out, locked + "  1049:0001 version 0x0100  passed over: a Corvil this user may not open "
                                           "(permission denied): no udev rule 70-corvil.rules is installed: install "
                                           "the package libcorvhid1");
    EXPECT_PRED2(contains, r.out, open + "  1049:0001 version 0x0100  a Corvil this user may open\n");
    EXPECT_PRED2(contains, asUser({"doctor"}).out, "problem: only root may open a unit: no udev rule");

    // The rule installed (by the package): the unit was attached before it, so
    // plugging it in again is the way; nothing tells the user to copy the rule.
    std::filesystem::create_directories(ruleDir);
    std::ofstream(ruleDir + "/70-corvil.rules") << "# the rule\n";
    r = asUser({"list", "--all"});
    EXPECT_PRED2(contains, r.out, locked + "  1049:0001 version 0x0100  passed over: a Corvil this user may not open "
                                           "(permission denied): the udev rule " + ruleDir + "/70-corvil.rules gives "
                                           "the unit to the user logged in at the machine's seat: plug the unit in again");
    EXPECT_PRED2(contains, r.out, "SCRIPTS AND SERVICES");
    EXPECT_FALSE(contains(r.out, "sudo cp") || contains(r.out, "copy")) << r.out;

    r = asUser({"show"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_PRED2(contains, r.err, locked + " is a Corvil this user may not open");

    r = asUser({"doctor"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_PRED2(contains, r.out, "problem: " + locked + ": a Corvil this user may not open");
    EXPECT_PRED2(contains, r.out, "ok: " + open + ": a Corvil this user may open");
    EXPECT_PRED2(contains, r.out, "ok: udev rule: " + ruleDir + "/70-corvil.rules\n");
    EXPECT_PRED2(contains, r.out, "rendezvous");
    r = asUser({"doctor", "--json"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_PRED2(contains, r.out, "{\"level\":\"problem\",\"text\":\"" + locked + ": a Corvil this user may not open");
    EXPECT_TRUE(r.out.rfind("{\"checks\":[{\"level\":\"ok\",\"text\":\"udev rule: ", 0) == 0) << r.out;
    r = asUser({"list", "--all", "--json"});
    EXPECT_PRED2(contains, r.out, "{\"units\":[],\"interfaces\":[{\"path\":\"" + tree.dev() + "/hidraw0\",\"ids\":\"046d:c52b "
                                  "version 0x1201\",\"corvil\":false,\"usable\":false,\"reason\":\"another vendor");
    EXPECT_PRED2(contains, r.out, "{\"path\":\"" + open + "\",\"ids\":\"1049:0001 version 0x0100\",\"corvil\":true,"
                                  "\"usable\":true,\"reason\":\"a Corvil this user may open\"}]}\n");
    ::unsetenv("CORVILCTL_SYSFS_ROOT");
    ::unsetenv("CORVILCTL_DEV_ROOT");
    ::unsetenv("CORVILCTL_RULES_ROOT");
}
#endif

} // namespace

// The shared library's exports end to end against units served by
// corvil-emulator through the virtual transport.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "corvhid.h"
#include "emulator_process.h"
#include "process_resources.h"

using corvil::testing::EmulatorProcess;

namespace {

std::string lastError() {
    char text[132] = {};
    GetCorvilErrStringA(text);
    return text;
}

std::vector<short> discoverAll() {
    std::vector<short> units;
    short unit = -1;
    for (short found = FindFirstCorvil(&unit); found; found = FindNextCorvil(&unit)) units.push_back(unit);
    DoneFindingCorvils();
    return units;
}

struct Settings {
    unsigned char in1 = 0, in2 = 0, pads1 = 0, pads2 = 0;
};

// Reads settings reports until `accept` is satisfied (reports already queued
// may predate the change being waited for); gives the last one read.
bool readUntil(short unit, Settings &s, const std::function<bool(const Settings &)> &accept, int reports = 200) {
    for (int i = 0; i < reports; ++i) {
        if (ReadCorvilSettings(unit, &s.in1, &s.in2, &s.pads1, &s.pads2) && accept(s)) return true;
    }
    return false;
}

class EmulatedUnits : public ::testing::Test {
protected:
    void SetUp() override { corvil::testing::usePrivateRendezvous(); }
    void TearDown() override { CleanupCorvil(); }
};

TEST_F(EmulatedUnits, UnitsAreNumberedInSerialOrder) {
    EmulatorProcess emulator({"--serial", "AAA01", "--serial", "BBB02", "--serial", "CCC03"});
    ASSERT_TRUE(emulator.running());
    std::vector<short> units = discoverAll();
    ASSERT_EQ(units, (std::vector<short>{0, 1, 2}));
    EXPECT_EQ(lastError(), "Corvil not detected!");
    const char *expected[] = {"AAA01", "BBB02", "CCC03"};
    for (short u : units) {
        char serial[6] = {};
        ASSERT_EQ(ReadCorvilSerialNumberA(u, serial), -1);
        EXPECT_STREQ(serial, expected[u]);
    }
    CleanupCorvil();
    EXPECT_EQ(lastError(), "");

    // Two units; a third call answers "not detected".
    EmulatorProcess second({"--serial", "DDD04"});
    emulator.stop();
    EXPECT_EQ(discoverAll(), (std::vector<short>{0}));
}

TEST_F(EmulatedUnits, SettingsRoundTripWithChannelTwoFirstOnTheWire) {
    EmulatorProcess emulator({"--report-period-ms", "10"});
    ASSERT_EQ(discoverAll().size(), 1u);

    ASSERT_EQ(WriteCorvilSettings(0, 3, 255, 0x05, 0x80), -1);
    EXPECT_EQ(lastError(), "Corvil connected.");
    Settings s;
    ASSERT_TRUE(readUntil(0, s, [](const Settings &r) { return r.in1 == 3; }));
    EXPECT_EQ(s.in2, 0) << "255 left channel 2 alone";
    EXPECT_EQ(s.pads1, 0x05);
    EXPECT_EQ(s.pads2, 0x80);
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=1 last=03 ff 03 80 05");
    EXPECT_EQ(emulator.command("state 0"),
              "ok input1=3 input2=0 pads1=0x05 pads2=0x80 seqinputs1=0x00 seqinputs2=0x00 "
              "seqcontrol1=0x00 seqcontrol2=0x00 serial=EMU01");

    ASSERT_EQ(WriteCorvilSettings(0, 255, 255, 0x00, 0x01), -1);
    ASSERT_TRUE(readUntil(0, s, [](const Settings &r) { return r.pads2 == 0x01; }));
    EXPECT_EQ(s.in1, 3) << "255 in both bytes sends only the pads";
}

TEST_F(EmulatedUnits, AutoSequencingRoundTripAndStepping) {
    EmulatorProcess emulator({"--report-period-ms", "10"});
    ASSERT_EQ(discoverAll().size(), 1u);
    // Channel 2 steps through inputs 2 and 4 every 0.5 s; channel 1 is set but off.
    ASSERT_EQ(WriteCorvilAutoSequencingParameters(0, 0x81, 0x0A, 0x04, 0x81), -1);
    // A busy machine may run the command before the unit has taken the report in.
    std::string outputs;
    for (int i = 0; i < 200 && (outputs = emulator.command("outputs 0")) == "ok count=0 last=-"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(outputs, "ok count=1 last=04 0a 81 81 04");

    unsigned char q[4] = {};
    bool seen = false;
    for (int i = 0; i < 50 && !seen; ++i)
        seen = ReadCorvilAutoSequencingParameters(0, &q[0], &q[1], &q[2], &q[3]) && q[3] == 0x81;
    ASSERT_TRUE(seen);
    EXPECT_EQ(q[0], 0x81);
    EXPECT_EQ(q[1], 0x0A);
    EXPECT_EQ(q[2], 0x04);

    // The unit steps channel 2 to input 2, then 4, then wraps to 2.
    std::vector<int> steps;
    Settings s;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (steps.size() < 3 && std::chrono::steady_clock::now() < deadline) {
        if (ReadCorvilSettings(0, &s.in1, &s.in2, &s.pads1, &s.pads2) && (steps.empty() || steps.back() != s.in2))
            steps.push_back(s.in2);
    }
    ASSERT_GE(steps.size(), 3u);
    // The first value may be the one from before sequencing began.
    if (steps[0] == 0) steps.erase(steps.begin());
    EXPECT_EQ(steps[0], 2);
    EXPECT_EQ(steps[1], 4);
    EXPECT_EQ(s.in1, 0) << "channel 1 is not stepped while its bit 7 is clear";
}

TEST_F(EmulatedUnits, FrontPanelChangesAreSeenByReads) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({}));
    ASSERT_EQ(discoverAll().size(), 1u);
    EXPECT_EQ(emulator.command("route 0 2 7"), "ok");
    EXPECT_EQ(emulator.command("pad 0 2 7 on"), "ok");
    Settings s;
    ASSERT_TRUE(readUntil(0, s, [](const Settings &r) { return r.in2 == 7 && r.pads2 == 0x40; }));
    EXPECT_EQ(emulator.command("seq-inputs 0 1 0x81"), "ok");
    EXPECT_EQ(emulator.command("seq-interval 0 1 18"), "ok");
    unsigned char v[8] = {};
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i)
        seen = ReadCorvilAllSettings(0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]) && v[4] == 0x81 &&
               v[6] == 18;
    EXPECT_TRUE(seen);
}

TEST_F(EmulatedUnits, UnplugFailsAtOnceAndReplugIsFoundAgain) {
    EmulatorProcess emulator({"--serial", "PLUG1"});
    ASSERT_EQ(discoverAll().size(), 1u);
    Settings s;
    ASSERT_TRUE(readUntil(0, s, [](const Settings &) { return true; }));
    ASSERT_EQ(lastError(), "Corvil connected.");

    EXPECT_EQ(emulator.command("unplug 0"), "ok");
    EXPECT_EQ(ReadCorvilSettings(0, &s.in1, &s.in2, &s.pads1, &s.pads2), 0);
    EXPECT_EQ(WriteCorvilSettings(0, 1, 1, 0, 0), 0);
    char serial[6];
    EXPECT_EQ(ReadCorvilSerialNumberA(0, serial), 0);
    CleanupCorvil();
    EXPECT_TRUE(discoverAll().empty());
    EXPECT_EQ(lastError(), "Corvil not detected!");
    CleanupCorvil();

    EXPECT_EQ(emulator.command("plug 0"), "ok");
    ASSERT_EQ(discoverAll().size(), 1u);
    ASSERT_EQ(ReadCorvilSerialNumberA(0, serial), -1);
    EXPECT_STREQ(serial, "PLUG1");
    EXPECT_TRUE(readUntil(0, s, [](const Settings &) { return true; }));
}

// A user's day of plugging and unplugging: whatever one reconnection costs
// is given back, or a thousand of them would show it.
TEST_F(EmulatedUnits, AThousandReconnectionsHoldNoMoreThanOne) {
    using corvil::testing::ProcessResources;
    EmulatorProcess emulator({"--serial", "PLUG1"});
    ProcessResources first;
    constexpr int kCycles = 1000;
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        short unit = -1;
        ASSERT_EQ(FindFirstCorvil(&unit), -1) << "cycle " << cycle << ": " << lastError();
        DoneFindingCorvils();
        char serial[6] = {};
        ASSERT_EQ(ReadCorvilSerialNumberA(0, serial), -1) << "cycle " << cycle;
        ASSERT_EQ(WriteCorvilSettings(0, 1 + cycle % 8, 1, 0, 0), -1) << "cycle " << cycle;
        ASSERT_EQ(emulator.command("unplug 0"), "ok");
        ASSERT_EQ(WriteCorvilSettings(0, 1, 1, 0, 0), 0) << "cycle " << cycle;
        ASSERT_EQ(emulator.command("plug 0"), "ok");
        CleanupCorvil();
        if (cycle == 1) first = ProcessResources::now();
    }
    const ProcessResources last = ProcessResources::now();
    EXPECT_EQ(last.descriptors, first.descriptors) << first.describe() << " -> " << last.describe();
    EXPECT_EQ(last.threads, first.threads);
    // Room for the allocator's own bookkeeping, far below 1000 lost records.
    EXPECT_LE(last.heap, first.heap + 16 * 1024) << first.describe() << " -> " << last.describe();
}

TEST_F(EmulatedUnits, StaleEntryOfAGoneEmulatorIsSkipped) {
    EmulatorProcess gone({"--serial", "GONE1"});
    gone.kill();
    EmulatorProcess live({"--serial", "LIVE1"});
    ASSERT_EQ(discoverAll(), (std::vector<short>{0}));
    char serial[6] = {};
    ASSERT_EQ(ReadCorvilSerialNumberA(0, serial), -1);
    EXPECT_STREQ(serial, "LIVE1");
}

TEST_F(EmulatedUnits, SilentUnitIsNotRespondingAndRawReportsWithOtherIdsAreSkipped) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({}));
    ASSERT_EQ(discoverAll().size(), 1u);
    EXPECT_EQ(emulator.command("silence 0 on"), "ok");
    // Reports sent before the silence may still be queued: drain them.
    Settings s;
    const auto started = std::chrono::steady_clock::now();
    while (ReadCorvilSettings(0, &s.in1, &s.in2, &s.pads1, &s.pads2)) {
    }
    EXPECT_EQ(lastError(), "Corvil not responding.");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));

    // Each attempt waits 50 ms: the bounds tell it from 5 or 500 ms on a busy
    // machine.
    auto took = [](auto &&read) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(read(), 0);
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    };
    const auto ten = took([&] { return ReadCorvilSettings(0, &s.in1, &s.in2, &s.pads1, &s.pads2); });
    EXPECT_GE(ten, 10 * 45);
    EXPECT_LE(ten, 2500);
    unsigned char all[8] = {};
    const auto three = took([&] {
        return ReadCorvilAllSettings(0, &all[0], &all[1], &all[2], &all[3], &all[4], &all[5], &all[6], &all[7]);
    });
    EXPECT_GE(three, 3 * 45);
    EXPECT_LE(three, 900);

    EXPECT_EQ(emulator.command("raw 0 07 01 02 03 04"), "ok");
    EXPECT_EQ(emulator.command("raw 0 03 01 02 30 40"), "ok");
    ASSERT_EQ(ReadCorvilSettings(0, &s.in1, &s.in2, &s.pads1, &s.pads2), -1);
    EXPECT_EQ(s.in1, 2);
    EXPECT_EQ(s.in2, 1);
    EXPECT_EQ(s.pads1, 0x40);

    EXPECT_EQ(emulator.command("raw 0 07 09 09 09 09"), "ok");
    unsigned char v[8] = {};
    EXPECT_EQ(ReadCorvilAllSettings(0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]), 0);
    EXPECT_EQ(lastError(), "Corvil not responding.");
    EXPECT_EQ(std::vector<unsigned char>(v, v + 8), std::vector<unsigned char>(8, 0));
}

// A unit that takes nothing more: writes go into the connection's buffer
// until it is full, then one waits its 50 ms, is not sent, and is not
// tried again.
TEST_F(EmulatedUnits, AWriteTheUnitDoesNotTakeWaitsFiftyMilliseconds) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({}));
    ASSERT_EQ(discoverAll().size(), 1u);
    emulator.freeze(true);
    long long took = 0;
    int written = 0;
    for (; written < 100000; ++written) {
        const auto start = std::chrono::steady_clock::now();
        const short result = WriteCorvilSettings(0, 1, 1, 0, 0);
        took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        if (!result) break;
    }
    emulator.freeze(false);
    ASSERT_LT(written, 100000) << "the buffer never filled";
    EXPECT_EQ(lastError(), "Corvil not responding.");
    EXPECT_GE(took, 45);
    EXPECT_LE(took, 400);
}

TEST_F(EmulatedUnits, EachConnectionQueuesTheNewest64Reports) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({}));
    EXPECT_EQ(emulator.command("silence 0 on"), "ok");
    ASSERT_EQ(discoverAll().size(), 1u);
    for (int n = 1; n <= 70; ++n) {
        char line[64];
        std::snprintf(line, sizeof line, "raw 0 03 00 %02x 00 00", n);
        ASSERT_EQ(emulator.command(line), "ok");
    }
    std::vector<int> got;
    Settings s;
    while (ReadCorvilSettings(0, &s.in1, &s.in2, &s.pads1, &s.pads2)) got.push_back(s.in1);
    ASSERT_EQ(got.size(), 64u);
    EXPECT_EQ(got.front(), 7) << "the six oldest were dropped";
    EXPECT_EQ(got.back(), 70);
}

TEST_F(EmulatedUnits, SerialNumberWriteAndRead) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({}));
    ASSERT_EQ(discoverAll().size(), 1u);
    ASSERT_EQ(WriteCorvilSerialNumberA(0, "XYZ12"), -1);
    char serial[6] = {};
    ASSERT_EQ(ReadCorvilSerialNumberA(0, serial), -1);
    EXPECT_STREQ(serial, "XYZ12");
    const char withZero[] = {'A', 0, 'C', 'D', 'E'};
    ASSERT_EQ(WriteCorvilSerialNumberA(0, withZero), -1);
    EXPECT_NE(emulator.command("state 0").find("serial=A\\x00CDE"), std::string::npos);
}

TEST_F(EmulatedUnits, AppendingDiscoveryOpensNewConnections) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({}));
    short unit = -1;
    ASSERT_EQ(FindFirstCorvil(&unit), -1);
    ASSERT_EQ(FindFirstCorvil(&unit), -1);
    EXPECT_EQ(unit, 1);
    DoneFindingCorvils();
    // Both numbers reach the unit, each over its own connection.
    EXPECT_EQ(emulator.command("route 0 1 4"), "ok");
    for (short u : {0, 1}) {
        Settings s;
        EXPECT_TRUE(readUntil(u, s, [](const Settings &r) { return r.in1 == 4; })) << "unit " << u;
    }
}

} // namespace

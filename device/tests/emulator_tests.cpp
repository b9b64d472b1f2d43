// The shared library's exports end to end against units served by
// corvil-emulator through the virtual transport.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "corvhid.h"
#include "emulator_process.h"
#include "export_calls.h"
#include "process_resources.h"

using namespace corvil::testing;

namespace {

std::vector<short> discoverAll() {
    std::vector<short> units;
    short unit = -1;
    for (short found = FindFirstCorvil(&unit); found; found = FindNextCorvil(&unit)) units.push_back(unit);
    DoneFindingCorvils();
    return units;
}

std::string serialOf(short unit) {
    char serial[6] = {};
    return ReadCorvilSerialNumberA(unit, serial) ? serial : "(failed)";
}

// Reads settings reports until `accept` is satisfied (reports already queued
// may predate the change being waited for); gives the last one read.
bool readUntil(short unit, Settings &s, const std::function<bool(const Settings &)> &accept) {
    for (int i = 0; i < 200; ++i)
        if (readSettings(unit, s) && accept(s)) return true;
    return false;
}

class EmulatedUnits : public ::testing::Test {
protected:
    void SetUp() override { corvil::testing::usePrivateRendezvous(); }
    void TearDown() override { CleanupCorvil(); }
};

TEST_F(EmulatedUnits, UnitsAreNumberedInSerialOrderAGoneEmulatorsEntryIsSkippedAndDiscoveryAppends) {
    EmulatorProcess gone({"--serial", "GONE1"});
    gone.kill();
    EmulatorProcess emulator({"--serial", "AAA01", "--serial", "BBB02", "--serial", "CCC03", "--report-period-ms", "1"});
    ASSERT_EQ(discoverAll(), (std::vector<short>{0, 1, 2}));
    EXPECT_EQ((std::vector<std::string>{serialOf(0), serialOf(1), serialOf(2)}),
              (std::vector<std::string>{"AAA01", "BBB02", "CCC03"}));

    // Found again under the next numbers: a front-panel change reaches both
    // numbers of a unit, each over its own connection. The first numbers'
    // connections take nothing for a while (thousands of reports, more than
    // a pipe or socket holds): that stalls neither the unit nor the other
    // connections, and does not drop them.
    ASSERT_EQ(discoverAll(), (std::vector<short>{3, 4, 5}));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    Settings s;
    EXPECT_TRUE(takes(0, 2000, [&] {
        EXPECT_EQ(emulator.command("route 0 1 4"), "ok");
        EXPECT_TRUE(readUntil(3, s, [](const Settings &r) { return r.in1 == 4; }));
    })) << "the change is slow to reach the unit's other connection";
    EXPECT_TRUE(readUntil(0, s, [](const Settings &r) { return r.in1 == 4; }));
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
        ASSERT_EQ(serialOf(0), "PLUG1") << "cycle " << cycle;
        ASSERT_EQ(WriteCorvilSettings(0, 1 + cycle % 8, 1, 0, 0), -1) << "cycle " << cycle;
        // Pulled: every transfer fails at once, leaving the text of the last
        // one that ran, and discovery finds nothing until the unit is back.
        ASSERT_EQ(emulator.command("unplug 0"), "ok");
        Settings s;
        ASSERT_EQ(readSettings(0, s), 0) << "cycle " << cycle;
        ASSERT_EQ(WriteCorvilSettings(0, 1, 1, 0, 0), 0) << "cycle " << cycle;
        ASSERT_EQ(serialOf(0), "(failed)");
        ASSERT_EQ(lastError(), "Corvil connected.") << "cycle " << cycle;
        CleanupCorvil();
        ASSERT_TRUE(discoverAll().empty()) << "cycle " << cycle;
        ASSERT_EQ(emulator.command("plug 0"), "ok");
        CleanupCorvil();
        if (cycle == 1) first = ProcessResources::now();
    }
    const ProcessResources last = ProcessResources::now();
    EXPECT_EQ(last.descriptors, first.descriptors);
    EXPECT_EQ(last.threads, first.threads);
    // Room for the allocator's own bookkeeping, far below 1000 lost records.
    EXPECT_LE(last.heap, first.heap + 16 * 1024);
}

// Each attempt waits 50 ms: the bounds tell it from 5 or 500 ms on a busy
// machine. As a HID driver's buffer, a handle keeps the newest 32 reports,
// however far its host fell behind the unit.
TEST_F(EmulatedUnits, ASilentOrStuckUnitCostsFiftyMillisecondsAnAttemptAndAHandleKeepsTheNewest32Reports) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({}));
    ASSERT_EQ(discoverAll().size(), 1u);
    EXPECT_EQ(emulator.command("silence 0 on"), "ok");
    // Reports sent before the silence may still be queued: drain them.
    Settings s;
    while (readSettings(0, s)) continue;
    EXPECT_EQ(lastError(), "Corvil not responding.");
    EXPECT_TRUE(takes(10 * 45, 2500, [&] { EXPECT_EQ(readSettings(0, s), 0); }));

    for (int sent : {70, 300}) {
        for (int n = 1; n <= sent; ++n) {
            char line[64];
            std::snprintf(line, sizeof line, "raw 0 03 00 %02x 00 %02x", n & 0xFF, n >> 8);
            ASSERT_EQ(emulator.command(line), "ok");
        }
        std::vector<int> got;
        while (readSettings(0, s)) got.push_back(s.in1 | s.pads1 << 8);
        ASSERT_EQ(got.size(), 32u) << sent << " sent";
        EXPECT_EQ(got.front(), sent - 31) << "the oldest were dropped";
        EXPECT_EQ(got.back(), sent);
    }

    // A unit that takes nothing more: writes go into the connection's buffer
    // until it is full, then one waits its 50 ms, is not sent, and is not
    // tried again.
    emulator.freeze(true);
    ::testing::AssertionResult last = ::testing::AssertionSuccess();
    int written = 0;
    for (short result = -1; result && written < 100000; ++written)
        last = takes(45, 400, [&] { result = WriteCorvilSettings(0, 1, 1, 0, 0); });
    emulator.freeze(false);
    ASSERT_LT(written, 100000) << "the buffer never filled";
    EXPECT_EQ(lastError(), "Corvil not responding.");
    EXPECT_TRUE(last) << "the write that was not sent";
}

} // namespace

// The Windows transport as a user's unit meets it: corvhid.dll over the HID
// and device-setup services (stand-ins beside this program whose devices are
// named pipes served by emulated units), with overlapped transfers, the 50 ms
// wait and CancelIo running against units that answer, fall silent, stop
// taking reports or are pulled mid-transfer.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <thread>

#include "corvhid.h"
#include "export_calls.h"
#include "library.h"
#include "process_resources.h"
#include "library_inspector.h"
#include "pipe_unit.h"
#include "win32/win32_platform.h"

using namespace corvil::testing;
using corvhid::win32::Win32Platform;
using namespace corvhid;
using namespace std::chrono;

namespace {

void offerUnits(std::initializer_list<const PipeUnit *> units) {
    std::string list;
    for (const PipeUnit *u : units) list += u->path() + ";";
    ::SetEnvironmentVariableA("CORVIL_STANDIN_UNITS", list.c_str());
}

long standinOutstanding(const char *module) {
    auto count = reinterpret_cast<LONG(WINAPI *)()>(
        reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleA(module), "StandinOutstanding")));
    return count ? count() : -1;
}

// The unit's threads take the pipe's transfers in their own time: up to two
// seconds for `done` to hold.
template <typename F> bool eventually(F &&done) {
    for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(milliseconds(2));
    return done();
}

// Once the unit has taken both connections: a report it sends before then
// would reach no input handle.
void awaitBothHandles(PipeUnit &unit) { ASSERT_TRUE(eventually([&] { return unit.roles() == "mi"; })) << unit.roles(); }

// The only unit, found as unit 0.
void findOnly(PipeUnit &unit) {
    offerUnits({&unit});
    short found = -1;
    ASSERT_EQ(FindFirstCorvil(&found), -1);
    EXPECT_EQ(found, 0);
    awaitBothHandles(unit);
}

class Win32Transport : public ::testing::Test {
protected:
    void SetUp() override {
        // No emulated units of other tests: only the pipe units are found.
        ::SetEnvironmentVariableA("LOCALAPPDATA", "C:\\corvil-no-rendezvous");
        _putenv_s("LOCALAPPDATA", "C:\\corvil-no-rendezvous");
        // Held here so that their counts outlive the library's own loads.
        hid_ = ::LoadLibraryA("hid.dll");
        setup_ = ::LoadLibraryA("setupapi.dll");
    }
    void TearDown() override {
        DoneFindingCorvils();
        CleanupCorvil();
        ::FreeLibrary(setup_);
        ::FreeLibrary(hid_);
    }
    HMODULE hid_ = nullptr, setup_ = nullptr;
    PipeUnit unit{{.serial = "PIPE1"}};
};

TEST_F(Win32Transport, DiscoveryOpensMainThenInputAndEveryServiceCallReachesTheUnit) {
    PipeUnit stranger({.serial = "OTHER", .productId = 2});
    offerUnits({&stranger, &unit});

    for (int round = 1; round <= 2; ++round) {
        short found = -1;
        ASSERT_EQ(FindFirstCorvil(&found), -1) << lastError();
        EXPECT_EQ(found, 0);
        EXPECT_EQ(FindNextCorvil(&found), 0);
        EXPECT_EQ(lastError(), "Corvil not detected!");
        EXPECT_EQ(DoneFindingCorvils(), -1);
        EXPECT_EQ(standinOutstanding("setupapi.dll"), 0) << "the device set was destroyed";
        EXPECT_EQ(standinOutstanding("hid.dll"), 0) << "the preparsed data was freed";

        char serial[6] = {};
        ASSERT_EQ(ReadCorvilSerialNumberA(0, serial), -1);
        EXPECT_STREQ(serial, round == 1 ? "PIPE1" : "NEW01");
        ASSERT_EQ(WriteCorvilSerialNumberA(0, "NEW01"), -1);
        EXPECT_EQ(CleanupCorvil(), -1);
    }
    // The other product is asked for its attributes and let go; the unit is
    // opened twice per discovery, the main handle first: it alone asks and
    // writes, and the reports are read from the second.
    EXPECT_EQ(stranger.roles(), "mm");
    EXPECT_TRUE(eventually([&] { return unit.roles() == "mimi"; })) << unit.roles(); // its last connect may lag
    EXPECT_EQ(unit.requests(), (std::vector<std::string>{"1A", "1P", "1G", "1S", "3A", "3P", "3G", "3S"}));
}

TEST_F(Win32Transport, EveryTransferWaitsFiftyMillisecondsAndNoMore) {
    findOnly(unit);

    Settings s{9, 9, 9, 9};
    short result = 1;
    EXPECT_TRUE(takes(10 * 45, 2500, [&] { result = readSettings(0, s); })) << "ten attempts of 50 ms each";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lastError(), "Corvil not responding.");

    // A report arriving after the reads gave up is the next one read.
    unit.sendRaw({3, 2, 1, 0x10, 0x20});
    ASSERT_EQ(readSettings(0, s), -1);
    EXPECT_EQ((std::vector<int>{s.in1, s.in2, s.pads1, s.pads2}), (std::vector<int>{1, 2, 0x20, 0x10}));

    // A unit that does not take the output report: one attempt, not sent.
    const unsigned taken = unit.outputReportsTaken();
    unit.holdIncoming(true);
    EXPECT_TRUE(takes(45, 400, [&] { result = WriteCorvilSettings(0, 4, 4, 0, 0); }));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lastError(), "Corvil not responding.");
    unit.holdIncoming(false);
    ASSERT_EQ(WriteCorvilSettings(0, 6, 6, 0, 0), -1);
    EXPECT_TRUE(eventually([&] { return unit.outputReportsTaken() == taken + 1; })) << "the abandoned write is lost";
    EXPECT_NE(unit.state().find("input1=6 input2=6"), std::string::npos) << unit.state();
}

TEST_F(Win32Transport, AUnitPulledMidReadEndsTheReadAtOnceAndIsFoundAgainWhenBack) {
    findOnly(unit);

    // The unit goes the moment the library has read a report it does not
    // want: the attempts after it cannot start, so none times out and the
    // text stays that of the last transfer that ran.
    const PipeUnit::Report unwanted{7, 1, 2, 3, 4};
    unit.unplugOnceTaken(unwanted);
    unit.sendRaw(unwanted);
    Settings s{9, 9, 9, 9};
    EXPECT_EQ(readSettings(0, s), 0);
    EXPECT_EQ(lastError(), "Corvil connected.");
    EXPECT_EQ(WriteCorvilSettings(0, 1, 1, 0, 0), 0);
    EXPECT_EQ(lastError(), "Corvil connected.") << "a write that cannot start leaves the text";
    short found = -1;
    EXPECT_EQ(FindFirstCorvil(&found), 0);
    EXPECT_EQ(lastError(), "Corvil not detected!");

    CleanupCorvil();
    unit.plug();
    findOnly(unit);
    unit.sendRaw({3, 1, 1, 0, 0});
    EXPECT_EQ(readSettings(0, s), -1);
}

// A driver that ignores CancelIo keeps each abandoned transfer until its
// handle is closed.
class CancelIgnored : public Win32Platform {
public:
    using Win32Platform::Win32Platform;
    void cancelIo(HANDLE) override {}
};

struct Usage {
    long handles = 0;
    SIZE_T memory = 0;
};

// The handles open in the process and the memory it has committed.
Usage usage() {
    PROCESS_MEMORY_COUNTERS m{};
    m.cb = sizeof m;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &m, sizeof m);
    return {corvil::testing::ProcessResources::now().descriptors, m.PagefileUsage};
}

TEST_F(Win32Transport, ATransferTheDriverWillNotCancelIsWaitedForByTheNextAndEndsWithItsUnit) {
    offerUnits({&unit});
    {
        CancelIgnored platform;
        Library lib(platform);
        std::int16_t n = -1;
        ASSERT_EQ(lib.findFirst(&n), kSuccess);
        awaitBothHandles(unit);

        // The caller gets control back after the 50 ms and the bound on the
        // cancel; the read stays with the driver.
        std::uint8_t abandoned[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        Transfer t = Transfer::Completed;
        EXPECT_TRUE(takes(45 + Win32Platform::kCancelBoundMs - 5, 3000, [&] {
            t = platform.readInputReport(LibraryInspector::inputHandle(lib, 0), abandoned, 5);
        }));
        EXPECT_EQ(t, Transfer::TimedOut);
        EXPECT_EQ(platform.parkedTransfers(), 1u);

        // Later attempts wait for that read instead of starting more behind
        // it: 50 ms each, not 300.
        Settings s{9, 9, 9, 9};
        EXPECT_TRUE(takes(10 * 45, 2000, [&] {
            EXPECT_EQ(lib.readSettings(0, &s.in1, &s.in2, &s.pads1, &s.pads2), kFailure);
        }));
        EXPECT_STREQ(LibraryInspector::lastErrorText(lib), "Corvil not responding.");
        EXPECT_EQ(platform.parkedTransfers(), 1u);

        // The unit goes on sending: the held read takes the first report and
        // it is the next one read; none is lost.
        unit.sendRaw({3, 1, 1, 0, 0});
        unit.sendRaw({4, 2, 2, 0, 0});
        unit.sendRaw({3, 3, 3, 0, 0});
        unsigned char seq[4] = {};
        EXPECT_EQ(lib.readSettings(0, &s.in1, &s.in2, &s.pads1, &s.pads2), kSuccess);
        EXPECT_EQ(s.in1, 1);
        EXPECT_EQ(lib.readAutoSequencing(0, &seq[0], &seq[1], &seq[2], &seq[3]), kSuccess);
        EXPECT_EQ(seq[0], 2);
        EXPECT_EQ(lib.readSettings(0, &s.in1, &s.in2, &s.pads1, &s.pads2), kSuccess);
        EXPECT_EQ(s.in1, 3);
        for (std::uint8_t b : abandoned) EXPECT_EQ(b, 0xEE) << "the caller that gave up never sees the report";
        EXPECT_EQ(platform.parkedTransfers(), 0u);

        // A write the unit does not take is held the same way: the next one
        // waits for it and, while it is still held, is not sent at all.
        const unsigned taken = unit.outputReportsTaken();
        unit.holdIncoming(true);
        EXPECT_EQ(lib.writeSettings(0, 4, 4, 0, 0), kFailure);
        EXPECT_TRUE(takes(0, 250, [&] { EXPECT_EQ(lib.writeSettings(0, 5, 5, 0, 0), kFailure); }));
        EXPECT_EQ(platform.parkedTransfers(), 1u);
        unit.holdIncoming(false);
        ASSERT_TRUE(eventually([&] { return unit.outputReportsTaken() == taken + 1; }));
        EXPECT_EQ(lib.writeSettings(0, 6, 6, 0, 0), kSuccess);
        EXPECT_TRUE(eventually([&] { return unit.outputReportsTaken() == taken + 2; }));
        EXPECT_NE(unit.state().find("input1=6 input2=6"), std::string::npos) << unit.state();
    }

    // With the bound on the cancel shortened (only so that this runs quickly).
    // A record kept for good shows in the memory.
    const corvil::emulator::UnitConfig large{.serial = "PIPE2", .inputLength = 60000};
    PipeUnit lost(large);
    offerUnits({&lost});
    CancelIgnored platform(5);
    std::vector<std::uint8_t> report(large.inputLength);

    // Held transfers are bounded: past the bound a read is not started.
    std::vector<Handle> handles;
    for (std::size_t i = 0; i <= Win32Platform::kMaxParked; ++i) {
        handles.push_back(platform.open(lost.path().c_str()));
        EXPECT_EQ(platform.readQueuedInputReport(handles.back(), report.data(), large.inputLength), Transfer::TimedOut);
    }
    EXPECT_EQ(platform.parkedTransfers(), Win32Platform::kMaxParked);
    for (Handle h : handles) platform.close(h);
    platform.releaseDevices();
    EXPECT_EQ(platform.parkedTransfers(), 0u);

    // A unit lost a thousand times, each time with a read the driver keeps:
    // the loss's clean-up closes the unit, which ends the read, and frees it.
    Library lib(platform);
    Usage early;
    for (int loss = 1; loss <= 1000; ++loss) {
        std::int16_t n = -1;
        ASSERT_EQ(lib.findFirst(&n), kSuccess) << loss;
        lib.doneFinding();
        const Handle input = LibraryInspector::inputHandle(lib, 0);
        ASSERT_EQ(platform.readQueuedInputReport(input, report.data(), large.inputLength), Transfer::TimedOut);
        ASSERT_EQ(platform.parkedTransfers(), 1u) << loss;
        lib.cleanup();
        ASSERT_EQ(platform.parkedTransfers(), 0u) << "freed at loss " << loss;
        if (loss == 10) early = usage();
    }
    const Usage late = usage();
    EXPECT_LT(late.handles, early.handles + 20);
    EXPECT_LT(late.memory, early.memory + 16 * 1024 * 1024);
}

} // namespace

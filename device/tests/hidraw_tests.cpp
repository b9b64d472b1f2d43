// The Linux hidraw transport: report lengths from descriptors, enumeration
// and attributes from a laid-out sysfs tree, and the 50 ms bounds of reads
// and writes through a substituted system-call seam.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "export_calls.h"
#include "hidraw_platform.h"
#include "library.h"
#include "library_inspector.h"
#include "report_descriptor.h"
#include "sysfs.h"
#include "sysfs_tree.h"

using namespace corvhid;
using namespace corvhid::hidraw;
using corvil::testing::kCorvilDescriptor;
using corvil::testing::SysfsTree;
using corvil::testing::takes;
using Bytes = std::vector<std::uint8_t>;

namespace {

TEST(ReportDescriptor, LengthsCountTheLongestReportAndTheIdByteAndMalformedOnesAreRefused) {
    ReportLengths l;
    ASSERT_TRUE(parseReportLengths(kCorvilDescriptor.data(), kCorvilDescriptor.size(), l));
    EXPECT_EQ((std::vector<int>{l.input, l.output}), (std::vector<int>{5, 5}));

    // No report ids, 3 + 5 bits of input padded to a byte, a 2-byte field
    // inside push/pop, a long item to skip, and no output report.
    const Bytes mouse = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x75,
                         0x05, 0x95, 0x01, 0x81, 0x01, 0xA4, 0x75, 0x10, 0x95, 0x01, 0x81, 0x06, 0xB4,
                         0xFE, 0x02, 0x10, 0xAA, 0xBB, 0x75, 0x08, 0x95, 0x01, 0x81, 0x06, 0xC0};
    ASSERT_TRUE(parseReportLengths(mouse.data(), mouse.size(), l));
    EXPECT_EQ((std::vector<int>{l.input, l.output}), (std::vector<int>{1 + 1 + 2 + 1, 0}));

    // Truncated, a pop without its push, a long item running past the end.
    for (const Bytes &bad : {Bytes{0x75, 0x08, 0x96, 0x01}, Bytes{0xB4}, Bytes{0xFE, 0x09, 0x00, 0x01}})
        EXPECT_FALSE(parseReportLengths(bad.data(), bad.size(), l));
    EXPECT_EQ(l.input, 5) << "lengths are left alone";
}

// ---- the system-call seam --------------------------------------------------

// Opens the tree's device nodes (EACCES for those named in `denied`), and
// serves reads and writes from scripted behaviour.
class ScriptedIo : public PosixIo {
public:
    std::set<std::string> denied;
    std::mutex mutex;
    std::condition_variable released;
    bool holdWrites = false;
    std::vector<Bytes> written;
    std::deque<Bytes> reports;
    short pollEvents = 0; // extra events to report, e.g. POLLHUP

    int open(const char *path, int flags) override {
        const std::string p(path);
        return denied.count(p.substr(p.rfind('/') + 1)) ? (errno = EACCES, -1) : ::open(path, flags);
    }
    std::vector<int> pollTimeouts;
    int poll(pollfd *fds, nfds_t, int timeoutMs) override {
        std::lock_guard lock(mutex);
        pollTimeouts.push_back(timeoutMs);
        if (pollEvents) {
            fds[0].revents = pollEvents;
            return 1;
        }
        if (reports.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return 0;
        }
        fds[0].revents = POLLIN;
        return 1;
    }
    ssize_t read(int, void *buffer, size_t size) override {
        std::lock_guard lock(mutex);
        const Bytes r = reports.front();
        reports.pop_front();
        std::memcpy(buffer, r.data(), std::min(size, r.size()));
        return static_cast<ssize_t>(std::min(size, r.size()));
    }
    ssize_t write(int, const void *buffer, size_t size) override {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return !holdWrites; });
        auto *b = static_cast<const std::uint8_t *>(buffer);
        written.emplace_back(b, b + size);
        return static_cast<ssize_t>(size);
    }
    int getFeature(int, void *buffer, size_t size) override {
        if (static_cast<std::uint8_t *>(buffer)[0] != 1 || size != 6) return -1;
        std::memcpy(buffer, "\x01HRAW1", 6);
        return 6;
    }
    int setFeature(int, const void *, size_t) override { return -1; }
    void release() {
        std::lock_guard lock(mutex);
        holdWrites = false;
        released.notify_all();
    }
};

class Hidraw : public ::testing::Test {
protected:
    SysfsTree tree;
    std::shared_ptr<ScriptedIo> io = std::make_shared<ScriptedIo>();
};

// The interfaces in numeric order, their ids and USB version read from sysfs
// (corvilctl's diagnostics show the values read).
TEST_F(Hidraw, DiscoveryFindsCorvilsInNumericOrderAndSkipsWhatItMayNotOpen) {
    tree.add("hidraw10", "0003:00001049:00000001", "0300");
    tree.add("hidraw0", "0003:0000046D:0000C52B", "1201");
    tree.add("hidraw1", "0005:00001049:00000001", std::nullopt); // not in a USB device: no version
    tree.add("hidraw2", "0003:00001049:00000001", "0100");
    tree.add("hidraw3", "0003:00001049:00000001", "00ff");
    tree.add("hidraw4", "0003:00001049:00000001", "0200");
    io->denied.insert("hidraw4");
    HidrawPlatform platform(tree.sys(), tree.dev(), io);
    Library lib(platform);
    std::int16_t unit = -1;
    ASSERT_EQ(lib.findFirst(&unit), -1);
    EXPECT_EQ(lib.unitPath(0), tree.dev() + "/hidraw2");
    const ReportLengths found = LibraryInspector::reportLengths(lib);
    EXPECT_EQ((std::vector<int>{found.input, found.output}), (std::vector<int>{5, 5}));
    ASSERT_EQ(lib.findNext(&unit), -1);
    EXPECT_EQ(lib.unitPath(1), tree.dev() + "/hidraw10") << "no version, version 255 and the denied node are skipped";
    EXPECT_EQ(lib.findNext(&unit), 0);
    EXPECT_EQ(readIds(tree.sys(), "hidraw99"), std::nullopt);
    EXPECT_TRUE(listInterfaces(tree.sys() + "/missing").empty());

    char serial[6] = {};
    ASSERT_EQ(lib.readSerialNumber(0, serial), -1);
    EXPECT_STREQ(serial, "HRAW1");
    EXPECT_EQ(lib.writeSerialNumber(0, "ABCDE"), 0);
    lib.doneFinding();
    lib.cleanup();
}

TEST_F(Hidraw, EachReadAttemptWaitsFiftyMillisecondsAndAnUnpluggedDeviceDoesNotStart) {
    tree.add("hidraw0", "0003:00001049:00000001", "0100");
    HidrawPlatform platform(tree.sys(), tree.dev(), io);
    Library lib(platform);
    std::int16_t unit = -1;
    ASSERT_EQ(lib.findFirst(&unit), -1);
    std::uint8_t v[4] = {9, 9, 9, 9};
    EXPECT_EQ(lib.readSettings(0, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_STREQ(LibraryInspector::lastErrorText(lib), "Corvil not responding.");
    EXPECT_EQ(v[0], 9);
    ASSERT_EQ(io->pollTimeouts.size(), 10u) << "ten attempts";
    for (int t : io->pollTimeouts) EXPECT_TRUE(t >= 45 && t <= 50) << t << " ms";

    io->reports.push_back({3, 1, 2});
    ASSERT_EQ(lib.readSettings(0, &v[0], &v[1], &v[2], &v[3]), -1);
    EXPECT_EQ(Bytes(v, v + 4), (Bytes{2, 1, 0, 0})) << "a short report is padded with zeros";
    io->pollEvents = POLLHUP;
    EXPECT_EQ(lib.readSettings(0, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_STREQ(LibraryInspector::lastErrorText(lib), "Corvil connected.") << "a read that cannot start";
    lib.doneFinding();
    lib.cleanup();
}

TEST_F(Hidraw, AWriteHeldByTheKernelTimesOutInFiftyMillisecondsCannotCorruptTheNextAndOutlivesClosing) {
    tree.add("hidraw0", "0003:00001049:00000001", "0100");
    auto platform = std::make_unique<HidrawPlatform>(tree.sys(), tree.dev(), io);
    Handle h = platform->open((tree.dev() + "/hidraw0").c_str());
    ASSERT_NE(h, kNoHandle);

    std::uint8_t report[5] = {3, 1, 1, 0, 0};
    io->holdWrites = true;
    EXPECT_TRUE(takes(45, 400, [&] { EXPECT_EQ(platform->writeOutputReport(h, report, 5), Transfer::TimedOut); }));
    // The caller reuses its buffer at once; the held write keeps its own copy.
    report[1] = 2;
    EXPECT_EQ(platform->writeOutputReport(h, report, 5), Transfer::TimedOut) << "the kernel still holds the first write";
    io->release();

    report[1] = 3;
    // Liveness only: the held write drains, then this one goes through.
    Transfer t = Transfer::TimedOut;
    for (int i = 0; i < 100 && t != Transfer::Completed; ++i) t = platform->writeOutputReport(h, report, 5);
    ASSERT_EQ(t, Transfer::Completed);
    {
        std::lock_guard lock(io->mutex);
        EXPECT_EQ(io->written, (std::vector<Bytes>{{3, 1, 1, 0, 0}, {3, 3, 1, 0, 0}}))
            << "the refused write never reached the kernel";
    }

    // Closed while the kernel holds a write: closing does not wait, and the
    // detached writer finishes and lets the device go on its own.
    io->holdWrites = true;
    EXPECT_EQ(platform->writeOutputReport(h, report, 5), Transfer::TimedOut);
    platform->close(h);
    platform.reset();
    io->release();
    for (int i = 0; i < 500 && io.use_count() > 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(io.use_count(), 1);
}

} // namespace

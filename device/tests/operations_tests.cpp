// Record operations and report transfers of the protocol core over the fake
// platform: attempts, byte placement, out-parameters and last-error texts.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "fake_platform.h"
#include "library.h"
#include "library_inspector.h"

using namespace corvhid;

namespace {

using Bytes = std::vector<std::uint8_t>;

class Operations : public ::testing::Test {
protected:
    FakePlatform fake;
    Library lib{fake};
    std::int16_t unit = -1;

    FakeInterface &device() { return fake.interfaces[0]; }

    void SetUp() override {
        fake.add("/fake/0");
        ASSERT_EQ(lib.findFirst(&unit), -1);
        lib.doneFinding();
        fake.calls.clear();
    }
    void TearDown() override { lib.cleanup(); }

    // The unit found again after its report lengths changed.
    void rediscover(ReportLengths lengths) {
        lib.cleanup();
        device().lengths = lengths;
        ASSERT_EQ(lib.findFirst(&unit), -1);
    }

    std::string text() { return LibraryInspector::lastErrorText(lib); }
    // The reads since the last look.
    int reads() { const int n = fake.count("read"); return fake.calls.clear(), n; }

    // A read's out-parameters in the order they are passed, each starting as
    // 0xAA; nothing when the read fails, which must leave them untouched.
    template <typename Read> std::optional<Bytes> outs(std::size_t n, Read &&read) {
        Bytes v(n, 0xAA);
        if (read(v.data())) return v;
        EXPECT_EQ(v, Bytes(n, 0xAA)) << "out-parameters untouched on failure";
        return std::nullopt;
    }
    using Read4 = Result (Library::*)(std::int16_t, std::uint8_t *, std::uint8_t *, std::uint8_t *, std::uint8_t *);
    static constexpr Read4 kNewest = &Library::readNewestSettings, kAutoSequencing = &Library::readAutoSequencing;
    std::optional<Bytes> settings(std::int16_t u = 0, Read4 read = &Library::readSettings) {
        return outs(4, [&](std::uint8_t *v) { return (lib.*read)(u, v, v + 1, v + 2, v + 3); });
    }
    std::optional<Bytes> all(std::int16_t u = 0) {
        return outs(8, [&](std::uint8_t *v) { return lib.readAllSettings(u, v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6, v + 7); });
    }
};

TEST_F(Operations, ReadsPlaceChannelOneFirstPassOverOtherReportsAndFillOnlyTheRecordThatCame) {
    device().inputQueue.push_back({4, 1, 1, 1, 1});
    device().inputQueue.push_back({3, 5, 2, 0x80, 0x05});
    EXPECT_EQ(settings(), (Bytes{2, 5, 0x05, 0x80}));
    EXPECT_EQ(reads(), 2);
    EXPECT_EQ(text(), "Corvil connected.");

    // Only auto-sequencing reports: ten attempts, then failure with the text
    // of the last transfer, which did succeed.
    for (int i = 0; i < 12; ++i) device().inputQueue.push_back({4, 0, 0, 0, 0});
    EXPECT_EQ(settings(), std::nullopt);
    EXPECT_EQ(reads(), 10);
    EXPECT_EQ(text(), "Corvil connected.");

    // A silent unit is asked ten times for one record and three for both.
    device().inputQueue.clear();
    EXPECT_EQ(settings(0, kAutoSequencing), std::nullopt);
    EXPECT_EQ(reads(), 10);
    EXPECT_EQ(text(), "Corvil not responding.");
    EXPECT_EQ(all(), std::nullopt);
    EXPECT_EQ(reads(), 3);

    // Both records: only the one that came is filled.
    device().inputQueue.push_back({9, 9, 9, 9, 9});
    device().inputQueue.push_back({4, 0x22, 0x11, 0x04, 0x84});
    EXPECT_EQ(all(), (Bytes{0xAA, 0xAA, 0xAA, 0xAA, 0x11, 0x22, 0x84, 0x04}));
    device().inputQueue.push_back({3, 6, 5, 0x20, 0x10});
    EXPECT_EQ(all(), (Bytes{5, 6, 0x10, 0x20, 0xAA, 0xAA, 0xAA, 0xAA}));
}

TEST_F(Operations, AReadThatCannotStartLeavesTheTextAndAnEmptyOneDoesNotReplayThePreviousReport) {
    device().inputQueue.push_back({3, 0, 0, 0, 0});
    ASSERT_TRUE(settings());
    device().readFailure = Transfer::NotStarted;
    EXPECT_EQ(settings(), std::nullopt);
    EXPECT_EQ(text(), "Corvil connected.");
    device().readFailure = Transfer::TimedOut;
    EXPECT_EQ(settings(), std::nullopt);
    EXPECT_EQ(text(), "Corvil not responding.");

    device().readFailure = Transfer::Completed;
    device().inputQueue.push_back({3, 1, 1, 0, 0});
    device().inputQueue.push_back({}); // completes with no bytes
    ASSERT_TRUE(settings());
    EXPECT_EQ(settings(), std::nullopt);
}

// The bytes on the wire are corvilctl's tests' (the whole path, exactly).
TEST_F(Operations, AWriteIsNotRetried) {
    device().writeOutcome = Transfer::TimedOut;
    EXPECT_EQ(lib.writeSettings(unit, 1, 1, 0, 0), 0);
    EXPECT_EQ(fake.count("write"), 1);
    EXPECT_EQ(text(), "Corvil not responding.");
}

TEST_F(Operations, UnitNumbersOutOfRangeFailWithoutATransfer) {
    settings(); // sets "Corvil not responding."
    fake.calls.clear();
    char serial[6] = "xxxxx";
    for (std::int16_t bad : {-1, 1, -32768, 32767}) {
        for (Read4 read : {Read4(&Library::readSettings), kNewest, kAutoSequencing}) EXPECT_EQ(settings(bad, read), std::nullopt);
        EXPECT_EQ(all(bad), std::nullopt);
        EXPECT_EQ(lib.writeSettings(bad, 1, 1, 0, 0), 0);
        EXPECT_EQ(lib.writeAutoSequencing(bad, 1, 1, 0, 0), 0);
        EXPECT_EQ(lib.readSerialNumber(bad, serial), 0);
        EXPECT_EQ(lib.writeSerialNumber(bad, "ABCDE"), 0);
    }
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(text(), "Corvil not responding.");
    EXPECT_STREQ(serial, "xxxxx");
}

TEST_F(Operations, SerialNumberTransfersAndTheirFailures) {
    device().feature = {1, 'A', 'B', 0, 'D', 'E'};
    char serial[6] = "?????";
    ASSERT_EQ(lib.readSerialNumber(unit, serial), -1);
    EXPECT_EQ(std::memcmp(serial, "AB\0DE\0", 6), 0) << "five characters as they are, then a zero";
    EXPECT_EQ(fake.count("getFeature " + std::to_string(LibraryInspector::mainHandle(lib, 0)) + " 6 id 1"), 1);

    device().feature = {2, 'X', 'X', 'X', 'X', 'X'};
    std::strcpy(serial, "keep");
    EXPECT_EQ(lib.readSerialNumber(unit, serial), 0) << "another report id";
    device().featureGetOk = false;
    EXPECT_EQ(lib.readSerialNumber(unit, serial), 0);
    EXPECT_STREQ(serial, "keep");

    const char three[] = {'A', 'B', 'C', 0, 'Z'};
    ASSERT_EQ(lib.writeSerialNumber(unit, three), -1);
    EXPECT_EQ(device().featureSets.back(), (Bytes{1, 'A', 'B', 'C', 0, 'Z'}));
    device().featureSetOk = false;
    EXPECT_EQ(lib.writeSerialNumber(unit, "QWERT"), 0);
    EXPECT_EQ(text(), "") << "feature transfers never touch the last-error text";
}

// Reports longer than the 8-byte buffers travel whole through scratch
// memory; only their first eight bytes are the buffers' own, and the
// transmit buffer keeps what the last write left beyond the record.
TEST_F(Operations, ReportsLongerThanTheBuffersDoNotOverrunThem) {
    rediscover({64, 64});
    Bytes longReport(64, 0xEE);
    std::memcpy(longReport.data(), "\x03\x04\x06", 3);
    device().inputQueue.push_back(longReport);
    EXPECT_EQ(settings(), (Bytes{6, 4, 0xEE, 0xEE}));
    ASSERT_EQ(lib.writeSettings(unit, 1, 2, 3, 4), -1);
    Bytes sent(64, 0);
    std::memcpy(sent.data(), "\x03\x02\x01\x04\x03", 5);
    EXPECT_EQ(device().writes.back(), sent) << "the record, then zeros to the unit's length";
    lib.writeSerialNumber(unit, "ABCDE");
    lib.writeSettings(unit, 1, 2, 3, 4);
    sent[5] = 'E';
    EXPECT_EQ(device().writes.back(), sent);
}

TEST_F(Operations, EachOperationUsesItsUnitsHandles) {
    lib.cleanup();
    fake.add("/fake/1");
    ASSERT_EQ(lib.findFirst(&unit), -1);
    ASSERT_EQ(lib.findNext(&unit), -1);
    fake.interfaces[1].inputQueue.push_back({3, 2, 2, 0, 0});
    ASSERT_TRUE(settings(1));
    EXPECT_EQ(fake.count("read " + std::to_string(LibraryInspector::inputHandle(lib, 1))), 1);
    lib.writeSettings(0, 1, 1, 0, 0);
    lib.writeSettings(1, 2, 2, 0, 0);
    EXPECT_EQ(device().writes.size(), 1u);
    EXPECT_EQ(fake.interfaces[1].writes.size(), 1u);
}

TEST_F(Operations, TheNewestQueuedSettingsReportWins) {
    device().inputQueue.push_back({3, 1, 1, 0, 0});
    device().inputQueue.push_back({4, 9, 9, 9, 9});
    device().inputQueue.push_back({3, 2, 6, 0x20, 0x02});
    device().inputQueue.push_back({4, 8, 8, 8, 8});
    EXPECT_EQ(settings(0, kNewest), (Bytes{6, 2, 0x02, 0x20}));
    EXPECT_TRUE(device().inputQueue.empty()) << "the older reports are passed over";

    // Nothing queued: it waits for the next report like readSettings.
    device().standing = {3, 4, 3, 0, 0};
    EXPECT_EQ(settings(0, kNewest), (Bytes{3, 4, 0, 0}));
    device().standing.clear();
    EXPECT_EQ(settings(0, kNewest), std::nullopt);
    EXPECT_EQ(text(), "Corvil not responding.");
}

} // namespace

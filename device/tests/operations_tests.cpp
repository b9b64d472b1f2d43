// Record operations and report transfers of the protocol core over the fake
// platform: attempts, byte placement, out-parameters and last-error texts.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_platform.h"
#include "library.h"

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

    std::string text() { return lib.lastErrorText(); }
    int reads() { return fake.count("read"); }
};

TEST_F(Operations, ReadSettingsPlacesChannelOneFirst) {
    device().inputQueue.push_back({3, 5, 2, 0x80, 0x05});
    std::uint8_t in1 = 0, in2 = 0, p1 = 0, p2 = 0;
    ASSERT_EQ(lib.readSettings(unit, &in1, &in2, &p1, &p2), -1);
    EXPECT_EQ(in1, 2);
    EXPECT_EQ(in2, 5);
    EXPECT_EQ(p1, 0x05);
    EXPECT_EQ(p2, 0x80);
    EXPECT_EQ(text(), "Corvil connected.");
}

TEST_F(Operations, ReadSettingsReadsPastOtherReportsForTenAttempts) {
    device().inputQueue.push_back({4, 1, 1, 1, 1});
    device().inputQueue.push_back({3, 7, 8, 0, 0});
    std::uint8_t v[4] = {};
    ASSERT_EQ(lib.readSettings(unit, &v[0], &v[1], &v[2], &v[3]), -1);
    EXPECT_EQ(v[0], 8);
    EXPECT_EQ(reads(), 2);

    // Only auto-sequencing reports: ten attempts, then failure with the text
    // of the last transfer, which did succeed.
    for (int i = 0; i < 12; ++i) device().inputQueue.push_back({4, 0, 0, 0, 0});
    fake.calls.clear();
    std::uint8_t w[4] = {11, 12, 13, 14};
    EXPECT_EQ(lib.readSettings(unit, &w[0], &w[1], &w[2], &w[3]), 0);
    EXPECT_EQ(reads(), 10);
    EXPECT_EQ(text(), "Corvil connected.");
    EXPECT_EQ(Bytes(w, w + 4), (Bytes{11, 12, 13, 14})) << "out-parameters untouched on failure";
}

TEST_F(Operations, SilentUnitIsNotResponding) {
    std::uint8_t v[8] = {};
    EXPECT_EQ(lib.readAutoSequencing(unit, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(reads(), 10);
    EXPECT_EQ(text(), "Corvil not responding.");
    fake.calls.clear();
    EXPECT_EQ(lib.readAllSettings(unit, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]), 0);
    EXPECT_EQ(reads(), 3);
}

TEST_F(Operations, ReadThatCannotStartLeavesTheTextAlone) {
    device().inputQueue.push_back({3, 0, 0, 0, 0});
    std::uint8_t v[4];
    lib.readSettings(unit, &v[0], &v[1], &v[2], &v[3]);
    ASSERT_EQ(text(), "Corvil connected.");
    device().readFailure = Transfer::NotStarted;
    EXPECT_EQ(lib.readSettings(unit, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(text(), "Corvil connected.");
    device().readFailure = Transfer::TimedOut;
    EXPECT_EQ(lib.readSettings(unit, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(text(), "Corvil not responding.");
}

TEST_F(Operations, ReadAllSettingsFillsOnlyTheRecordThatCame) {
    device().inputQueue.push_back({4, 0x22, 0x11, 0x04, 0x84});
    std::uint8_t v[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(lib.readAllSettings(unit, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]), -1);
    EXPECT_EQ(Bytes(v, v + 8), (Bytes{1, 2, 3, 4, 0x11, 0x22, 0x84, 0x04}));

    device().inputQueue.push_back({9, 9, 9, 9, 9});
    device().inputQueue.push_back({3, 6, 5, 0x20, 0x10});
    ASSERT_EQ(lib.readAllSettings(unit, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]), -1);
    EXPECT_EQ(Bytes(v, v + 8), (Bytes{5, 6, 0x10, 0x20, 0x11, 0x22, 0x84, 0x04}));

    for (int i = 0; i < 3; ++i) device().inputQueue.push_back({2, 0, 0, 0, 0});
    EXPECT_EQ(lib.readAllSettings(unit, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]), 0)
        << "reports with other ids use up the three attempts";
}

TEST_F(Operations, WritesPlaceChannelTwoFirstAndDoNotRetry) {
    ASSERT_EQ(lib.writeSettings(unit, 255, 2, 0x01, 0x00), -1);
    ASSERT_EQ(lib.writeAutoSequencing(unit, 0x05, 0x0A, 0x84, 0x02), -1);
    ASSERT_EQ(device().writes.size(), 2u);
    EXPECT_EQ(device().writes[0], (Bytes{3, 2, 255, 0x00, 0x01}));
    EXPECT_EQ(device().writes[1], (Bytes{4, 0x0A, 0x05, 0x02, 0x84}));
    EXPECT_EQ(text(), "Corvil connected.");

    device().writeOutcome = Transfer::TimedOut;
    fake.calls.clear();
    EXPECT_EQ(lib.writeSettings(unit, 1, 1, 0, 0), 0);
    EXPECT_EQ(fake.count("write"), 1);
    EXPECT_EQ(text(), "Corvil not responding.");
}

TEST_F(Operations, UnitNumbersOutOfRangeFailWithoutATransfer) {
    std::uint8_t v[8] = {};
    char serial[6] = "xxxxx";
    lib.readSettings(unit, &v[0], &v[1], &v[2], &v[3]); // sets "Corvil not responding."
    fake.calls.clear();
    for (std::int16_t bad : {std::int16_t{-1}, std::int16_t{1}, std::int16_t{-32768}, std::int16_t{32767}}) {
        EXPECT_EQ(lib.readSettings(bad, &v[0], &v[1], &v[2], &v[3]), 0);
        EXPECT_EQ(lib.readAllSettings(bad, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]), 0);
        EXPECT_EQ(lib.readAutoSequencing(bad, &v[0], &v[1], &v[2], &v[3]), 0);
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
    EXPECT_EQ(fake.count("getFeature " + std::to_string(lib.mainHandle(0)) + " 6 id 1"), 1);

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

TEST_F(Operations, TheTransmitBufferKeepsWhatTheLastWriteLeftBeyondTheRecord) {
    lib.cleanup();
    device().lengths = {8, 8};
    ASSERT_EQ(lib.findFirst(&unit), -1);
    lib.writeSettings(unit, 1, 2, 3, 4);
    EXPECT_EQ(device().writes.back(), (Bytes{3, 2, 1, 4, 3, 0, 0, 0}));
    lib.writeSerialNumber(unit, "ABCDE");
    lib.writeSettings(unit, 1, 2, 3, 4);
    EXPECT_EQ(device().writes.back(), (Bytes{3, 2, 1, 4, 3, 'E', 0, 0}));
}

TEST_F(Operations, ReportsLongerThanTheBuffersDoNotOverrunThem) {
    lib.cleanup();
    device().lengths = {64, 64};
    ASSERT_EQ(lib.findFirst(&unit), -1);
    Bytes longReport(64, 0xEE);
    longReport[0] = 3;
    longReport[1] = 4;
    longReport[2] = 6;
    device().inputQueue.push_back(longReport);
    std::uint8_t v[4] = {};
    ASSERT_EQ(lib.readSettings(unit, &v[0], &v[1], &v[2], &v[3]), -1);
    EXPECT_EQ(v[0], 6);
    EXPECT_EQ(v[1], 4);
    ASSERT_EQ(lib.writeSettings(unit, 1, 2, 0, 0), -1);
    ASSERT_EQ(device().writes.back().size(), 64u);
    EXPECT_EQ(device().writes.back()[2], 1);
    EXPECT_EQ(device().writes.back()[63], 0);
}

TEST_F(Operations, AnEmptyReadDoesNotReplayThePreviousReport) {
    device().inputQueue.push_back({3, 1, 1, 0, 0});
    device().inputQueue.push_back({}); // completes with no bytes
    std::uint8_t v[4] = {};
    ASSERT_EQ(lib.readSettings(unit, &v[0], &v[1], &v[2], &v[3]), -1);
    v[0] = 77;
    fake.calls.clear();
    EXPECT_EQ(lib.readSettings(unit, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(v[0], 77);
}

TEST_F(Operations, EachOperationUsesItsUnitsHandles) {
    lib.cleanup();
    fake.add("/fake/1");
    ASSERT_EQ(lib.findFirst(&unit), -1);
    ASSERT_EQ(lib.findNext(&unit), -1);
    fake.interfaces[1].inputQueue.push_back({3, 2, 2, 0, 0});
    std::uint8_t v[4] = {};
    ASSERT_EQ(lib.readSettings(1, &v[0], &v[1], &v[2], &v[3]), -1);
    EXPECT_EQ(fake.count("read " + std::to_string(lib.inputHandle(1))), 1);
    lib.writeSettings(0, 1, 1, 0, 0);
    lib.writeSettings(1, 2, 2, 0, 0);
    EXPECT_EQ(device().writes.size(), 1u);
    EXPECT_EQ(fake.interfaces[1].writes.size(), 1u);
    EXPECT_EQ(fake.count("write " + std::to_string(lib.mainHandle(1))), 1);
}

} // namespace

namespace {

TEST_F(Operations, TheNewestQueuedSettingsReportWins) {
    device().inputQueue.push_back({3, 1, 1, 0, 0});
    device().inputQueue.push_back({4, 9, 9, 9, 9});
    device().inputQueue.push_back({3, 2, 6, 0x20, 0x02});
    device().inputQueue.push_back({4, 8, 8, 8, 8});
    std::uint8_t v[4] = {};
    ASSERT_EQ(lib.readNewestSettings(unit, &v[0], &v[1], &v[2], &v[3]), -1);
    EXPECT_EQ(Bytes(v, v + 4), (Bytes{6, 2, 0x02, 0x20}));
    EXPECT_TRUE(device().inputQueue.empty()) << "the older reports are passed over";

    // Nothing queued: it waits for the next report like readSettings.
    device().standing = {3, 4, 3, 0, 0};
    ASSERT_EQ(lib.readNewestSettings(unit, &v[0], &v[1], &v[2], &v[3]), -1);
    EXPECT_EQ(v[0], 3);
    device().standing.clear();
    EXPECT_EQ(lib.readNewestSettings(unit, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(text(), "Corvil not responding.");
    EXPECT_EQ(lib.readNewestSettings(5, &v[0], &v[1], &v[2], &v[3]), 0);
}

} // namespace

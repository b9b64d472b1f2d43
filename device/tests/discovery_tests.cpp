// Discovery, binding and shutdown of the protocol core over the fake platform.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "library.h"
#include "library_inspector.h"

using namespace corvhid;

namespace {

class Discovery : public ::testing::Test {
protected:
    FakePlatform fake;
    Library lib{fake};
    std::int16_t unit = -7;

    std::string text() { return LibraryInspector::lastErrorText(lib); }
    // One step of discovery as "result unit path; last-error text".
    std::string find(bool first) {
        const Result found = first ? lib.findFirst(&unit) : lib.findNext(&unit);
        return std::to_string(found) + " " + std::to_string(unit) + " " + lib.unitPath(unit) + "; " + text();
    }
    void TearDown() override {
        lib.doneFinding();
        lib.cleanup();
        EXPECT_TRUE(fake.openHandles.empty()) << "handles left open";
        EXPECT_FALSE(fake.listing) << "listing left held";
        EXPECT_FALSE(fake.devicesReady) << "devices not let go";
        EXPECT_EQ(fake.liveAllocations, 0) << "memory left allocated";
    }
};

// Which service or entry point is missing, and its text, is the Windows
// transport's to say (its stand-in DLL builds prove each text): the core
// passes the text on and opens nothing.
TEST_F(Discovery, AListingThatCannotBeginGivesItsTextAndOpensNothing) {
    fake.add("/fake/0");
    fake.listingFailure = "HID.DLL contains invalid data (item 3)!";
    EXPECT_EQ(find(true), "0 -7 ; HID.DLL contains invalid data (item 3)!") << "the unit is written only on success";
    EXPECT_EQ(find(false), "0 -7 ; Corvil not detected!");
    EXPECT_EQ(fake.count("open"), 0);
}

TEST_F(Discovery, RecognitionSkipsOtherDevicesWithinTheSameCall) {
    fake.add("/fake/mouse").vendorId = 0x046D;
    fake.add("/fake/other-product").productId = 2;
    fake.add("/fake/old").versionNumber = 255;
    fake.add("/fake/closed").opens = false;
    fake.add("/fake/mute").attributesReadable = false;
    // An entry that names no device is not examined.
    fake.add("/fake/no-size").namesNoDevice = true;
    FakeInterface &v256 = fake.add("/fake/v256");
    v256.versionNumber = 256;
    v256.lengths = {5, 6};
    FakeInterface &vffff = fake.add("/fake/vffff");
    vffff.versionNumber = 0xFFFF;
    vffff.lengths = {7, 8};

    // The report lengths are those of the unit found last.
    EXPECT_EQ(find(true), "-1 0 /fake/v256; ");
    EXPECT_EQ(LibraryInspector::reportLengths(lib).output, 6);
    EXPECT_EQ(find(false), "-1 1 /fake/vffff; ");
    EXPECT_EQ(LibraryInspector::reportLengths(lib).input, 7);
    EXPECT_EQ(LibraryInspector::reportLengths(lib).output, 8);
    unit = -7;
    EXPECT_EQ(find(false), "0 -7 ; Corvil not detected!");

    // Each recognised unit is opened twice on its path; the others are closed again.
    EXPECT_EQ(fake.openHandles.size(), 4u);
    EXPECT_EQ(fake.count("open /fake/v256"), 2);
    EXPECT_EQ(fake.count("open /fake/old"), 1);
    EXPECT_EQ(fake.count("open /fake/no-size"), 0);
}

TEST_F(Discovery, ASecondDiscoveryAppendsAndCleanupReturnsToTheLoadedState) {
    fake.add("/fake/a");
    fake.add("/fake/b");
    lib.findFirst(&unit);
    lib.findNext(&unit);
    lib.doneFinding();
    EXPECT_EQ(find(true), "-1 2 /fake/a; ") << "the same unit gets the next number";
    EXPECT_EQ(lib.unitCount(), 3u);
    lib.doneFinding();
    EXPECT_EQ(fake.count("release"), 0) << "the devices stay ready between discoveries";

    EXPECT_EQ(lib.cleanup(), -1);
    EXPECT_EQ(text(), "");
    EXPECT_EQ(lib.unitCount(), 0u);

    // A new discovery makes ready again and numbers from 0.
    EXPECT_EQ(find(true), "-1 0 /fake/a; ");
}

TEST_F(Discovery, MemoryExhaustion) {
    fake.add("/fake/a");
    fake.allocationsUntilFailure = 0; // the transport's record of the entry
    EXPECT_EQ(find(true), "0 -7 ; Out of conventional memory!");
    EXPECT_EQ(fake.count("open"), 0);
    // The interface was not used up: the next call examines it again.
    EXPECT_EQ(find(false), "-1 0 /fake/a; Out of conventional memory!");

    fake.add("/fake/b");
    fake.add("/fake/c");
    lib.doneFinding();
    lib.cleanup();
    for (int failing : {1, 2}) { // the main-handle table, then the input-handle table
        lib.findFirst(&unit);    // registers /fake/a
        fake.allocationsUntilFailure = failing;
        unit = -7;
        EXPECT_EQ(find(false), "0 -7 ; Out of memory!");
        EXPECT_EQ(lib.unitCount(), 1u) << "the unit being registered is not counted";
        lib.doneFinding();
        lib.cleanup();
    }
}

TEST_F(Discovery, TheUnitCountNeverWraps) {
    for (int i = 0; i < 257; ++i) fake.add("/fake/" + std::to_string(i));
    ASSERT_EQ(lib.findFirst(&unit), -1);
    int registered = 1;
    while (lib.findNext(&unit) == -1) ++registered;
    EXPECT_EQ(registered, 255);
    EXPECT_EQ(unit, 254);
    EXPECT_EQ(text(), "Too many Corvil units (255 at most)!");
    EXPECT_EQ(lib.unitCount(), 255u);
    EXPECT_EQ(lib.unitPath(254), "/fake/254");
}

TEST_F(Discovery, FailedSecondOpenRegistersAUnitWhoseReadsFail) {
    FakeInterface &a = fake.add("/fake/a");
    a.secondOpenFails = true;
    a.inputQueue.push_back({3, 1, 2, 0, 0});
    ASSERT_EQ(lib.findFirst(&unit), -1);
    std::uint8_t v[4] = {9, 9, 9, 9};
    EXPECT_EQ(lib.readSettings(unit, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(fake.count("read"), 0) << "no transfer without an input handle";
    EXPECT_EQ(lib.writeSettings(unit, 1, 2, 0, 0), -1) << "writes need only the main handle";
}

TEST_F(Discovery, CallsOutsideTheCallingOrderAreHarmless) {
    fake.add("/fake/a");
    EXPECT_EQ(find(false), "0 -7 ; Corvil not detected!") << "no discovery running";
    EXPECT_EQ(lib.doneFinding(), -1);
    lib.findFirst(&unit);
    EXPECT_EQ(lib.doneFinding(), -1);
    EXPECT_EQ(lib.doneFinding(), -1) << "a second end of discovery releases nothing twice";
    EXPECT_EQ(lib.findNext(&unit), 0);
    EXPECT_EQ(lib.cleanup(), -1);
    EXPECT_EQ(lib.cleanup(), -1);
    EXPECT_EQ(lib.getErrorText(nullptr), -1);
    fake.add("/fake/b");
    lib.findFirst(&unit);
    lib.findFirst(&unit);

    // Cleanup without an end of discovery: the listing is still held, but
    // what the devices need is gone, so nothing more is examined.
    lib.cleanup();
    fake.calls.clear();
    unit = -7;
    EXPECT_EQ(find(false), "0 -7 ; Corvil not detected!");
    EXPECT_EQ(lib.unitCount(), 0u);
    EXPECT_TRUE(fake.calls.empty()) << fake.calls.front();
}

} // namespace

// Discovery over the Windows HID stack itself (no virtual units): whatever
// interfaces this system has are examined and skipped.
#include <gtest/gtest.h>

#include "library.h"
#include "library_inspector.h"
#include "win32/win32_platform.h"

using namespace corvhid;

TEST(Win32Hid, DiscoverySkipsEveryInterfaceOfThisSystem) {
    win32::Win32Platform platform;
    Library lib(platform);
    std::int16_t unit = -7;
    EXPECT_EQ(lib.findFirst(&unit), 0);
    EXPECT_STREQ(LibraryInspector::lastErrorText(lib), "Corvil not detected!");
    EXPECT_EQ(unit, -7);
    EXPECT_EQ(lib.doneFinding(), -1);
    EXPECT_EQ(lib.cleanup(), -1);
    // The services are let go and bound afresh.
    EXPECT_EQ(lib.findFirst(&unit), 0);
    lib.doneFinding();
    lib.cleanup();
}

TEST(Win32Hid, OpeningAPathThatIsNoDeviceGivesNoHandle) {
    win32::Win32Platform platform;
    EXPECT_EQ(platform.open("\\\\?\\hid#vid_1049&pid_0001#nothing#{4d1e55b2-f16f-11cf-88cb-001111000030}"), kNoHandle);
}

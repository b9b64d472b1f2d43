// sysfs as the hidraw transport reads it: one interface laid out in a
// temporary tree, whose HID device's uevent file and USB device's bcdDevice
// file hold the fuzz data.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "sysfs.h"
#include "sysfs_tree.h"

namespace {
corvil::testing::SysfsTree *tree;
std::string ueventPath, versionPath;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    tree = new corvil::testing::SysfsTree;
    std::atexit([] { delete tree; }); // the temporary tree goes with the run
    tree->add("hidraw0", "0003:00001049:00000001", "0100");
    ueventPath = tree->sys() + "/class/hidraw/hidraw0/device/uevent";
    versionPath = tree->sys() + "/devices/pci0/usb1/1-hidraw0/bcdDevice";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The first half is the uevent, the rest bcdDevice.
    const std::size_t split = size / 2 + (size ? data[0] % 2 : 0);
    std::ofstream(ueventPath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(split));
    std::ofstream(versionPath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(data + split), static_cast<std::streamsize>(size - split));
    corvhid::hidraw::readIds(tree->sys(), "hidraw0");
    corvhid::hidraw::readVersion(tree->sys(), "hidraw0");
    return 0;
}

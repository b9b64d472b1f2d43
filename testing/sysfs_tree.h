// Test support on Linux: a sysfs and /dev tree laid out in a temporary
// folder, with hidraw interfaces as the kernel shows them, for the hidraw
// transport's tests and corvilctl's diagnostics.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace corvil::testing {

namespace fs = std::filesystem;

// A Corvil's report descriptor: feature report 1, input and output reports
// 3 and 4 of four bytes.
inline const std::vector<std::uint8_t> kCorvilDescriptor = {
    0x06, 0x00, 0xFF, // usage page (vendor)
    0x09, 0x01,       // usage
    0xA1, 0x01,       // collection (application)
    0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, // logical 0..255, report size 8
    0x85, 0x01, 0x95, 0x05, 0x09, 0x02, 0xB1, 0x02, // id 1, count 5, feature
    0x85, 0x03, 0x95, 0x04, 0x09, 0x03, 0x81, 0x02, 0x09, 0x03, 0x91, 0x02, // id 3 in/out
    0x85, 0x04, 0x09, 0x04, 0x81, 0x02, 0x09, 0x04, 0x91, 0x02,             // id 4 in/out
    0xC0,
};

class SysfsTree {
public:
    SysfsTree() {
        root_ = fs::temp_directory_path() / ("corvil-sysfs-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(counter_++));
        fs::create_directories(root_ / "sys/class/hidraw");
        fs::create_directories(root_ / "dev");
    }
    ~SysfsTree() { fs::remove_all(root_); }

    // A hidraw interface of a HID device; with `usbVersion` it sits in a USB device.
    void add(const std::string &name, const char *hidId, std::optional<std::string> usbVersion,
             const std::vector<std::uint8_t> &descriptor = kCorvilDescriptor) {
        fs::path usb = root_ / "sys/devices/pci0/usb1" / ("1-" + name);
        fs::path hid = (usbVersion ? usb / "1-1:1.0" : root_ / "sys/devices/virtual/bt") / ("hid-" + name);
        fs::create_directories(hid / "hidraw" / name);
        if (usbVersion) std::ofstream(usb / "bcdDevice") << *usbVersion << "\n";
        std::ofstream(hid / "uevent") << "DRIVER=hid-generic\nHID_ID=" << hidId << "\nHID_NAME=test\n";
        std::ofstream(hid / "report_descriptor", std::ios::binary)
            .write(reinterpret_cast<const char *>(descriptor.data()), static_cast<std::streamsize>(descriptor.size()));
        fs::create_directory_symlink(fs::relative(hid / "hidraw" / name, root_ / "sys/class/hidraw"),
                                     root_ / "sys/class/hidraw" / name);
        fs::create_directory_symlink("../..", hid / "hidraw" / name / "device");
        std::ofstream(root_ / "dev" / name) << "";
    }
    std::string sys() const { return (root_ / "sys").string(); }
    std::string dev() const { return (root_ / "dev").string(); }

private:
    fs::path root_;
    static inline int counter_ = 0;
};

} // namespace corvil::testing

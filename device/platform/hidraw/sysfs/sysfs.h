// What sysfs says about hidraw interfaces: which exist, their vendor and
// product ids, the version of the USB device they belong to, and their report
// descriptor. The root is a parameter so that tests can lay out a tree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvhid::hidraw {

struct Ids {
    std::uint16_t vendorId = 0, productId = 0;
};

// "hidraw0", "hidraw1", ... in numeric order.
std::vector<std::string> listInterfaces(const std::string &sysRoot);
// From the HID device's uevent (HID_ID=bus:vendor:product).
std::optional<Ids> readIds(const std::string &sysRoot, const std::string &name);
// bcdDevice of the nearest USB device above the interface.
std::optional<std::uint16_t> readVersion(const std::string &sysRoot, const std::string &name);
std::optional<std::vector<std::uint8_t>> readDescriptor(const std::string &sysRoot, const std::string &name);

} // namespace corvhid::hidraw

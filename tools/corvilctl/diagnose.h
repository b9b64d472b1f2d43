// What corvilctl can tell a Linux user whose unit does not show up: every
// HID interface examined and why it was passed over, and the checks of the
// machine's set-up (the udev rule, a seat with uaccess, the emulators'
// private rendezvous).
#pragma once

#include <string>
#include <vector>

namespace corvilctl {

// Where the system's trees are: "/sys" and "/dev", or a test's own.
struct Roots {
    std::string sys = "/sys", dev = "/dev";
    std::string rules; // put before the folders udev reads its rules from
    static Roots fromEnvironment(); // CORVILCTL_SYSFS_ROOT, CORVILCTL_DEV_ROOT, CORVILCTL_RULES_ROOT
};

struct Examined {
    std::string path;   // /dev/hidrawN
    std::string ids;    // "1049:0001 version 0x0100", or what could not be read
    bool corvil = false; // a Corvil of a version this software drives
    bool usable = false; // ... and this user may open it
    std::string reason; // why it is passed over, with what to do
};

// Every hidraw interface, in numeric order.
std::vector<Examined> examineInterfaces(const Roots &roots);

// One line each: "ok", "warning" or "problem", what was found, what to do.
struct Check {
    std::string level, text;
};
std::vector<Check> checkSetup(const Roots &roots);

// The udev rule 70-corvil.rules where udev reads it, or "" when none is.
std::string installedRule(const Roots &roots);

// What a user who may not open the unit does: with the rule installed, plug
// the unit in again (or work from the seat, or through a group); without it,
// install it.
std::string udevAdvice(const Roots &roots);

} // namespace corvilctl

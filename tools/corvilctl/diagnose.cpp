#include "diagnose.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "corvhid.h"
#include "sysfs.h"

namespace corvilctl {

namespace {
constexpr std::uint16_t kVendorId = CORVHID_VENDOR_ID, kProductId = CORVHID_PRODUCT_ID,
                        kMinimumVersion = CORVHID_MINIMUM_VERSION;
const char *const kRuleDirs[] = {"/etc/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d",
                                 "/usr/local/lib/udev/rules.d"};
std::string hex4(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", v);
    return text;
}
} // namespace

Roots Roots::fromEnvironment() {
    Roots r;
    if (const char *s = std::getenv("CORVILCTL_SYSFS_ROOT"); s && *s) r.sys = s;
    if (const char *d = std::getenv("CORVILCTL_DEV_ROOT"); d && *d) r.dev = d;
    if (const char *u = std::getenv("CORVILCTL_RULES_ROOT"); u && *u) r.rules = u;
    return r;
}

std::string installedRule(const Roots &roots) {
    for (const char *dir : kRuleDirs) {
        const std::string path = roots.rules + dir + "/70-corvil.rules";
        if (::access(path.c_str(), R_OK) == 0) return path;
    }
    return {};
}

std::string udevAdvice(const Roots &roots) {
    const std::string rule = installedRule(roots);
    if (rule.empty())
        return "no udev rule 70-corvil.rules is installed: install the package libcorvhid1 (or copy "
               "70-corvil.rules from the sources' packaging/udev into /etc/udev/rules.d), then plug the unit "
               "in again";
    return "the udev rule " + rule + " gives the unit to the user logged in at the machine's seat: plug the "
           "unit in again (or run sudo udevadm trigger --action=change --subsystem-match=hidraw); without a "
           "seat (SSH, cron, a service) give it to a group, as corvilctl(1) shows under SCRIPTS AND SERVICES";
}

std::vector<Examined> examineInterfaces(const Roots &roots) {
    using namespace corvhid::hidraw;
    std::vector<Examined> result;
    for (const std::string &name : listInterfaces(roots.sys)) {
        Examined e;
        e.path = roots.dev + "/" + name;
        const auto ids = readIds(roots.sys, name);
        const auto version = readVersion(roots.sys, name);
        if (!ids) {
            e.ids = "no ids in sysfs";
            e.reason = "not a HID device that says what it is";
            result.push_back(e);
            continue;
        }
        e.ids = hex4(ids->vendorId) + ":" + hex4(ids->productId) +
                (version ? " version 0x" + hex4(*version) : std::string(" version unknown"));
        if (ids->vendorId != kVendorId || ids->productId != kProductId) {
            e.reason = "another vendor or product (a Corvil is 1049:0001)";
        } else if (!version || *version < kMinimumVersion) {
            e.reason = "a Corvil whose version is below 0x0100: too old for this software";
        } else {
            e.corvil = true;
            const int fd = ::open(e.path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
                e.usable = true;
                e.reason = "a Corvil this user may open";
            } else if (errno == EACCES || errno == EPERM) {
                e.reason = "a Corvil this user may not open (permission denied): " + udevAdvice(roots);
            } else {
                e.reason = std::string("a Corvil that cannot be opened: ") + std::strerror(errno);
            }
        }
        result.push_back(e);
    }
    return result;
}

std::vector<Check> checkSetup(const Roots &roots) {
    std::vector<Check> checks;

    if (const std::string rule = installedRule(roots); !rule.empty())
        checks.push_back({"ok", "udev rule: " + rule});
    else
        checks.push_back({"problem", "only root may open a unit: " + udevAdvice(roots)});

    // uaccess gives the unit to the user of the session at a seat.
    const char *session = std::getenv("XDG_SESSION_ID");
    std::string seat;
    if (session && *session) {
        std::ifstream in(std::string("/run/systemd/sessions/") + session);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("SEAT=", 0) == 0) seat = line.substr(5);
    }
    if (!seat.empty())
        checks.push_back({"ok", "this login session is at " + seat + ": the udev rule gives it the unit"});
    else
        checks.push_back({"warning", "this login session is at no seat (remote, a container, or no logind): the "
                                     "udev rule gives the unit to the user at the machine's seat only; work "
                                     "from that seat, or give the unit to a group (corvilctl(1), SCRIPTS AND "
                                     "SERVICES)"});

    // The emulators' rendezvous is private to this user, or nothing there counts.
    std::string dir;
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
        dir = std::string(runtime) + "/corvil";
    else
        dir = "/tmp/corvil-" + std::to_string(::getuid());
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        if (errno == ENOENT)
            checks.push_back({"ok", "virtual units' rendezvous " + dir + ": none yet (corvil-emulator makes it)"});
        else
            checks.push_back({"warning", "virtual units' rendezvous " + dir + " cannot be examined: " +
                                             std::strerror(errno) + "; set XDG_RUNTIME_DIR to a folder of your own"});
    } else if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        checks.push_back({"problem", "the virtual units' rendezvous " + dir + " is not this user's private folder "
                                     "(owner " + std::to_string(st.st_uid) + ", mode " + mode +
                                     "), so its units are ignored: remove it, and corvil-emulator makes it anew"});
    } else {
        checks.push_back({"ok", "virtual units' rendezvous " + dir + ": private to this user"});
    }

    int corvils = 0, usable = 0;
    for (const Examined &e : examineInterfaces(roots)) {
        if (!e.corvil) continue;
        ++corvils;
        if (e.usable) ++usable;
        checks.push_back({e.usable ? "ok" : "problem", e.path + ": " + e.reason});
    }
    if (corvils == 0)
        checks.push_back({"warning", "no Corvil attached: plug it in (`corvilctl list --all` shows every HID "
                                     "interface and why it is passed over)"});
    return checks;
}

} // namespace corvilctl

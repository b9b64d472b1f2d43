// corvilctl: the Corvil switcher from the command line, for people and scripts.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "composite_platform.h"
#include "corvhid.h"
#include "corvhid_records.h"
#include "library.h"

#if defined(__linux__)
#include <unistd.h>

#include "diagnose.h"
#endif

namespace {

namespace records = corvhid::records;

const char kUsage[] =
    "Usage: corvilctl [--unit N | --serial XXXXX] COMMAND\n"
    "       corvilctl --help | --version\n"
    "commands:\n"
    "  list [--all]               the units found: number, serial, path; --all: also every HID\n"
    "                             interface examined and why it was passed over (Linux)\n"
    "  show                       routing, pads and auto-sequencing of the unit\n"
    "  route OUT IN               route input IN (1-8, 0 = none) to output OUT (1-2)\n"
    "  pad OUT IN on|off          35 dB pad of input IN on output OUT\n"
    "  seq OUT [--inputs LIST] [--interval SECONDS|disabled] [on|off]\n"
    "                             auto-sequencing of output OUT; LIST is like 1,3,5\n"
    "  serial [--set XXXXX]       read or write the serial number\n"
    "  watch [--changes N]        print each change the unit reports (until interrupted)\n"
    "  watch --raw [--count N]    print each report as it arrives, with the time and its bytes\n"
    "  doctor                     check this machine's set-up for the unit (Linux)\n"
    "list, show, serial, watch and doctor print JSON with --json.\n"
    "Exit status: 0 done, 1 the unit did not answer, 2 bad usage, 3 no unit found.\n";

// Exit statuses: the unit did not answer (or a check of doctor's found a
// problem), the command line was wrong, no unit was found (or none with the
// number or serial number asked for).
constexpr int kOk = 0, kUnitFailed = 1, kBadArguments = 2, kNoUnit = 3;

struct Failure {
    int code;
    std::string message;
};

[[noreturn]] void usageError(const std::string &why) {
    throw Failure{kBadArguments, why + "\nTry 'corvilctl --help' for more information."};
}

std::string lastError() {
    char text[132] = {};
    GetCorvilErrStringA(text);
    return text;
}

[[noreturn]] void unitError(const std::string &what) {
    std::string text = lastError();
    throw Failure{kUnitFailed, what + (text.empty() ? std::string() : ": " + text)};
}

bool parseUnsigned(const std::string &s, unsigned long &value, unsigned long high) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos || s.size() > 9) return false;
    value = std::strtoul(s.c_str(), nullptr, 10);
    return value <= high;
}

// A serial number as the unit holds it: a host may have written any byte, so
// bytes outside printable ASCII show as \xNN (as corvil-emulator's state shows
// them) and a zero byte does not cut the rest off.
std::string shownSerial(const std::string &serial) {
    std::string shown;
    for (unsigned char c : serial) {
        if (c >= 0x21 && c <= 0x7E) {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    return shown;
}

// SECONDS of --interval: a plain decimal (digits, then a point and digits),
// taken exactly; no sign, blanks, exponent, hexadecimal or infinity/nan forms.
// The result is the interval code, 1 to 18 (0.5 s each).
bool parseInterval(const std::string &v, unsigned &code) {
    const std::size_t point = v.find('.');
    const std::string whole = v.substr(0, point);
    std::string fraction = point == std::string::npos ? std::string() : v.substr(point + 1);
    unsigned long seconds = 0;
    if (!parseUnsigned(whole, seconds, 9)) return false;
    if (point != std::string::npos &&
        (fraction.empty() || fraction.find_first_not_of("0123456789") != std::string::npos))
        return false;
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty() && fraction != "5") return false;
    const unsigned long halves = seconds * 2 + (fraction.empty() ? 0 : 1);
    if (halves < 1 || halves > static_cast<unsigned long>(records::kIntervalCodes)) return false;
    code = static_cast<unsigned>(halves);
    return true;
}

std::string inputList(unsigned mask) {
    std::string out;
    for (int n = 1; n <= records::kInputs; ++n) {
        if (!records::has(static_cast<std::uint8_t>(mask), n)) continue;
        if (!out.empty()) out += ',';
        out += std::to_string(n);
    }
    return out;
}

std::string jsonList(unsigned mask) { return "[" + inputList(mask) + "]"; }

std::string jsonString(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        char escaped[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c > 0x7E) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string intervalText(unsigned code) {
    if (code == 0) return "disabled";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f s", records::intervalSeconds(static_cast<int>(code)));
    return text;
}

// ---- finding the unit ------------------------------------------------------

struct Unit {
    short number;
    std::string serial;
    std::string path;
};

std::string whyNoUnit() {
    std::string advice = "no Corvil unit found (" + lastError() + ")";
#if defined(__linux__)
    for (const corvilctl::Examined &e : corvilctl::examineInterfaces(corvilctl::Roots::fromEnvironment()))
        if (e.corvil && !e.usable) return advice + ".\n" + e.path + " is " + e.reason + ".";
#endif
    return advice + ".\nCheck that the unit is plugged in; for a virtual unit, start corvil-emulator.";
}

std::vector<Unit> discover(bool mayBeNone = false) {
    std::vector<Unit> units;
    short number = 0;
    for (corvhid_result found = FindFirstCorvil(&number); found; found = FindNextCorvil(&number)) {
        Unit u{number, "", ""};
        char serial[6] = {};
        if (ReadCorvilSerialNumberA(number, serial)) u.serial.assign(serial, 5);
        units.push_back(u);
    }
    if (units.empty() && !mayBeNone) {
        std::string why = whyNoUnit();
        DoneFindingCorvils();
        throw Failure{kNoUnit, why};
    }
    DoneFindingCorvils();
    return units;
}

// The platform path of each unit, by unit number. The library's exports do
// not give paths, so a discovery of our own over the same device code (built
// in) numbers the same units in the same order; when the units changed in
// between (the counts differ), no path is shown.
void addPaths(std::vector<Unit> &units) {
    std::vector<std::string> paths;
    try {
        const std::unique_ptr<corvhid::Platform> platform = corvhid::makeSystemPlatform();
        corvhid::Library core(*platform);
        std::int16_t number = 0;
        for (auto found = core.findFirst(&number); found == corvhid::kSuccess; found = core.findNext(&number))
            paths.push_back(core.unitPath(number));
        core.doneFinding();
        core.cleanup();
    } catch (...) {
        return;
    }
    if (paths.size() != units.size()) return;
    for (std::size_t i = 0; i < units.size(); ++i) units[i].path = paths[i];
}

struct Selection {
    std::optional<unsigned long> unit;
    std::optional<std::string> serial;
};

Unit select(const Selection &s) {
    std::vector<Unit> units = discover();
    if (s.unit) {
        for (const Unit &u : units)
            if (static_cast<unsigned long>(u.number) == *s.unit) return u;
        throw Failure{kNoUnit, "there is no unit " + std::to_string(*s.unit) + " (" +
                                       std::to_string(units.size()) + " found)"};
    }
    if (s.serial) {
        for (const Unit &u : units)
            if (u.serial == *s.serial) return u;
        throw Failure{kNoUnit, "no unit has the serial number " + *s.serial};
    }
    return units.front();
}

// ---- records ---------------------------------------------------------------

struct Settings {
    unsigned char input[2] = {}, pads[2] = {};
};
struct Sequencing {
    unsigned char inputs[2] = {}, control[2] = {};
};

Settings readSettings(short unit) {
    Settings s;
    if (!ReadCorvilSettings(unit, &s.input[0], &s.input[1], &s.pads[0], &s.pads[1]))
        unitError("could not read the settings");
    return s;
}

Sequencing readSequencing(short unit) {
    Sequencing q;
    if (!ReadCorvilAutoSequencingParameters(unit, &q.inputs[0], &q.inputs[1], &q.control[0], &q.control[1]))
        unitError("could not read the auto-sequencing parameters");
    return q;
}

void describe(const Unit &u, const Settings &s, const Sequencing &q, bool json) {
    if (json) {
        std::printf("{\"unit\":%d,\"serial\":%s,\"outputs\":[", u.number, jsonString(u.serial).c_str());
        for (int c = 0; c < 2; ++c) {
            const int code = records::intervalCode(q.control[c]);
            std::printf("%s{\"output\":%d,\"input\":%u,\"padMask\":%u,\"pads\":%s,"
                        "\"autoSequencing\":{\"on\":%s,\"intervalCode\":%d,\"intervalSeconds\":%.1f,"
                        "\"inputMask\":%u,\"inputs\":%s}}",
                        c ? "," : "", c + 1, s.input[c], s.pads[c], jsonList(s.pads[c]).c_str(),
                        records::switchedOn(q.control[c]) ? "true" : "false", code, records::intervalSeconds(code),
                        q.inputs[c],
                        jsonList(q.inputs[c]).c_str());
        }
        std::printf("]}\n");
        return;
    }
    std::printf("Unit %d, serial %s\n", u.number, shownSerial(u.serial).c_str());
    for (int c = 0; c < 2; ++c) {
        const unsigned in = s.input[c];
        std::string routed = in == 0 ? "no input" : in <= 8 ? "input " + std::to_string(in)
                                                            : "undefined input value " + std::to_string(in);
        if (records::padShown(s.input[c], s.pads[c])) routed += " (35 dB pad in)";
        const std::string pads = s.pads[c] ? inputList(s.pads[c]) : "none";
        const std::string through = q.inputs[c] ? inputList(q.inputs[c]) : "none";
        std::printf("Output %d: %s\n  pads in on inputs: %s\n  auto-sequencing: %s, interval %s, inputs: %s\n",
                    c + 1, routed.c_str(), pads.c_str(), records::switchedOn(q.control[c]) ? "on" : "off",
                    intervalText(records::intervalCode(q.control[c])).c_str(), through.c_str());
    }
}

// --json: the reading commands print JSON instead of text (one object a
// line; watch prints one a change or report).
bool gJson = false;

void printSettings(const Settings &s) {
    if (gJson)
        std::printf("{\"record\":\"settings\",\"input1\":%u,\"input2\":%u,\"padMask1\":%u,\"padMask2\":%u}\n",
                    s.input[0], s.input[1], s.pads[0], s.pads[1]);
    else
        std::printf("settings: input1=%u input2=%u pads1=0x%02x pads2=0x%02x\n", s.input[0], s.input[1], s.pads[0],
                    s.pads[1]);
    std::fflush(stdout);
}

void printSequencing(const Sequencing &q) {
    if (gJson)
        std::printf("{\"record\":\"autoSequencing\",\"inputMask1\":%u,\"inputMask2\":%u,\"control1\":%u,"
                    "\"control2\":%u}\n",
                    q.inputs[0], q.inputs[1], q.control[0], q.control[1]);
    else
        std::printf("auto-sequencing: inputs1=0x%02x inputs2=0x%02x control1=0x%02x control2=0x%02x\n", q.inputs[0],
                    q.inputs[1], q.control[0], q.control[1]);
    std::fflush(stdout);
}

// ---- commands --------------------------------------------------------------

unsigned long outputArg(const std::vector<std::string> &args, std::size_t i) {
    unsigned long out = 0;
    if (i >= args.size() || !parseUnsigned(args[i], out, 2) || out < 1) usageError("OUT is 1 or 2");
    return out;
}

bool onOffArg(const std::string &word) {
    if (word != "on" && word != "off") usageError("expected on or off, not \"" + word + "\"");
    return word == "on";
}

std::atomic<bool> gInterrupted{false};
void onInterrupt(int) { gInterrupted = true; }

// Each report as the library reads it: which record came is told by an
// input byte primed with 255, which a unit never reports; the bytes are the
// report's id and its four record bytes in their order on the wire.
int watchRaw(short unit, unsigned long count) {
    const auto start = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::time_point> failingSince;
    for (unsigned long seen = 0; !gInterrupted && (count == 0 || seen < count);) {
        Settings s;
        Sequencing q;
        s.input[0] = 255;
        q.control[0] = 255;
        if (!ReadCorvilAllSettings(unit, &s.input[0], &s.input[1], &s.pads[0], &s.pads[1], &q.inputs[0],
                                   &q.inputs[1], &q.control[0], &q.control[1])) {
            const auto now = std::chrono::steady_clock::now();
            if (!failingSince) failingSince = now;
            if (now - *failingSince > std::chrono::seconds(2)) unitError("the unit stopped answering");
            continue;
        }
        failingSince.reset();
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const bool settings = s.input[0] != 255;
        std::uint8_t bytes[5] = {settings ? records::kSettingsReportId : records::kAutoSequencingReportId};
        records::toReport(settings ? records::Record{{s.input[0], s.input[1]}, {s.pads[0], s.pads[1]}}
                                   : records::Record{{q.inputs[0], q.inputs[1]}, {q.control[0], q.control[1]}},
                          bytes);
        if (gJson)
            std::printf("{\"seconds\":%.3f,\"report\":[%u,%u,%u,%u,%u]}\n", t, bytes[0], bytes[1], bytes[2], bytes[3],
                        bytes[4]);
        else
            std::printf("%10.3f  %02x %02x %02x %02x %02x\n", t, bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]);
        std::fflush(stdout);
        ++seen;
    }
    return kOk;
}

// The unit's records as they change, each change once.
int watchChanges(short unit, unsigned long changes) {
    Settings s = readSettings(unit);
    Sequencing q = readSequencing(unit);
    printSettings(s);
    printSequencing(q);
    unsigned long seen = 0;
    std::optional<std::chrono::steady_clock::time_point> failingSince;
    while (!gInterrupted && (changes == 0 || seen < changes)) {
        Settings ns = s;
        Sequencing nq = q;
        if (!ReadCorvilAllSettings(unit, &ns.input[0], &ns.input[1], &ns.pads[0], &ns.pads[1],
                                   &nq.inputs[0], &nq.inputs[1], &nq.control[0], &nq.control[1])) {
            const auto now = std::chrono::steady_clock::now();
            if (!failingSince) failingSince = now;
            if (now - *failingSince > std::chrono::seconds(2)) unitError("the unit stopped answering");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        failingSince.reset();
        if (std::memcmp(&ns, &s, sizeof s) != 0) {
            s = ns;
            printSettings(s);
            ++seen;
        }
        if (std::memcmp(&nq, &q, sizeof q) != 0) {
            q = nq;
            printSequencing(q);
            ++seen;
        }
    }
    return kOk;
}

int listUnits(const Selection &sel, const std::vector<std::string> &args) {
    const bool all = args.size() == 2 && args[1] == "--all";
    if (args.size() != 1 && !all) usageError("list takes only --all");
    if (sel.unit || sel.serial) usageError("list shows every unit: it takes no --unit or --serial");
    std::vector<Unit> units = discover(all);
    addPaths(units);
    if (gJson) {
        std::printf("{\"units\":[");
        for (const Unit &u : units)
            std::printf("%s{\"unit\":%d,\"serial\":%s,\"path\":%s}", &u == &units.front() ? "" : ",", u.number,
                        jsonString(u.serial).c_str(), jsonString(u.path).c_str());
        std::printf("]");
#if defined(__linux__)
        if (all) {
            std::printf(",\"interfaces\":[");
            const char *comma = "";
            for (const corvilctl::Examined &e : corvilctl::examineInterfaces(corvilctl::Roots::fromEnvironment())) {
                std::printf("%s{\"path\":%s,\"ids\":%s,\"corvil\":%s,\"usable\":%s,\"reason\":%s}", comma,
                            jsonString(e.path).c_str(), jsonString(e.ids).c_str(), e.corvil ? "true" : "false",
                            e.usable ? "true" : "false", jsonString(e.reason).c_str());
                comma = ",";
            }
            std::printf("]");
        }
#endif
        std::printf("}\n");
        return kOk;
    }
    for (const Unit &u : units)
        std::printf("%d  %s  %s\n", u.number, shownSerial(u.serial).c_str(), u.path.c_str());
    if (all) {
#if defined(__linux__)
        std::printf("HID interfaces examined:\n");
        for (const corvilctl::Examined &e : corvilctl::examineInterfaces(corvilctl::Roots::fromEnvironment()))
            std::printf("  %s  %s  %s%s\n", e.path.c_str(), e.ids.c_str(), e.usable ? "" : "passed over: ",
                        e.reason.c_str());
#else
        std::printf("(examining every HID interface is for Linux)\n");
#endif
    }
    return kOk;
}

int doctor(const Selection &, const std::vector<std::string> &args) {
    if (args.size() != 1) usageError("doctor takes no arguments");
#if defined(__linux__)
    bool problem = false;
    const char *comma = "";
    if (gJson) std::printf("{\"checks\":[");
    for (const corvilctl::Check &c : corvilctl::checkSetup(corvilctl::Roots::fromEnvironment())) {
        if (gJson)
            std::printf("%s{\"level\":%s,\"text\":%s}", comma, jsonString(c.level).c_str(), jsonString(c.text).c_str());
        else
            std::printf("%s: %s\n", c.level.c_str(), c.text.c_str());
        comma = ",";
        problem = problem || c.level == "problem";
    }
    if (gJson) std::printf("]}\n");
    return problem ? kUnitFailed : kOk;
#else
    usageError("doctor checks a Linux machine's set-up");
#endif
}

int show(const Selection &sel, const std::vector<std::string> &args) {
    if (args.size() != 1) usageError("show takes only --json");
    Unit u = select(sel);
    Settings s = readSettings(u.number);
    Sequencing q = readSequencing(u.number);
    describe(u, s, q, gJson);
    return kOk;
}

int route(const Selection &sel, const std::vector<std::string> &args) {
    if (args.size() != 3) usageError("route needs OUT and IN");
    unsigned long out = outputArg(args, 1), in = 0;
    if (!parseUnsigned(args[2], in, 8)) usageError("IN is 0 (no input) to 8");
    Unit u = select(sel);
    Settings s = readSettings(u.number);
    unsigned char input[2] = {records::kLeaveInput, records::kLeaveInput};
    input[out - 1] = static_cast<unsigned char>(in);
    if (!WriteCorvilSettings(u.number, input[0], input[1], s.pads[0], s.pads[1]))
        unitError("could not send the routing");
    return kOk;
}

int pad(const Selection &sel, const std::vector<std::string> &args) {
    if (args.size() != 4) usageError("pad needs OUT, IN and on or off");
    unsigned long out = outputArg(args, 1), in = 0;
    if (!parseUnsigned(args[2], in, 8) || in < 1) usageError("IN is 1 to 8");
    bool on = onOffArg(args[3]);
    Unit u = select(sel);
    Settings s = readSettings(u.number);
    s.pads[out - 1] = records::with(s.pads[out - 1], static_cast<int>(in), on);
    if (!WriteCorvilSettings(u.number, records::kLeaveInput, records::kLeaveInput, s.pads[0], s.pads[1]))
        unitError("could not send the pads");
    return kOk;
}

// "1,3,5" or "none" as an input mask.
unsigned inputMask(const std::string &list) {
    unsigned mask = 0;
    if (list == "none") return mask;
    for (std::size_t at = 0; at <= list.size();) {
        std::size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        unsigned long n = 0;
        if (!parseUnsigned(list.substr(at, comma - at), n, 8) || n < 1)
            usageError("--inputs takes inputs 1 to 8 like 1,3,5, or none");
        mask |= records::bit(static_cast<int>(n));
        at = comma + 1;
    }
    return mask;
}

int sequencing(const Selection &sel, const std::vector<std::string> &args) {
    unsigned long out = outputArg(args, 1);
    std::optional<unsigned> mask, code;
    std::optional<bool> on;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--inputs" && i + 1 < args.size()) {
            mask = inputMask(args[++i]);
        } else if (args[i] == "--interval" && i + 1 < args.size()) {
            std::string v = args[++i];
            if (v == "disabled") {
                code = 0;
            } else {
                unsigned parsed = 0;
                if (!parseInterval(v, parsed))
                    usageError("--interval is 0.5 to 9.0 seconds in steps of 0.5, or disabled");
                code = parsed;
            }
        } else if (args[i] == "on" || args[i] == "off") {
            on = args[i] == "on";
        } else {
            usageError("seq takes --inputs LIST, --interval SECONDS and on or off, not \"" + args[i] + "\"");
        }
    }
    if (!mask && !code && !on) usageError("seq needs something to change");
    Unit u = select(sel);
    Sequencing q = readSequencing(u.number);
    const int c = static_cast<int>(out) - 1;
    if (mask) q.inputs[c] = static_cast<unsigned char>(*mask);
    if (code) q.control[c] = records::control(records::switchedOn(q.control[c]), static_cast<int>(*code));
    if (on) q.control[c] = records::control(*on, records::intervalCode(q.control[c]));
    // A channel that includes no input is not sequenced: it goes out off
    // (its interval kept), as Corvil Switcher sends it.
    for (int k = 0; k < 2; ++k) {
        if (q.inputs[k] != 0 || !records::switchedOn(q.control[k])) continue;
        q.control[k] = records::control(false, records::intervalCode(q.control[k]));
        if (k == c && on && *on)
            std::fprintf(stderr, "corvilctl: output %d includes no input: auto-sequencing stays off\n", k + 1);
    }
    if (!WriteCorvilAutoSequencingParameters(u.number, q.inputs[0], q.inputs[1], q.control[0], q.control[1]))
        unitError("could not send the auto-sequencing parameters");
    return kOk;
}

int serial(const Selection &sel, const std::vector<std::string> &args) {
    if (args.size() == 1) {
        Unit u = select(sel);
        char serial[6] = {};
        if (!ReadCorvilSerialNumberA(u.number, serial)) unitError("could not read the serial number");
        if (gJson)
            std::printf("{\"unit\":%d,\"serial\":%s}\n", u.number, jsonString(std::string(serial, 5)).c_str());
        else
            std::printf("%s\n", shownSerial(std::string(serial, 5)).c_str());
        return kOk;
    }
    if (args.size() != 3 || args[1] != "--set") usageError("serial takes only --set XXXXX or --json");
    if (gJson) usageError("--json is for reading the serial number, not for --set");
    if (args[2].size() != 5) usageError("a serial number has exactly five characters");
    Unit u = select(sel);
    if (!WriteCorvilSerialNumberA(u.number, args[2].c_str())) unitError("could not write the serial number");
    return kOk;
}

int watch(const Selection &sel, const std::vector<std::string> &args) {
    // watch [--changes N] | watch --raw [--count N]; a count of 0: until interrupted.
    const bool raw = args.size() >= 2 && args[1] == "--raw";
    const std::size_t first = raw ? 2 : 1;
    const char *option = raw ? "--count" : "--changes";
    unsigned long changes = 0;
    if (args.size() == first + 2 && args[first] == option) {
        if (!parseUnsigned(args[first + 1], changes, 1000000) || changes == 0)
            usageError(std::string(option) + " takes a count");
    } else if (args.size() != first) {
        usageError(raw ? "watch --raw takes only --count N" : "watch takes only --changes N");
    }
    Unit u = select(sel);
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    return raw ? watchRaw(u.number, changes) : watchChanges(u.number, changes);
}

// The commands by name, as the usage text lists them.
using Command = int (*)(const Selection &, const std::vector<std::string> &);
const std::pair<const char *, Command> kCommands[] = {
    {"list", listUnits},
    {"doctor", doctor},
    {"show", show},
    {"route", route},
    {"pad", pad},
    {"seq", sequencing},
    {"serial", serial},
    {"watch", watch},
};

// The commands that read: each takes --json.
bool reads(const std::string &command) {
    return command == "list" || command == "show" || command == "serial" || command == "watch" || command == "doctor";
}

int run(const Selection &sel, std::vector<std::string> args) {
    if (reads(args[0])) {
        const auto json = std::remove(args.begin() + 1, args.end(), std::string("--json"));
        gJson = json != args.end();
        args.erase(json, args.end());
    }
    for (const auto &[name, command] : kCommands)
        if (args[0] == name) return command(sel, args);
    usageError("unknown command '" + args[0] + "'");
}

} // namespace

int main(int argc, char **argv) {
    Selection sel;
    std::vector<std::string> args;
    try {
        for (int i = 1; i < argc; ++i) {
            std::string a = argv[i];
            if (a == "--help" || a == "-h") {
                std::fputs(kUsage, stdout);
                return kOk;
            }
            if (a == "--version") {
                std::printf("corvilctl %s\n", CORVIL_VERSION);
                return kOk;
            }
            if ((a == "--unit" || a == "--serial") && !args.empty())
                usageError(a + " chooses the unit for every command, so it goes before the command: corvilctl " +
                           a + " " + (i + 1 < argc ? argv[i + 1] : a == "--unit" ? "N" : "XXXXX") + " " + args[0] +
                           " ...");
            if (a == "--unit") {
                unsigned long n = 0;
                if (i + 1 >= argc || !parseUnsigned(argv[++i], n, 254)) usageError("--unit takes a unit number");
                sel.unit = n;
            } else if (a == "--serial") {
                if (i + 1 >= argc || std::strlen(argv[i + 1]) != 5) usageError("--serial takes five characters");
                sel.serial = argv[++i];
            } else if (args.empty() && a.size() > 1 && a[0] == '-') {
                usageError("unknown option '" + a + "'");
            } else {
                args.push_back(a);
            }
        }
        if (sel.unit && sel.serial) usageError("choose the unit by --unit or by --serial, not both");
        if (args.empty()) usageError("no command given");
        int code = run(sel, args);
        CleanupCorvil();
        return code;
    } catch (const Failure &f) {
        CleanupCorvil();
        std::fprintf(stderr, "corvilctl: %s\n", f.message.c_str());
        return f.code;
    }
}

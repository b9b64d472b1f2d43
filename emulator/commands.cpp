#include "commands.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "wire.h"

namespace corvil::emulator {

bool parseNumber(const std::string &token, unsigned long &value) {
    const bool hex = token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
    const std::string digits = token.substr(hex ? 2 : 0);
    // Digits only: strtoul itself would take blanks and a sign ("0x+5", "-1").
    if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return false;
    char *end = nullptr;
    errno = 0;
    value = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
    return errno == 0 && *end == '\0';
}

std::string parseOptions(const std::vector<std::string> &args, Options &options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &option = args[i];
        if (option == "--help" || option == "-h") {
            options.help = true;
            return {};
        }
        // "--version N" set the units' version number before there was a
        // program version to print; with a number it still does.
        unsigned long ignored = 0;
        if (option == "--version" && (i + 1 >= args.size() || !parseNumber(args[i + 1], ignored))) {
            options.version = true;
            return {};
        }
        static const char *const kKnown[] = {"--serial",         "--vendor-id",    "--product-id",
                                             "--device-version", "--version",      "--report-period-ms",
                                             "--input-length",   "--output-length"};
        bool known = false;
        for (const char *k : kKnown) known = known || option == k;
        if (!known) return "unknown option '" + option + "'";
        if (i + 1 >= args.size()) return option + " needs a value";
        const std::string &value = args[++i];
        unsigned long n = 0;
        if (option == "--serial") {
            if (value.size() != 5) return "a serial number has five characters, not \"" + value + "\"";
            for (const std::string &given : options.serials)
                if (given == value) return "the serial number " + value + " is given twice";
            options.serials.push_back(value);
            continue;
        }
        if (!parseNumber(value, n)) return option + " takes a number, not \"" + value + "\"";
        UnitConfig &shared = options.shared;
        if (option == "--vendor-id" || option == "--product-id" || option == "--device-version" ||
            option == "--version") {
            if (n > 0xFFFF) return option + " must be 0 to 65535";
            auto v = static_cast<std::uint16_t>(n);
            (option == "--vendor-id" ? shared.vendorId : option == "--product-id" ? shared.productId
                                                                                    : shared.versionNumber) = v;
        } else if (option == "--report-period-ms") {
            if (n < 1 || n > 60000) return "--report-period-ms must be 1 to 60000";
            shared.reportPeriodMs = static_cast<int>(n);
        } else if (option == "--input-length" || option == "--output-length") {
            if (n < 5 || n > corvhid::wire::kMaxReportLength)
                return option + " must be 5 to " + std::to_string(corvhid::wire::kMaxReportLength);
            (option == "--input-length" ? shared.inputLength : shared.outputLength) = static_cast<std::uint16_t>(n);
        }
    }
    if (options.serials.empty()) options.serials.push_back("EMU01");
    return {};
}

namespace {

// Every command on standard input, as `help` and --help list them.
struct CommandHelp {
    const char *synopsis, *what;
};
const CommandHelp kCommandHelp[] = {
    {"route U O I", "input I (0-8) to output O, as the front panel would"},
    {"pad U O I on|off", "35 dB pad of input I (1-8) on output O"},
    {"seq-inputs U O MASK", "include mask (0-255, decimal or 0x..)"},
    {"seq-interval U O CODE", "interval code (0-127)"},
    {"seq U O on|off", "bit 7 of the control byte"},
    {"state U", "the unit's settings and serial number"},
    {"outputs U", "the output reports a host sent"},
    {"raw U HEX...", "send these bytes as the next input report"},
    {"silence U on|off", "stop or start sending input reports while staying attached"},
    {"connections U", "the host connections open on the unit"},
    {"unplug U", "disappear from discovery; open connections fail at once"},
    {"plug U", "reappear to discovery"},
    {"help", "the commands, on one line"},
    {"quit", "(also at end of input) remove every unit and exit 0"},
};

std::string firstWord(const char *synopsis) {
    const std::string s = synopsis;
    return s.substr(0, s.find(' '));
}

struct Args {
    std::vector<std::string> words;
    std::string error;

    bool number(std::size_t i, const char *what, unsigned long low, unsigned long high, unsigned long &out) {
        if (i >= words.size()) {
            error = std::string("missing ") + what;
            return false;
        }
        if (!parseNumber(words[i], out) || out < low || out > high) {
            error = std::string(what) + " must be " + std::to_string(low) + " to " + std::to_string(high) +
                    ", not \"" + words[i] + "\"";
            return false;
        }
        return true;
    }
    bool onOff(std::size_t i, bool &out) {
        if (i < words.size() && (words[i] == "on" || words[i] == "off")) {
            out = words[i] == "on";
            return true;
        }
        error = "expected on or off";
        return false;
    }
    bool count(std::size_t n) {
        if (words.size() == n) return true;
        error = words.size() < n ? "too few arguments" : "too many arguments";
        return false;
    }
};

} // namespace

std::string commandList() {
    std::string list;
    for (const CommandHelp &c : kCommandHelp) {
        std::string line = std::string("  ") + c.synopsis;
        line.resize(30, ' ');
        list += line + c.what + "\n";
    }
    return list;
}

std::string Bench::execute(const std::string &line, std::int64_t nowMs, bool &quit) {
    Args a;
    std::istringstream in(line);
    for (std::string w; in >> w;) a.words.push_back(w);
    if (a.words.empty()) return "error: empty command";
    const std::string &command = a.words[0];

    if (command == "quit") {
        if (!a.count(1)) return "error: " + a.error;
        quit = true;
        return "ok";
    }

    if (command == "help") {
        if (!a.count(1)) return "error: " + a.error;
        std::string answer = "ok";
        for (const CommandHelp &c : kCommandHelp) answer += std::string(&c == kCommandHelp ? " " : "; ") + c.synopsis;
        return answer;
    }

    bool known = false;
    for (const CommandHelp &c : kCommandHelp) known = known || command == firstWord(c.synopsis);
    if (!known) return "error: unknown command \"" + command + "\" (help lists the commands)";

    unsigned long u = 0, o = 0, v = 0;
    if (!a.number(1, "unit", 0, units.size() - 1, u)) return "error: " + a.error;
    UnitModel &unit = *units[u];

    if (command == "state" || command == "outputs") {
        if (!a.count(2)) return "error: " + a.error;
        return "ok " + (command == "state" ? unit.describeState() : unit.describeOutputs());
    }
    if (command == "connections") {
        if (!a.count(2)) return "error: " + a.error;
        return "ok count=" + std::to_string(connectionCount ? connectionCount(u) : 0);
    }
    if (command == "raw") {
        if (a.words.size() < 3) return "error: raw needs at least one byte";
        UnitModel::Report report;
        for (std::size_t i = 2; i < a.words.size(); ++i) {
            const std::string &h = a.words[i];
            unsigned long b = 0;
            if (h.size() != 2 || !parseNumber("0x" + h, b))
                return "error: bytes are two hex digits each, not \"" + h + "\"";
            report.push_back(static_cast<std::uint8_t>(b));
        }
        unit.sendRaw(report);
        return "ok";
    }
    if (command == "silence" || command == "unplug" || command == "plug") {
        bool on = true;
        if (command == "silence" && (!a.onOff(2, on) || !a.count(3))) return "error: " + a.error;
        if (command != "silence" && !a.count(2)) return "error: " + a.error;
        if (command == "silence") {
            unit.setSilenced(on);
        } else {
            const bool plug = command == "plug";
            if (plugged[u] != plug) {
                plugged[u] = plug;
                if (onPlug) onPlug(u, plug);
            }
        }
        return "ok";
    }

    if (!a.number(2, "output", 1, 2, o)) return "error: " + a.error;
    const int out = static_cast<int>(o);
    if (command == "route") {
        if (!a.number(3, "input", 0, 8, v) || !a.count(4)) return "error: " + a.error;
        unit.route(out, static_cast<int>(v), nowMs);
    } else if (command == "pad") {
        bool on = false;
        if (!a.number(3, "input", 1, 8, v) || !a.onOff(4, on) || !a.count(5)) return "error: " + a.error;
        unit.setPad(out, static_cast<int>(v), on);
    } else if (command == "seq-inputs") {
        if (!a.number(3, "mask", 0, 255, v) || !a.count(4)) return "error: " + a.error;
        unit.setSequenceInputs(out, static_cast<std::uint8_t>(v), nowMs);
    } else if (command == "seq-interval") {
        if (!a.number(3, "interval code", 0, 127, v) || !a.count(4)) return "error: " + a.error;
        unit.setSequenceInterval(out, static_cast<std::uint8_t>(v), nowMs);
    } else { // seq
        bool on = false;
        if (!a.onOff(3, on) || !a.count(4)) return "error: " + a.error;
        unit.setSequencing(out, on, nowMs);
    }
    return "ok";
}

} // namespace corvil::emulator

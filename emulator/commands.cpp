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

// One command being run: its words, and the unit and output it names once
// they are checked.
struct Call {
    Bench &bench;
    Args &a;
    std::int64_t nowMs;
    bool &quit;
    std::size_t u = 0;
    UnitModel *unit = nullptr;
    int output = 0;
};

// Each command answers "ok ..." or "error: ..."; a command's own checks
// come after those its table entry asks for.
std::string failed(const Args &a) { return "error: " + a.error; }

std::string quit(Call &c) {
    if (!c.a.count(1)) return failed(c.a);
    c.quit = true;
    return "ok";
}

std::string help(Call &c);

std::string describe(Call &c) {
    if (!c.a.count(2)) return failed(c.a);
    return "ok " + (c.a.words[0] == "state" ? c.unit->describeState() : c.unit->describeOutputs());
}

std::string connections(Call &c) {
    if (!c.a.count(2)) return failed(c.a);
    return "ok count=" + std::to_string(c.bench.connectionCount ? c.bench.connectionCount(c.u) : 0);
}

std::string raw(Call &c) {
    if (c.a.words.size() < 3) return "error: raw needs at least one byte";
    UnitModel::Report report;
    for (std::size_t i = 2; i < c.a.words.size(); ++i) {
        const std::string &h = c.a.words[i];
        unsigned long b = 0;
        if (h.size() != 2 || !parseNumber("0x" + h, b)) return "error: bytes are two hex digits each, not \"" + h + "\"";
        report.push_back(static_cast<std::uint8_t>(b));
    }
    c.unit->sendRaw(report);
    return "ok";
}

std::string silence(Call &c) {
    bool on = true;
    if (!c.a.onOff(2, on) || !c.a.count(3)) return failed(c.a);
    c.unit->setSilenced(on);
    return "ok";
}

// plug and unplug.
std::string plug(Call &c) {
    if (!c.a.count(2)) return failed(c.a);
    const bool plug = c.a.words[0] == "plug";
    if (c.bench.plugged[c.u] != plug) {
        c.bench.plugged[c.u] = plug;
        if (c.bench.onPlug) c.bench.onPlug(c.u, plug);
    }
    return "ok";
}

std::string route(Call &c) {
    unsigned long v = 0;
    if (!c.a.number(3, "input", 0, 8, v) || !c.a.count(4)) return failed(c.a);
    c.unit->route(c.output, static_cast<int>(v), c.nowMs);
    return "ok";
}

std::string pad(Call &c) {
    unsigned long v = 0;
    bool on = false;
    if (!c.a.number(3, "input", 1, 8, v) || !c.a.onOff(4, on) || !c.a.count(5)) return failed(c.a);
    c.unit->setPad(c.output, static_cast<int>(v), on);
    return "ok";
}

std::string sequenceInputs(Call &c) {
    unsigned long v = 0;
    if (!c.a.number(3, "mask", 0, 255, v) || !c.a.count(4)) return failed(c.a);
    c.unit->setSequenceInputs(c.output, static_cast<std::uint8_t>(v), c.nowMs);
    return "ok";
}

std::string sequenceInterval(Call &c) {
    unsigned long v = 0;
    if (!c.a.number(3, "interval code", 0, 127, v) || !c.a.count(4)) return failed(c.a);
    c.unit->setSequenceInterval(c.output, static_cast<std::uint8_t>(v), c.nowMs);
    return "ok";
}

std::string sequencing(Call &c) {
    bool on = false;
    if (!c.a.onOff(3, on) || !c.a.count(4)) return failed(c.a);
    c.unit->setSequencing(c.output, on, c.nowMs);
    return "ok";
}

// Every command on standard input, as `help` and --help list them, with
// what it names first (a unit U, an output O) and what runs it.
enum class Names { Nothing, Unit, UnitAndOutput };
struct Command {
    const char *synopsis, *what;
    Names names;
    std::string (*run)(Call &);
};
const Command kCommands[] = {
    {"route U O I", "input I (0-8) to output O, as the front panel would", Names::UnitAndOutput, route},
    {"pad U O I on|off", "35 dB pad of input I (1-8) on output O", Names::UnitAndOutput, pad},
    {"seq-inputs U O MASK", "include mask (0-255, decimal or 0x..)", Names::UnitAndOutput, sequenceInputs},
    {"seq-interval U O CODE", "interval code (0-127)", Names::UnitAndOutput, sequenceInterval},
    {"seq U O on|off", "bit 7 of the control byte", Names::UnitAndOutput, sequencing},
    {"state U", "the unit's settings and serial number", Names::Unit, describe},
    {"outputs U", "the output reports a host sent", Names::Unit, describe},
    {"raw U HEX...", "send these bytes as the next input report", Names::Unit, raw},
    {"silence U on|off", "stop or start sending input reports while staying attached", Names::Unit, silence},
    {"connections U", "the host connections open on the unit", Names::Unit, connections},
    {"unplug U", "disappear from discovery; open connections fail at once", Names::Unit, plug},
    {"plug U", "reappear to discovery", Names::Unit, plug},
    {"help", "the commands, on one line", Names::Nothing, help},
    {"quit", "(also at end of input) remove every unit and exit 0", Names::Nothing, quit},
};

std::string firstWord(const char *synopsis) {
    const std::string s = synopsis;
    return s.substr(0, s.find(' '));
}

std::string help(Call &c) {
    if (!c.a.count(1)) return failed(c.a);
    std::string answer = "ok";
    for (const Command &command : kCommands) answer += std::string(&command == kCommands ? " " : "; ") + command.synopsis;
    return answer;
}

} // namespace

std::string commandList() {
    std::string list;
    for (const Command &c : kCommands) {
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
    const Command *command = nullptr;
    for (const Command &c : kCommands)
        if (a.words[0] == firstWord(c.synopsis)) command = &c;
    if (!command) return "error: unknown command \"" + a.words[0] + "\" (help lists the commands)";
    Call call{*this, a, nowMs, quit};
    if (command->names != Names::Nothing) {
        unsigned long u = 0;
        if (!a.number(1, "unit", 0, units.size() - 1, u)) return failed(a);
        call.u = u;
        call.unit = units[u].get();
    }
    if (command->names == Names::UnitAndOutput) {
        unsigned long o = 0;
        if (!a.number(2, "output", 1, 2, o)) return failed(a);
        call.output = static_cast<int>(o);
    }
    return command->run(call);
}

} // namespace corvil::emulator

#include "commands.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace corvil::emulator {

bool parseNumber(const std::string &token, unsigned long &value) {
    if (token.empty() || token[0] == '-' || token[0] == '+') return false;
    const bool hex = token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
    char *end = nullptr;
    errno = 0;
    value = std::strtoul(token.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    return errno == 0 && end && *end == '\0' && end != token.c_str() + (hex ? 2 : 0);
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

} // namespace

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

    static const char *const kKnown[] = {"route", "pad",   "seq-inputs", "seq-interval", "seq",   "state",
                                         "outputs", "raw", "silence",    "unplug",       "plug",  "connections"};
    bool known = false;
    for (const char *k : kKnown) known = known || command == k;
    if (!known) return "error: unknown command \"" + command + "\"";

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
            char *end = nullptr;
            unsigned long b = std::strtoul(h.c_str(), &end, 16);
            if (h.size() != 2 || *end != '\0') return "error: bytes are two hex digits each, not \"" + h + "\"";
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

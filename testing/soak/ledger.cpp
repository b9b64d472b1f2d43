#include "ledger.h"

#include <sstream>

namespace corvil::soak {

bool parseState(const std::string &answer, UnitState &state) {
    std::istringstream in(answer);
    std::string word;
    if (!(in >> word) || word != "ok") return false;
    int seen = 0;
    while (in >> word) {
        const auto eq = word.find('=');
        if (eq == std::string::npos) return false;
        const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
        if (key == "serial") {
            state.serial = value;
            ++seen;
            continue;
        }
        static const char *const kKeys[] = {"input1",     "input2",     "pads1",       "pads2",
                                            "seqinputs1", "seqinputs2", "seqcontrol1", "seqcontrol2"};
        int *const slots[] = {&state.input[0],     &state.input[1],     &state.pads[0],       &state.pads[1],
                              &state.seqInputs[0], &state.seqInputs[1], &state.seqControl[0], &state.seqControl[1]};
        for (int i = 0; i < 8; ++i) {
            if (key != kKeys[i]) continue;
            try {
                *slots[i] = std::stoi(value, nullptr, 0);
            } catch (const std::exception &) {
                return false;
            }
            ++seen;
        }
    }
    return seen == 9;
}

namespace field {

int value(const UnitState &s, int f) {
    if (f < 2) return s.input[f];
    if (f < 18) return (s.pads[(f - 2) / 8] >> ((f - 2) % 8)) & 1;
    if (f < 34) return (s.seqInputs[(f - 18) / 8] >> ((f - 18) % 8)) & 1;
    if (f < 36) return s.seqControl[f - 34] & 0x7F;
    return s.seqControl[f - 36] >> 7;
}

std::string name(int f) {
    auto output = [](int o) { return "output " + std::to_string(o + 1); };
    if (f < 2) return output(f) + " input";
    if (f < 18) return output((f - 2) / 8) + " pad of input " + std::to_string((f - 2) % 8 + 1);
    if (f < 34) return output((f - 18) / 8) + " auto-sequence input " + std::to_string((f - 18) % 8 + 1);
    if (f < 36) return output(f - 34) + " interval code";
    return output(f - 36) + " auto-sequencing switch";
}

std::string text(int f, int value) {
    if (value < 0) return "any";
    if (f < 2 || (f >= 34 && f < 36)) return std::to_string(value);
    return value ? "on" : "off";
}

} // namespace field

void Ledger::claim(int f, int value, const std::string &by, double at, bool seen) {
    claims[f] = {value, by, at, seen};
}

std::vector<Replaced> Ledger::observe(const UnitState &now, const std::string &by, const std::set<int> &intended,
                                      double at) {
    std::vector<Replaced> replaced;
    for (int f = 0; f < field::kCount; ++f) {
        if (intended.count(f)) continue;
        // An output that steps through its inputs holds no input anyone chose,
        // and one that includes no input has no switch that means anything
        // (the switcher sends it off then).
        if (f == field::route(0) || f == field::route(1))
            if (last.stepping(f) || now.stepping(f)) continue;
        if (f == field::sequencing(0) || f == field::sequencing(1))
            if (now.seqInputs[f - field::sequencing(0)] == 0) continue;
        const int before = field::value(last, f), after = field::value(now, f);
        if (before == after) continue;
        Claim &c = claims[f];
        if (c.intended && c.value >= 0 && c.value != after)
            replaced.push_back({field::name(f) + " " + field::text(f, c.value) + " (by " + c.by + ") replaced by " +
                                    field::text(f, after) + " sent along by " + by,
                                c.at});
        c = {after, by + ", sent along", at, false};
    }
    // An output that steps through its inputs holds no input anyone chose.
    for (int o = 0; o < 2; ++o) {
        if (last.stepping(o) || now.stepping(o)) claims[field::route(o)] = {-1, "the unit's auto-sequencing", at, false};
        if (now.seqInputs[o] == 0) claims[field::sequencing(o)] = {-1, "no auto-sequence inputs", at, false};
    }
    last = now;
    return replaced;
}

void Ledger::baseline(const UnitState &state, double at) {
    last = state;
    for (int f = 0; f < field::kCount; ++f) claims[f] = {field::value(state, f), "the last settle", at, false};
    for (int o = 0; o < 2; ++o) {
        if (state.stepping(o)) claims[field::route(o)] = {-1, "the unit's auto-sequencing", at, false};
        if (state.seqInputs[o] == 0) claims[field::sequencing(o)] = {-1, "no auto-sequence inputs", at, false};
    }
}

} // namespace corvil::soak

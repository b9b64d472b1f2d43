#include "ledger.h"

#include <cstdio>

namespace corvil::soak {

bool parseState(const std::string &answer, UnitState &s) {
    char serial[32] = "";
    int end = 0;
    std::sscanf(answer.c_str(),
                "ok input1=%i input2=%i pads1=%i pads2=%i seqinputs1=%i seqinputs2=%i seqcontrol1=%i seqcontrol2=%i "
                "serial=%31s%n",
                &s.input[0], &s.input[1], &s.pads[0], &s.pads[1], &s.seqInputs[0], &s.seqInputs[1], &s.seqControl[0],
                &s.seqControl[1], serial, &end);
    s.serial = serial;
    return end > 0;
}

namespace field {

int value(const UnitState &s, int f) {
    if (f < 2) return s.input[f];
    if (f < 18) return (s.pads[(f - 2) / 8] >> ((f - 2) % 8)) & 1;
    if (f < 34) return (s.seqInputs[(f - 18) / 8] >> ((f - 18) % 8)) & 1;
    return f < 36 ? s.seqControl[f - 34] & 0x7F : s.seqControl[f - 36] >> 7;
}

std::string name(int f) {
    auto output = [](int o) { return "output " + std::to_string(o + 1); };
    if (f < 2) return output(f) + " input";
    if (f < 18) return output((f - 2) / 8) + " pad of input " + std::to_string((f - 2) % 8 + 1);
    if (f < 34) return output((f - 18) / 8) + " auto-sequence input " + std::to_string((f - 18) % 8 + 1);
    return output((f - 34) % 2) + (f < 36 ? " interval code" : " auto-sequencing switch");
}

std::string text(int f, int value) {
    if (value < 0) return "any";
    return f < 2 || (f >= 34 && f < 36) ? std::to_string(value) : value ? "on" : "off";
}

} // namespace field

// Why no change of setting f is held across a change of state, or null: an
// output that steps through its inputs holds no input anyone chose, and one
// that includes no input has no switch that means anything (the unit does
// not step it, and the switcher never sends it on).
static const char *unclaimable(int f, const UnitState &before, const UnitState &after) {
    for (int o = 0; o < 2; ++o) {
        if (f == field::route(o) && (before.stepping(o) || after.stepping(o))) return "the unit's auto-sequencing";
        if (f == field::sequencing(o) && after.seqInputs[o] == 0) return "no auto-sequence inputs";
    }
    return nullptr;
}

std::vector<std::string> Ledger::observe(const UnitState &now, const std::string &by, const std::set<int> &intended,
                                         double at) {
    std::vector<std::string> replaced;
    for (int f = 0; f < field::kCount; ++f) {
        Claim &c = claims[f];
        const int after = field::value(now, f);
        if (const char *why = unclaimable(f, last, now)) {
            c = {-1, why, at, false};
        } else if (!intended.count(f) && field::value(last, f) != after) {
            if (c.intended && c.value >= 0 && c.value != after)
                replaced.push_back(field::name(f) + " " + field::text(f, c.value) + " (by " + c.by + ") replaced by " +
                                   field::text(f, after) + " sent along by " + by);
            c = {after, by + ", sent along", at, false};
        }
    }
    last = now;
    return replaced;
}

void Ledger::baseline(const UnitState &state, double at) {
    last = state;
    for (int f = 0; f < field::kCount; ++f) {
        const char *why = unclaimable(f, state, state);
        claims[f] = {why ? -1 : field::value(state, f), why ? why : "the last settle", at, false};
    }
}

} // namespace corvil::soak

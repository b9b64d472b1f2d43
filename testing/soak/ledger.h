// What corvil-soak knows of each emulated unit: its state as corvil-emulator
// reports it, and for every setting the last change the unit should still hold.
#pragma once

#include <array>
#include <set>
#include <string>
#include <vector>

namespace corvil::soak {

// One unit's state, from the emulator's `state` command.
struct UnitState {
    int input[2] = {0, 0}, pads[2] = {0, 0}, seqInputs[2] = {0, 0}, seqControl[2] = {0, 0};
    std::string serial;
    // The unit steps the input of output o (0, 1) by itself.
    bool stepping(int o) const { return (seqControl[o] & 0x80) && (seqControl[o] & 0x7F) && seqInputs[o]; }
};

// Parses an answer "ok input1=.. input2=.. ... serial=XXXXX".
bool parseState(const std::string &answer, UnitState &state);

// The settings a change can be about, each with one value: an output's
// input, one pad, one input of an auto-sequence, an output's interval code
// and its auto-sequencing switch. Outputs o are 0 and 1, inputs 1 to 8.
namespace field {
constexpr int route(int o) { return o; }
constexpr int pad(int o, int input) { return 2 + o * 8 + input - 1; }
constexpr int sequenced(int o, int input) { return 18 + o * 8 + input - 1; }
constexpr int interval(int o) { return 34 + o; }
constexpr int sequencing(int o) { return 36 + o; }
constexpr int kCount = 38;
int value(const UnitState &state, int f);
std::string name(int f);
std::string text(int f, int value);
} // namespace field

// The latest change of one setting.
struct Claim {
    int value = -1;        // -1: nothing the unit must hold
    std::string by;        // who changed it
    double at = 0;         // seconds into the run
    bool intended = false; // what its maker meant to change, not a value sent along with it
};

struct Ledger {
    UnitState last; // the state after the latest action
    std::array<Claim, field::kCount> claims;

    // The state after an action by `by`, whose intended settings are already
    // claimed: every other setting it changed was sent along with the change
    // (the plug-in writes a whole settings record, the switcher the pads and
    // the auto-sequencing record whole). Returns the intended changes of
    // others that this replaced.
    std::vector<std::string> observe(const UnitState &now, const std::string &by, const std::set<int> &intended,
                                     double at);
    // After a settle: the unit holds what it holds.
    void baseline(const UnitState &state, double at);
};

} // namespace corvil::soak

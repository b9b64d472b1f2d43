// corvil-soak's world: corvil-emulator and its units, Corvil Switcher's core
// through the toolkit without windows, two plug-in objects in one host, and
// what the run has seen (ledgers, trail, counters). The actors (actors.cpp)
// change it; the checks (checks.cpp) look at it.
#pragma once

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "CCorvilPlugin.h"
#include "CUnitDlg.h"
#include "SwitcherApp0100.h"
#include "emulator_process.h"
#include "fakes.h"
#include "headless_toolkit.h"
#include "virtual/virtual_platform.h"

namespace corvil::soak {

// One unit's state, from the emulator's `state` command.
struct UnitState {
    int input[2] = {0, 0}, pads[2] = {0, 0}, seqInputs[2] = {0, 0}, seqControl[2] = {0, 0};
    // The unit steps the input of output o (0, 1) by itself.
    bool stepping(int o) const { return (seqControl[o] & 0x80) && (seqControl[o] & 0x7F) && seqInputs[o]; }
};

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
} // namespace field

// For every setting of a unit, the latest change it should still hold (-1:
// nothing), who made it and when (seconds into the run), and whether its
// maker meant it, rather than sent it along with another.
struct Claim { int value = -1; std::string by; double at = 0; bool intended = false; };

struct Ledger {
    UnitState last; // the state after the latest action
    std::array<Claim, field::kCount> claims;

    // The state after an action by `by`, whose intended settings are already
    // claimed: every other setting it changed was sent along with them (in a
    // whole record). Returns the intended changes of others this replaced.
    std::vector<std::string> observe(const UnitState &now, const std::string &by, const std::set<int> &intended,
                                     double at);
    // After a settle: the unit holds what it holds.
    void baseline(const UnitState &state, double at);
};

using form::Control;
using form::Form;
using plugin::fakes::FakeUnitView;
using Intents = std::vector<std::pair<int, int>>; // setting, value

// The plug-in polls again 2.5 s after a click in a unit window; the switcher
// follows within a few passes. A settle gives both more than that.
constexpr double kSettleSeconds = 4.0;

struct Options { double seconds = 120; unsigned long long seed = 0; bool keepGoing = false, verbose = false; };

struct Unit {
    std::string serial;
    Ledger ledger;
    bool plugged = true, silenced = false; // never both
    double backAt = 0;                     // when a pulled or silent unit comes back
    int pulls = 0;                         // connections made before a pull are dead after it
    int pullsSwitcherKnew = 0;             // its pulls when the switcher last found a unit
    int troubles = 0;                      // silences and pulls: reasons to lose contact
};

// A unit of the host's, whose unit window the host keeps open through one of
// the two plug-in objects; with the unit's troubles when it opened the window.
struct HostUnit { std::int32_t id; std::string name; int unit, object, troublesAtOpen = 0; };

// What an action did: the settings `by` meant to change on unit `target`,
// and whether the change reached it. `blind`: the writer sent a whole record
// (the switcher's pads or auto-sequencing) from a view behind the unit.
struct Outcome { std::string by; int target = -1; Intents intents; bool reached = false, blind = false; };
using Action = std::function<std::optional<Outcome>()>; // none: no change to look at

template <typename... Parts> std::string cat(const Parts &...parts) {
    std::ostringstream text;
    (text << ... << parts);
    return text.str();
}

inline FakeUnitView *shownView(plugin::CUnitDlg *w) {
    auto *view = w && w->hasWindow() ? static_cast<FakeUnitView *>(w->view()) : nullptr;
    return view && view->visible ? view : nullptr;
}

// A check-box grid of the switcher's as text (see checks.cpp).
std::string boxes(Form &form);

class World {
public:
    explicit World(const Options &options);
    ~World();
    int run();

private:
    double now() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    double between(double low, double high) { return std::uniform_real_distribution<double>(low, high)(rng_); }
    bool chance(int percent) { return pick(0, 99) < percent; }
    // A counter by its name in the summary line; any other name throws.
    long &count(const std::string &name) { return counts_.at(name); }

    std::string command(const std::string &line);
    UnitState state(int u);
    void note(const std::string &event);
    // A check; a failure shows the last events too, once until the next one.
    void expect(const std::string &what, const std::string &expected, const std::string &found);
    void begin();
    void step(bool act);
    void bringUnitsBack(bool atOnce);
    void afterAction(const Outcome &done);
    int switcherUnit();
    plugin::CUnitDlg *windowOf(const HostUnit &h) const;
    std::optional<Outcome> oneOf(std::initializer_list<std::pair<int, Action>> table);
    std::optional<Outcome> frontPanel();
    std::optional<Outcome> switcherUser();
    std::optional<Outcome> pluginUser();
    bool hostOpensWindows();
    void settle();
    void checkClaims(const std::string &when);
    void checkDisplays(const std::vector<UnitState> &states);

    Options options_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mt19937_64 rng_;
    testing::EmulatorProcess emulator_;
    std::vector<Unit> units_;

    switcher::HeadlessToolkit toolkit_;
    switcher::Corvil_0100_Interface corvhid_{CORVHID_LIBRARY_PATH};
    switcher::SwitcherApp0100 app_{toolkit_, corvhid_};
    std::string padsSeen_, sequencingSeen_; // the grids as the switcher's user last saw them

    corvhid::VirtualPlatform platform_;
    plugin::fakes::Surroundings surroundings_{platform_};
    // Two objects in one process share the device code: one's clean-up after
    // a lost unit renumbers the other's units.
    std::unique_ptr<plugin::CCorvilPlugin> plugins_[2];
    std::vector<HostUnit> hostUnits_{{1, "Desk", 0, 0}, {2, "Desk (copy)", 0, 1}, {3, "Rack", 1, 0},
                                     {4, "Rack (copy)", 1, 1}};
    plugin::HostWindow hostWindow_ = reinterpret_cast<plugin::HostWindow>(0x50ac);

    double nextSwitcherTick_ = 0, nextHostTick_ = 0, lastHostTick_ = 0;
    double nextFrontPanel_ = 0, nextSwitcherUser_ = 0, nextPluginUser_ = 0, lastWindowChange_ = -10;
    std::deque<std::string> trail_;
    bool trailShown_ = false; // since its last event
    std::map<std::string, long> counts_;
};

} // namespace corvil::soak

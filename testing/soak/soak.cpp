// corvil-soak: Corvil Switcher and two FathomLive plug-in objects at work on
// the same emulated units for minutes, while the units' front panels change
// (auto-sequencing running among them), now and then report an undefined
// input, go silent, and are pulled out and plugged in again, and the host
// closes and opens unit windows. Every so often the front panels rest and
// every user's polling catches up; then every display must show what its unit
// holds, and every change a user made must still be on the unit unless a
// later change replaced it. No writer may put back a change it could have
// seen: a replaced change fails the run at once.
//
//   corvil-soak [--seconds N] [--seed S] [--keep-going] [--verbose]
//
// The seed fixes the sequence of random choices; which of them meet which
// poll still depends on timing, so a failure repeats often, not always.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "CCorvilPlugin.h"
#include "CUnitDlg.h"
#include "SwitcherApp0100.h"
#include "headless_toolkit.h"
#include "emulator_process.h"
#include "fakes.h"
#include "ledger.h"
#include "virtual/virtual_platform.h"

namespace corvil::soak {
namespace {

using Clock = std::chrono::steady_clock;
using Intents = std::vector<std::pair<int, int>>; // setting, value
using plugin::fakes::FakeUnitView;
using form::Control;
using form::Form;

const char *const kSerials[] = {"SOAK1", "SOAK2"};
// The plug-in polls again 2.5 s after a click in a unit window; the switcher
// follows within a few passes. A settle gives both more than that.
constexpr double kSettleSeconds = 4.0;
constexpr double kSwitcherTickSeconds = 0.1; // the main window's timer
constexpr double kHostTickSeconds = 0.05;    // the host's Tick timer
constexpr std::size_t kTrail = 40;           // events shown with a failure

struct Options {
    double seconds = 120;
    unsigned long long seed = 0;
    bool keepGoing = false, verbose = false;
};

struct Unit {
    std::string serial;
    Ledger ledger;
    bool plugged = true, silenced = false;
    double backAt = 0; // when a pulled or silent unit comes back
    int pulls = 0;     // connections made before a pull are dead after it
    int troubles = 0;  // silences and pulls: reasons to lose contact
};

// A unit of the host's, with the unit window the host keeps open for it
// through one of the two plug-in objects.
struct HostUnit {
    std::int32_t id;
    std::string name;
    int unit;
    int object;
    int troublesAtOpen = 0; // the unit's troubles when its window was opened
};

std::string expectedDisplay(int input, int pads) {
    if (input == 0) return "-";
    std::string text(1, static_cast<char>('0' + input));
    if (pads & (1 << (input - 1))) text += '.';
    return text;
}

std::string intervalText(int code) {
    if (code == 0) return "Disabled";
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d seconds", code / 2, code % 2 ? 5 : 0);
    return text;
}

// A check-box grid as its 16 boxes, input 1 first, output 1 then output 2.
std::string gridText(const std::function<bool(int)> &box) {
    std::string text;
    for (int k = 0; k < 16; ++k) text += std::string(k == 8 ? " " : "") + (box(k) ? '1' : '0');
    return text;
}

std::string boxes(Form &form) {
    return gridText([&form](int k) { return form.at("Check1", k).value() != 0; });
}

std::string printable(const std::string &text) {
    std::string out;
    for (char c : text) out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

class Soak {
public:
    explicit Soak(const Options &options) : options_(options), rng_(options.seed) {}
    ~Soak();
    int run();

private:
    double now() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    double between(double low, double high) { return std::uniform_real_distribution<double>(low, high)(rng_); }
    bool chance(int percent) { return pick(0, 99) < percent; }

    std::string command(const std::string &line);
    UnitState state(int u);
    void begin();
    void step(bool act);
    void switcherTick();
    void hostTick();
    void bringUnitsBack();
    void frontPanelAction();
    void switcherAction();
    void pluginAction();
    void windowAction(int roll);
    void reopenBeforeThePass(plugin::CCorvilPlugin &object, std::int32_t id, const std::string &name,
                             const std::string &address, int u);
    bool hostOpensWindows();
    // `blind`: the writer sent a whole record (the switcher's pads or
    // auto-sequencing) from a view that did not yet show the unit's state.
    void afterAction(const std::string &by, int target, const Intents &intents, bool reached, bool blind = false);
    int switcherUnit();
    int boxToClick(Form &form, const std::string &seen);
    int unitOf(const std::string &address) const;
    plugin::CUnitDlg *windowOf(const HostUnit &h) const;

    void settle();
    void checkClaims(const std::string &when);
    void checkSwitcher(const std::vector<UnitState> &states);
    void checkWindows(const std::vector<UnitState> &states);
    void expect(const std::string &what, const std::string &expected, const std::string &found);
    void note(const std::string &event);

    Options options_;
    Clock::time_point start_ = Clock::now();
    std::mt19937_64 rng_;
    testing::EmulatorProcess emulator_;
    std::vector<Unit> units_;

    switcher::HeadlessToolkit toolkit_;
    switcher::Corvil_0100_Interface corvhid_{CORVHID_LIBRARY_PATH};
    switcher::SwitcherApp0100 app_{toolkit_, corvhid_};
    std::vector<int> switcherPulls_; // the units' pulls when the switcher last found a unit
    std::string padsSeen_, sequencingSeen_; // the grids as the switcher's user last saw them

    corvhid::VirtualPlatform platform_;
    plugin::fakes::Surroundings world_{platform_};
    // Two objects in one process share the device code: one's clean-up after
    // a lost unit renumbers the other's units.
    std::vector<std::unique_ptr<plugin::CCorvilPlugin>> plugins_;
    std::vector<HostUnit> hostUnits_{{1, "Desk", 0, 0}, {2, "Desk (copy)", 0, 1}, {3, "Rack", 1, 0},
                                     {4, "Rack (copy)", 1, 1}};
    plugin::HostWindow hostWindow_ = reinterpret_cast<plugin::HostWindow>(0x50ac);

    double nextSwitcherTick_ = 0, nextHostTick_ = 0, lastHostTick_ = 0;
    double nextFrontPanel_ = 0, nextSwitcherUser_ = 0, nextPluginUser_ = 0, lastWindowChange_ = -10;
    std::deque<std::string> trail_;
    bool failedHere_ = false;
    struct {
        long frontPanel = 0, switcherChanges = 0, pluginChanges = 0, silences = 0, pulls = 0, reconnections = 0,
             reopened = 0, reopenedInPass = 0, messages = 0, undefined = 0, sequencingStarts = 0, replaced = 0,
             blind = 0, settles = 0, checks = 0, failures = 0;
    } counts_;
};

Soak::~Soak() {
    plugins_.clear();
    app_.mainForm().unload();
}

std::string Soak::command(const std::string &line) {
    const std::string answer = emulator_.command(line);
    if (answer.rfind("ok", 0) != 0) throw std::runtime_error("corvil-emulator: " + line + ": " + answer);
    return answer;
}

UnitState Soak::state(int u) {
    UnitState s;
    const std::string answer = command("state " + std::to_string(u));
    if (!parseState(answer, s)) throw std::runtime_error("corvil-emulator: state: " + answer);
    return s;
}

void Soak::note(const std::string &event) {
    char stamp[24];
    std::snprintf(stamp, sizeof stamp, "%9.3f s  ", now());
    trail_.push_back(stamp + event);
    if (trail_.size() > kTrail) trail_.pop_front();
    if (options_.verbose) std::printf("  %s%s\n", stamp, event.c_str());
}

void Soak::expect(const std::string &what, const std::string &expected, const std::string &found) {
    ++counts_.checks;
    if (expected == found) return;
    ++counts_.failures;
    failedHere_ = true;
    std::printf("corvil-soak: FAILED at %.1f s (seed %llu): %s: expected \"%s\", found \"%s\"\n", now(), options_.seed,
                what.c_str(), printable(expected).c_str(), printable(found).c_str());
}

// ---- the two users and the front panels --------------------------------------

void Soak::begin() {
    std::vector<std::string> args;
    for (const char *serial : kSerials) args.insert(args.end(), {"--serial", serial});
    if (!emulator_.start(args)) throw std::runtime_error("corvil-emulator did not start");
    for (int u = 0; u < static_cast<int>(std::size(kSerials)); ++u) {
        units_.push_back({kSerials[u], {}, true, false, 0, 0});
        units_.back().ledger.baseline(state(u), 0);
    }
    // The host's message box keeps its window's messages going: Tick goes on
    // while it is shown.
    world_.host.duringMessage = [this] {
        ++counts_.messages;
        const std::string &message = world_.host.messages.back();
        note("plug-in: message \"" + message + "\"");
        // Contact is lost only with a unit that was silent or pulled since
        // its window opened; any other loss is the plug-in reaching for the
        // wrong unit.
        for (const HostUnit &h : hostUnits_)
            if (message.find("unit " + h.name + ".") != std::string::npos)
                expect("contact lost with \"" + h.name + "\"", "after a silence or a pull",
                       units_[static_cast<std::size_t>(h.unit)].troubles != h.troublesAtOpen ? "after a silence or a pull"
                                                                                              : "while it answered");
        for (int i = pick(0, 2); i > 0; --i) plugins_[static_cast<std::size_t>(pick(0, 1))]->Tick(50);
    };
    for (int object = 0; object < 2; ++object) {
        plugins_.push_back(std::make_unique<plugin::CCorvilPlugin>(world_.services));
        plugins_.back()->SetHost(&world_.host.iface);
    }
    hostOpensWindows();
    app_.start();
    for (const Unit &unit : units_) switcherPulls_.push_back(unit.pulls);
}

void Soak::step(bool act) {
    if (now() >= nextSwitcherTick_) switcherTick();
    app_.pass();
    // Without a unit the pass does not wait for one: nothing to spin for.
    if (!app_.unitConnected) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (now() >= nextHostTick_) hostTick();
    if (!act) return;
    bringUnitsBack();
    // One action a pass at most: what a user sees has had a poll to follow
    // the front panel (the plug-in's windows follow only every 500 ms).
    if (now() >= nextFrontPanel_) {
        frontPanelAction();
        nextFrontPanel_ = now() + between(0.05, 0.25);
    } else if (now() >= nextSwitcherUser_) {
        switcherAction();
        nextSwitcherUser_ = now() + between(0.15, 0.5);
    } else if (now() >= nextPluginUser_) {
        pluginAction();
        nextPluginUser_ = now() + between(0.15, 0.5);
    }
}

void Soak::switcherTick() {
    nextSwitcherTick_ = now() + kSwitcherTickSeconds;
    toolkit_.post([this] {
        const std::string before = app_.mainForm().at("Label4").text();
        app_.mainForm().tick();
        // "Connected" alone: this tick found a unit (its serial comes with the
        // next poll). A connection made now is good until the unit's next pull.
        if (app_.unitConnected && app_.mainForm().at("Label4").text() == "Connected") {
            for (std::size_t u = 0; u < units_.size(); ++u) switcherPulls_[u] = units_[u].pulls;
            if (before != "Connected") {
                ++counts_.reconnections;
                note("switcher: finds a unit");
            }
        }
    });
}

void Soak::hostTick() {
    const double t = now();
    const int elapsed = std::clamp(static_cast<int>((t - lastHostTick_) * 1000), 0, 32767);
    lastHostTick_ = t;
    nextHostTick_ = t + kHostTickSeconds;
    for (auto &object : plugins_) object->Tick(static_cast<std::int16_t>(elapsed));
}

void Soak::bringUnitsBack() {
    for (std::size_t u = 0; u < units_.size(); ++u) {
        Unit &unit = units_[u];
        if (now() < unit.backAt) continue;
        if (!unit.plugged) {
            command("plug " + std::to_string(u));
            unit.plugged = true;
            note("front panel: " + unit.serial + " plugged in");
        }
        if (unit.silenced) {
            command("silence " + std::to_string(u) + " off");
            unit.silenced = false;
            note("front panel: " + unit.serial + " reports again");
        }
    }
}

void Soak::frontPanelAction() {
    const int u = pick(0, static_cast<int>(units_.size()) - 1), o = pick(0, 1), roll = pick(0, 99);
    Unit &unit = units_[u];
    const std::string where = std::to_string(u) + " " + std::to_string(o + 1) + " ";
    std::string line;
    Intents intents;
    if (roll < 32) {
        const int input = pick(0, 8);
        line = "route " + where + std::to_string(input);
        intents = {{field::route(o), input}};
    } else if (roll < 60) {
        const int input = pick(1, 8), on = chance(50);
        line = "pad " + where + std::to_string(input) + (on ? " on" : " off");
        intents = {{field::pad(o, input), on}};
    } else if (roll < 70) {
        const int mask = pick(0, 255) & pick(0, 255);
        line = "seq-inputs " + where + std::to_string(mask);
        for (int input = 1; input <= 8; ++input) intents.push_back({field::sequenced(o, input), (mask >> (input - 1)) & 1});
    } else if (roll < 80) {
        // Mostly steps of 0.5 to 3 s; now and then a code beyond the lists' 18.
        const int code = chance(90) ? pick(0, 6) : pick(19, 127);
        line = "seq-interval " + where + std::to_string(code);
        intents = {{field::interval(o), code}};
    } else if (roll < 88) {
        const int on = chance(40);
        line = "seq " + where + (on ? "on" : "off");
        intents = {{field::sequencing(o), on}};
    } else if (roll < 91) {
        // Auto-sequencing starts stepping, fast, while the users go on.
        const int mask = pick(1, 255), code = pick(1, 2);
        command("seq-inputs " + where + std::to_string(mask));
        command("seq-interval " + where + std::to_string(code));
        line = "seq " + where + "on";
        for (int input = 1; input <= 8; ++input) intents.push_back({field::sequenced(o, input), (mask >> (input - 1)) & 1});
        intents.insert(intents.end(), {{field::interval(o), code}, {field::sequencing(o), 1}});
        ++counts_.sequencingStarts;
        note("front panel: " + unit.serial + ": seq-inputs " + where + std::to_string(mask) + ", seq-interval " + where +
             std::to_string(code));
    } else if (roll < 94) {
        // One report with an undefined input; the unit's state stays as it is.
        if (!unit.plugged || unit.silenced) return;
        const UnitState s = state(u);
        int input[2] = {s.input[0], s.input[1]};
        input[o] = pick(9, 254);
        char raw[64];
        std::snprintf(raw, sizeof raw, "raw %d 03 %02x %02x %02x %02x", u, input[1], input[0], s.pads[1], s.pads[0]);
        command(raw);
        ++counts_.undefined;
        note("front panel: " + unit.serial + " reports input " + std::to_string(input[o]) + " on output " +
             std::to_string(o + 1) + " once");
        return;
    } else {
        if (!unit.plugged || unit.silenced) return;
        unit.backAt = now() + between(0.3, 2.5);
        if (roll < 97) {
            command("silence " + std::to_string(u) + " on");
            unit.silenced = true;
            ++unit.troubles;
            ++counts_.silences;
            note("front panel: " + unit.serial + " goes silent");
        } else {
            command("unplug " + std::to_string(u));
            unit.plugged = false;
            ++unit.pulls;
            ++unit.troubles;
            ++counts_.pulls;
            note("front panel: " + unit.serial + " pulled out");
        }
        return;
    }
    command(line);
    ++counts_.frontPanel;
    note("front panel: " + unit.serial + ": " + line);
    // A silent unit does not report what its front panel changes: no writer
    // can see such a change until it reports again.
    afterAction("the front panel", u, intents, true);
}

// The unit the switcher shows, by the serial number in its status line; -1
// when it shows none.
int Soak::switcherUnit() {
    const std::string prefix = "Connected to Corvil\r\nSerial No. ";
    const std::string &status = app_.mainForm().at("Label4").text();
    if (status.rfind(prefix, 0) != 0) return -1;
    for (std::size_t u = 0; u < units_.size(); ++u)
        if (status.substr(prefix.size()) == units_[u].serial) return static_cast<int>(u);
    return -1;
}

void Soak::switcherAction() {
    Form &main = app_.mainForm(), &pads = app_.attenuatorForm(), &sequencing = app_.autoSequencingForm();
    const bool padsShown = pads.loaded() && pads.isVisible();
    const bool sequencingShown = sequencing.loaded() && sequencing.isVisible();
    // A change reaches the unit the switcher shows when its connection still
    // stands and its first poll is done (clicks before it are ignored, and
    // the displays then show the unit again).
    const int u = switcherUnit();
    bool reached = u >= 0 && app_.unitConnected && app_.syncComplete && units_[u].plugged &&
                   units_[u].pulls == switcherPulls_[static_cast<std::size_t>(u)];
    const int roll = pick(0, 99), o = pick(0, 1);
    Control *control = nullptr;
    Intents intents;
    std::function<void()> act;
    if (roll < 35) {
        const int row = pick(1, 9);
        control = &main.at("Option" + std::to_string(row), o);
        if (!control->value()) intents = {{field::route(o), row == 9 ? 0 : row}};
    } else if (roll < 45) {
        control = &main.at(o ? "cAutoSeq2" : "cAutoSeq1");
        // Switching on an output with nothing to step through is refused.
        if (control->enabled() && (o ? app_.autoSeqInputs2 : app_.autoSeqInputs1) != 0)
            intents = {{field::sequencing(o), control->value() ? 0 : 1}};
        reached = reached && app_.autoSeqLoaded;
    } else if (roll < 50) {
        control = &main.at(o ? "Command2" : "Command1");
    } else if (roll < 53) {
        Form &window = o ? sequencing : pads;
        if (!(o ? sequencingShown : padsShown)) return;
        act = [&window] { window.unload(); };
        note(std::string("switcher: user closes the ") + (o ? "auto-sequencing" : "attenuator") + " window");
    } else if (roll < 78) {
        if (!padsShown) return;
        const int k = boxToClick(pads, padsSeen_);
        control = &pads.at("Check1", k);
        intents = {{field::pad(k / 8, k % 8 + 1), control->value() ? 0 : 1}};
        reached = reached && app_.padsLoaded;
    } else if (roll < 90) {
        if (!sequencingShown) return;
        const int k = boxToClick(sequencing, sequencingSeen_);
        control = &sequencing.at("Check1", k);
        intents = {{field::sequenced(k / 8, k % 8 + 1), control->value() ? 0 : 1}};
        reached = reached && app_.autoSeqLoaded;
    } else {
        if (!sequencingShown) return;
        Control &list = sequencing.at(o ? "cChan2Time" : "cChan1Time");
        const int index = pick(0, 18);
        // Choosing the entry shown is a choice too: the switcher sends it, and
        // the unit takes it even over a code the list cannot show (shown as
        // its last entry).
        if (index < static_cast<int>(list.entries().size()) && list.enabled()) intents = {{field::interval(o), index}};
        reached = reached && app_.autoSeqLoaded;
        act = [&list, index] { list.choose(index); };
        note("switcher: user chooses entry " + std::to_string(index) + " of " + list.name());
    }
    if (control) {
        act = [control] { control->click(); };
        note("switcher: user clicks " + form::qualifiedName(control->name(), control->index()) + " in " +
             control->form().name());
    }
    // The switcher sends the pad masks with every routing or pad change and
    // the auto-sequencing record whole, as it holds them: a change its
    // windows do not show yet can go with them.
    bool blind = false;
    if (u >= 0) {
        const UnitState s = state(u);
        blind = app_.padMask1 != s.pads[0] || app_.padMask2 != s.pads[1] || app_.autoSeqInputs1 != s.seqInputs[0] ||
                app_.autoSeqInputs2 != s.seqInputs[1] || app_.autoSeqControl1 != s.seqControl[0] ||
                app_.autoSeqControl2 != s.seqControl[1];
    }
    toolkit_.post(act);
    app_.pass();
    // (Looking at a window the user closed would make it anew.)
    if (pads.loaded() && pads.isVisible()) padsSeen_ = boxes(pads);
    if (sequencing.loaded() && sequencing.isVisible()) sequencingSeen_ = boxes(sequencing);
    if (reached && !intents.empty()) ++counts_.switcherChanges;
    afterAction("the switcher's user", u, intents, reached, blind);
}

// A box of a configuration window's grid; half the time one that changed
// since this user last looked, put back as it was.
int Soak::boxToClick(Form &form, const std::string &seen) {
    const std::string now = boxes(form);
    if (seen.size() == now.size() && chance(50)) {
        for (std::size_t i = 0, k = 0; i < now.size(); ++i) {
            if (now[i] == ' ') continue;
            if (now[i] != seen[i]) return static_cast<int>(k);
            ++k;
        }
    }
    return pick(0, 15);
}

int Soak::unitOf(const std::string &address) const {
    for (std::size_t u = 0; u < units_.size(); ++u)
        if (address == "SERIAL " + units_[u].serial) return static_cast<int>(u);
    return -1;
}

plugin::CUnitDlg *Soak::windowOf(const HostUnit &h) const {
    const plugin::CCorvilPlugin &object = *plugins_[static_cast<std::size_t>(h.object)];
    for (int place = 0; place < object.openWindowCount(); ++place)
        if (object.window(place)->unitId == h.id) return object.window(place);
    return nullptr;
}

// The host's user opens the unit windows that went (closed, or contact lost)
// for units that are there. The host enumerates first, so that a unit
// plugged in since the plug-in's last look is found.
bool Soak::hostOpensWindows() {
    bool enumerated[2] = {false, false};
    for (HostUnit &h : hostUnits_) {
        const Unit &unit = units_[static_cast<std::size_t>(h.unit)];
        if (windowOf(h) || !unit.plugged || unit.silenced) continue;
        plugin::CCorvilPlugin &object = *plugins_[static_cast<std::size_t>(h.object)];
        if (!enumerated[h.object]) object.EnumerateUnits();
        enumerated[h.object] = true;
        note("plug-in: host opens window \"" + h.name + "\"");
        h.troublesAtOpen = unit.troubles;
        object.OpenUnitWindow(hostWindow_, ("SERIAL " + unit.serial).c_str(), h.name.c_str(), h.id);
        ++counts_.reopened;
    }
    return enumerated[0] || enumerated[1];
}

void Soak::pluginAction() {
    const int roll = pick(0, 99);
    if (roll < 8) {
        hostOpensWindows();
    } else if (roll < 14) {
        // The analyser sets a unit's routing through its own model: an input
        // and a level (Mic 0, Line 1, the input's pad) per output.
        const HostUnit &h = hostUnits_[static_cast<std::size_t>(pick(0, static_cast<int>(hostUnits_.size()) - 1))];
        const std::int32_t inputs[2] = {pick(0, 8), pick(0, 8)}, levels[2] = {pick(0, 1), pick(0, 1)}, reserved[2] = {};
        Intents intents;
        for (int o = 0; o < 2; ++o) {
            intents.push_back({field::route(o), inputs[o]});
            if (inputs[o]) intents.push_back({field::pad(o, inputs[o]), levels[o]});
        }
        const std::string address = "SERIAL " + units_[static_cast<std::size_t>(h.unit)].serial;
        const bool reached =
            plugins_[static_cast<std::size_t>(h.object)]->SetRouting(address.c_str(), inputs, reserved, levels, 2) == 0;
        note("plug-in: host sets routing of \"" + h.name + "\" to " + std::to_string(inputs[0]) + "/" +
             std::to_string(levels[0]) + " " + std::to_string(inputs[1]) + "/" + std::to_string(levels[1]) +
             (reached ? "" : ": failed"));
        if (reached) ++counts_.pluginChanges;
        afterAction("the analyser", h.unit, intents, reached);
    } else {
        windowAction(roll);
    }
}

// A click in a unit window the user can see.
void Soak::windowAction(int roll) {
    std::vector<std::pair<plugin::CUnitDlg *, int>> shown; // with its object
    for (int object = 0; object < 2; ++object) {
        const plugin::CCorvilPlugin &p = *plugins_[static_cast<std::size_t>(object)];
        for (int place = 0; place < p.openWindowCount(); ++place) {
            plugin::CUnitDlg *w = p.window(place);
            if (w->hasWindow() && static_cast<FakeUnitView *>(w->view())->visible) shown.push_back({w, object});
        }
    }
    if (shown.empty()) return;
    const auto [chosen, object] = shown[static_cast<std::size_t>(pick(0, static_cast<int>(shown.size()) - 1))];
    plugin::CUnitDlg &w = *chosen;
    FakeUnitView &view = *static_cast<FakeUnitView *>(w.view());
    const std::string by = std::string("the plug-in's user in \"") + w.name + "\"";
    const int u = unitOf(w.address), o = pick(0, 1);
    const int radios = o ? plugin::kRadioOutput2 : plugin::kRadioOutput1, list = o ? plugin::kLevelList2 : plugin::kLevelList1;
    Intents intents;
    std::function<void()> act;
    if (roll < 17) {
        note("plug-in: user presses Escape in \"" + std::string(w.name) + "\"");
        const std::int32_t id = w.unitId;
        const std::string name = w.name, address = w.address;
        view.events().onEscape();
        if (chance(50)) reopenBeforeThePass(*plugins_[static_cast<std::size_t>(object)], id, name, address, u);
        afterAction(by, u, {}, false);
        return;
    } else if (roll < 65) {
        const int input = pick(0, 8);
        intents = {{field::route(o), input}};
        note("plug-in: user clicks input " + std::to_string(input) + " of output " + std::to_string(o + 1) + " in \"" +
             w.name + "\"");
        act = [&view, radios, input] {
            for (int k = 0; k <= 8; ++k) view.radios[radios + k] = k == input; // an auto radio button's group
            view.events().onRadioClick(radios + input);
        };
    } else {
        const int input = o ? w.input2 : w.input1;
        if (!view.enabled[list] || input < 1 || input > 8) return;
        const int level = view.levelSelection(list) == 0 ? 1 : 0;
        intents = {{field::pad(o, input), level}};
        note("plug-in: user chooses " + std::string(level ? "Line" : "Mic") + " for output " + std::to_string(o + 1) +
             " in \"" + w.name + "\"");
        act = [&view, list, level] {
            view.events().onDropDown(true);
            view.events().onDropDown(false);
            view.selections[list] = level;
            view.events().onLevelChange(list); // last: the window may go while it runs
        };
    }
    // A write that fails is reported ("Contact was lost ..."); one that is
    // not reported reached the unit.
    const std::size_t messages = world_.host.messages.size();
    act(); // the window may be gone now
    const bool reached = u >= 0 && world_.host.messages.size() == messages;
    if (!intents.empty()) {
        lastWindowChange_ = now();
        if (reached) ++counts_.pluginChanges;
    }
    afterAction(by, u, intents, reached);
}

// The host opens (or updates) a window its user closed a moment ago, before
// the poll pass that would remove it: the pass must leave it, unless the
// unit was found lost meanwhile (with a message).
void Soak::reopenBeforeThePass(plugin::CCorvilPlugin &object, std::int32_t id, const std::string &name,
                               const std::string &address, int u) {
    const bool update = chance(50);
    note("plug-in: host " + std::string(update ? "updates" : "opens") + " \"" + name + "\" again");
    const std::size_t messages = world_.host.messages.size();
    object.EnumerateUnits(); // as the host does before it opens windows
    const int result = update ? object.UpdateUnitWindow(address.c_str(), name.c_str(), id)
                              : object.OpenUnitWindow(hostWindow_, address.c_str(), name.c_str(), id);
    object.Tick(500);
    ++counts_.reopenedInPass;
    if (world_.host.messages.size() != messages || u < 0 || !units_[static_cast<std::size_t>(u)].plugged ||
        units_[static_cast<std::size_t>(u)].silenced)
        return;
    bool shown = false;
    for (int place = 0; place < object.openWindowCount(); ++place) {
        plugin::CUnitDlg *w = object.window(place);
        if (w->unitId == id)
            shown = w->hasWindow() && static_cast<FakeUnitView *>(w->view())->visible && !w->closePending;
    }
    expect("plug-in window \"" + name + "\" " + (update ? "updated" : "opened") + " again before the pass (result " +
               std::to_string(result) + ")",
           "shown", shown ? "shown" : "gone");
}

void Soak::afterAction(const std::string &by, int target, const Intents &intents, bool reached, bool blind) {
    for (std::size_t u = 0; u < units_.size(); ++u) {
        Ledger &ledger = units_[u].ledger;
        std::set<int> intended;
        if (static_cast<int>(u) == target && reached) {
            for (const auto &[f, value] : intents) {
                // Whoever wrote it, a silent unit does not report it.
                ledger.claim(f, value, by, now(), !units_[u].silenced);
                intended.insert(f);
            }
        }
        for (const Replaced &r : ledger.observe(state(static_cast<int>(u)), by, intended, now())) {
            if (blind && static_cast<int>(u) == target) {
                ++counts_.blind;
                note(units_[u].serial + ": not yet shown to its writer: " + r.what);
                continue;
            }
            ++counts_.replaced;
            note(units_[u].serial + ": " + r.what);
            expect(units_[u].serial + " change kept", "kept", r.what);
            std::printf("corvil-soak: the last events before it:\n");
            for (const std::string &event : trail_) std::printf("  %s\n", event.c_str());
        }
    }
}

// ---- settles and checks --------------------------------------------------------

void Soak::settle() {
    note("settle");
    failedHere_ = false;
    checkClaims("before the settle");
    for (std::size_t u = 0; u < units_.size(); ++u) {
        Unit &unit = units_[u];
        const std::string n = std::to_string(u);
        if (!unit.plugged) command("plug " + n);
        if (unit.silenced) command("silence " + n + " off");
        unit.plugged = true;
        unit.silenced = false;
        command("seq " + n + " 1 off");
        command("seq " + n + " 2 off");
        afterAction("the front panel", static_cast<int>(u), {{field::sequencing(0), 0}, {field::sequencing(1), 0}}, true);
    }
    const double start = now();
    double opened = start, looked = start;
    hostOpensWindows();
    for (;;) {
        step(false);
        const double t = now();
        if (t - looked >= 0.5) {
            looked = t;
            if (hostOpensWindows()) opened = t;
        }
        if (t - start >= kSettleSeconds && t - opened >= 1.5 && t - lastWindowChange_ >= 3.5) break;
        if (t - start >= 30) break; // what is still missing shows in the checks
    }

    ++counts_.settles;
    std::vector<UnitState> states;
    for (std::size_t u = 0; u < units_.size(); ++u) states.push_back(state(static_cast<int>(u)));
    checkClaims("after the settle");
    checkSwitcher(states);
    checkWindows(states);
    std::string boxes;
    for (const std::string &m : toolkit_.messages) boxes += m;
    for (const std::string &m : toolkit_.stops) boxes += m;
    expect("switcher message boxes", "", boxes);
    for (std::size_t u = 0; u < units_.size(); ++u) units_[u].ledger.baseline(states[u], now());
    world_.host.messages.clear();
    if (failedHere_) {
        const switcher::SwitcherApp0100 &a = app_;
        std::printf("corvil-soak: switcher state: connected %d synced %d writePending %d holdoff %d padsLoaded %d "
                    "autoSeqLoaded %d selected %u/%u known %u/%u shown %u/%u pads %02x/%02x sent %02x/%02x "
                    "autoseq %02x/%02x %02x/%02x sent %02x/%02x %02x/%02x\n",
                    a.unitConnected, a.syncComplete, a.writePending, a.writeHoldoff, a.padsLoaded, a.autoSeqLoaded,
                    a.selectedInput1, a.selectedInput2, a.knownInput1, a.knownInput2, a.shownInput1, a.shownInput2,
                    a.padMask1, a.padMask2, a.sentPadMask1, a.sentPadMask2, a.autoSeqInputs1, a.autoSeqInputs2,
                    a.autoSeqControl1, a.autoSeqControl2, a.sentAutoSeqInputs1, a.sentAutoSeqInputs2,
                    a.sentAutoSeqControl1, a.sentAutoSeqControl2);
        std::printf("corvil-soak: the last events before it:\n");
        for (const std::string &event : trail_) std::printf("  %s\n", event.c_str());
    }
    if (options_.verbose)
        std::printf("corvil-soak: settle %ld at %.1f s: %ld checks, %ld failures\n", counts_.settles, now(),
                    counts_.checks, counts_.failures);
    std::fflush(stdout);
}

// Every change whose maker meant it is on the unit, unless a later one
// replaced it.
void Soak::checkClaims(const std::string &when) {
    char at[32];
    for (std::size_t u = 0; u < units_.size(); ++u) {
        const UnitState s = state(static_cast<int>(u));
        for (int f = 0; f < field::kCount; ++f) {
            const Claim &c = units_[u].ledger.claims[static_cast<std::size_t>(f)];
            if (c.value < 0) continue;
            std::snprintf(at, sizeof at, "%.3f s", c.at);
            expect(units_[u].serial + " " + field::name(f) + " " + when + " (last changed by " + c.by + " at " + at + ")",
                   field::text(f, c.value), field::text(f, field::value(s, f)));
        }
    }
}

void Soak::checkSwitcher(const std::vector<UnitState> &states) {
    Form &main = app_.mainForm();
    const int u = switcherUnit();
    if (u < 0) {
        expect("switcher status Label4", "Connected to Corvil\r\nSerial No. <a unit's>", main.at("Label4").text());
        return;
    }
    const UnitState &s = states[static_cast<std::size_t>(u)];
    const std::string of = "switcher (" + s.serial + ") ";
    for (int o = 0; o < 2; ++o) {
        expect(of + "Text1(" + std::to_string(o) + ")", expectedDisplay(s.input[o], s.pads[o]), main.at("Text1", o).text());
        std::string on;
        for (int row = 1; row <= 9; ++row)
            if (main.at("Option" + std::to_string(row), o).value()) on += (on.empty() ? "" : " ") + std::to_string(row);
        expect(of + "option button on in column " + std::to_string(o), std::to_string(s.input[o] ? s.input[o] : 9), on);
        const Control &box = main.at(o ? "cAutoSeq2" : "cAutoSeq1");
        const bool ticked = s.stepping(o);
        const bool enabled = (s.seqControl[o] & 0x7F) != 0;
        expect(of + box.name(), std::string(ticked ? "ticked" : "unticked") + (enabled ? ", enabled" : ", disabled"),
               std::string(box.value() ? "ticked" : "unticked") + (box.enabled() ? ", enabled" : ", disabled"));
    }
    Form &pads = app_.attenuatorForm(), &sequencing = app_.autoSequencingForm();
    if (pads.loaded())
        expect(of + "attenuator window Check1", gridText([&s](int k) { return (s.pads[k / 8] >> (k % 8)) & 1; }),
               boxes(pads));
    if (sequencing.loaded()) {
        expect(of + "auto-sequencing window Check1",
               gridText([&s](int k) { return (s.seqInputs[k / 8] >> (k % 8)) & 1; }), boxes(sequencing));
        if (sequencing.isVisible()) {
            for (int o = 0; o < 2; ++o) {
                const Control &list = sequencing.at(o ? "cChan2Time" : "cChan1Time");
                const int index = std::min(s.seqControl[o] & 0x7F, 18);
                expect(of + list.name(), std::to_string(index) + ": " + intervalText(index),
                       std::to_string(list.listIndex()) + ": " + list.editText());
            }
        }
    }
}

void Soak::checkWindows(const std::vector<UnitState> &states) {
    for (const HostUnit &h : hostUnits_) {
        const UnitState &s = states[static_cast<std::size_t>(h.unit)];
        const std::string of = "plug-in window \"" + h.name + "\" (" + s.serial + ") ";
        plugin::CUnitDlg *w = windowOf(h);
        FakeUnitView *view = w && w->hasWindow() ? static_cast<FakeUnitView *>(w->view()) : nullptr;
        const bool shown = view && view->visible && !w->closePending;
        expect(of + "open", "shown", shown ? "shown" : w ? "closing" : "closed");
        if (!shown) continue;
        expect(of + "title", h.name, view->title);
        for (int o = 0; o < 2; ++o) {
            const int radios = o ? plugin::kRadioOutput2 : plugin::kRadioOutput1;
            const int list = o ? plugin::kLevelList2 : plugin::kLevelList1;
            std::string on;
            for (int k = 0; k <= 8; ++k)
                if (view->radio(radios + k)) on += (on.empty() ? "" : " ") + std::to_string(k);
            expect(of + "output " + std::to_string(o + 1) + " radio button on", std::to_string(s.input[o]), on);
            const bool line = s.input[o] && ((s.pads[o] >> (s.input[o] - 1)) & 1);
            const int selection = view->levelSelection(list);
            expect(of + "output " + std::to_string(o + 1) + " level list",
                   s.input[o] ? std::string("enabled, ") + (line ? "Line" : "Mic") : "disabled, none",
                   std::string(view->enabled[list] ? "enabled, " : "disabled, ") +
                       (selection < 0 ? "none" : selection == 0 ? "Mic" : selection == 1 ? "Line" : "?"));
        }
    }
}

int Soak::run() {
    try {
        begin();
        // The last settle ends the run at about the time asked for.
        const double activeUntil = options_.seconds - kSettleSeconds;
        double nextSettle = between(6, 12);
        while (now() < activeUntil && (options_.keepGoing || counts_.failures == 0)) {
            if (now() < nextSettle || now() > activeUntil - 3) {
                step(true);
                continue;
            }
            settle();
            nextSettle = now() + between(6, 12);
        }
        if (options_.keepGoing || counts_.failures == 0) settle();
    } catch (const std::exception &e) {
        ++counts_.failures;
        std::printf("corvil-soak: FAILED at %.1f s (seed %llu): %s\ncorvil-soak: the last events before it:\n", now(),
                    options_.seed, e.what());
        for (const std::string &event : trail_) std::printf("  %s\n", event.c_str());
    }
    std::printf("corvil-soak: %ld front-panel changes (%ld auto-sequencing starts, %ld undefined inputs), %ld user "
                "changes (%ld switcher, %ld plug-in), %ld silences, %ld unplugs, %ld reconnections, %ld windows opened "
                "(%ld again before the pass), %ld contact-lost messages, %ld changes replaced, %ld replaced by the "
                "switcher before it showed them, %ld settles, %ld checks, %ld failures, seed %llu, %.0f s\n",
                counts_.frontPanel, counts_.sequencingStarts, counts_.undefined,
                counts_.switcherChanges + counts_.pluginChanges, counts_.switcherChanges, counts_.pluginChanges,
                counts_.silences, counts_.pulls, counts_.reconnections, counts_.reopened, counts_.reopenedInPass,
                counts_.messages, counts_.replaced, counts_.blind, counts_.settles, counts_.checks,
                counts_.failures, options_.seed, now());
    std::fflush(stdout);
    return counts_.failures ? 1 : 0;
}

int usage(const char *why) {
    std::fprintf(stderr, "corvil-soak: %s\nusage: corvil-soak [--seconds N] [--seed S] [--keep-going] [--verbose]\n", why);
    return 2;
}

} // namespace
} // namespace corvil::soak

int main(int argc, char **argv) {
    using namespace corvil::soak;
    Options options;
    options.seed = static_cast<unsigned long long>(
        std::chrono::system_clock::now().time_since_epoch().count() % 1000000000);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool valued = arg == "--seconds" || arg == "--seed";
        if (valued && i + 1 >= argc) return usage("missing value");
        try {
            if (arg == "--seconds") {
                options.seconds = std::stod(argv[++i]);
            } else if (arg == "--seed") {
                options.seed = std::stoull(argv[++i]);
            } else if (arg == "--keep-going") {
                options.keepGoing = true;
            } else if (arg == "--verbose") {
                options.verbose = true;
            } else {
                return usage(("unknown option " + arg).c_str());
            }
        } catch (const std::exception &) {
            return usage(("not a number: " + std::string(argv[i])).c_str());
        }
    }
    std::printf("corvil-soak: seed %llu, %.0f s\n", options.seed, options.seconds);
    std::fflush(stdout);
    corvil::testing::usePrivateRendezvous();
    return Soak(options).run();
}

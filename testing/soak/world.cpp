#include "world.h"

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <stdexcept>
#include <thread>
#include <utility>

namespace corvil::soak {

constexpr double kSwitcherTickSeconds = 0.1; // the main window's timer
constexpr double kHostTickSeconds = 0.05;    // the host's Tick timer
constexpr std::size_t kTrail = 40;           // events shown with a failure

std::string World::command(const std::string &line) {
    const std::string answer = emulator_.command(line);
    if (answer.rfind("ok", 0) != 0) throw std::runtime_error("corvil-emulator: " + line + ": " + answer);
    return answer;
}

UnitState World::state(int u) {
    UnitState s;
    int end = 0;
    const std::string answer = command(cat("state ", u));
    std::sscanf(answer.c_str(),
                "ok input1=%i input2=%i pads1=%i pads2=%i seqinputs1=%i seqinputs2=%i seqcontrol1=%i seqcontrol2=%i%n",
                &s.input[0], &s.input[1], &s.pads[0], &s.pads[1], &s.seqInputs[0], &s.seqInputs[1], &s.seqControl[0],
                &s.seqControl[1], &end);
    if (end == 0) throw std::runtime_error("corvil-emulator: state: " + answer);
    return s;
}

void World::note(const std::string &event) {
    trail_.push_back(cat(std::fixed, std::setprecision(3), std::setw(9), now(), " s  ", event));
    if (trail_.size() > kTrail) trail_.pop_front();
    trailShown_ = false;
    if (options_.verbose) std::printf("  %s\n", trail_.back().c_str());
}

void World::expect(const std::string &what, const std::string &expected, const std::string &found) {
    ++count("checks");
    if (expected == found) return;
    ++count("failures");
    std::printf("corvil-soak: FAILED at %.1f s (seed %llu): %s: expected \"%s\", found \"%s\"\n", now(), options_.seed,
                what.c_str(), expected.c_str(), found.c_str());
    if (std::exchange(trailShown_, true)) return;
    std::printf("corvil-soak: the last events before it:\n");
    for (const std::string &event : trail_) std::printf("  %s\n", event.c_str());
}

void World::begin() {
    if (!emulator_.start({"--serial", "SOAK1", "--serial", "SOAK2"}))
        throw std::runtime_error("corvil-emulator did not start");
    for (const char *serial : {"SOAK1", "SOAK2"}) units_.push_back({serial, {}});
    for (int u = 0; u < 2; ++u) units_[u].ledger.baseline(state(u), 0);
    // The host's message box keeps its window's messages going: Tick goes on
    // while it is shown.
    surroundings_.host.duringMessage = [this] {
        ++count("contact-lost messages");
        const std::string &message = surroundings_.host.messages.back();
        note("plug-in: message \"" + message + "\"");
        // Contact is lost only with a unit that was silent or pulled since its
        // window opened; any other loss is the plug-in reaching for the wrong unit.
        for (const HostUnit &h : hostUnits_)
            if (message.find("unit " + h.name + ".") != std::string::npos)
                expect("contact lost with \"" + h.name + "\"", "after a silence or a pull",
                       units_[h.unit].troubles != h.troublesAtOpen ? "after a silence or a pull" : "while it answered");
        for (int i = pick(0, 2); i > 0; --i) plugins_[pick(0, 1)]->Tick(50);
    };
    for (auto &object : plugins_) {
        object = std::make_unique<plugin::CCorvilPlugin>(surroundings_.services);
        object->SetHost(&surroundings_.host.iface);
    }
    hostOpensWindows();
    app_.start();
}

// A pass of the switcher's loop, with its timer and the host's when due, and
// when `act`, one action at most.
void World::step(bool act) {
    if (now() >= nextSwitcherTick_) {
        nextSwitcherTick_ = now() + kSwitcherTickSeconds;
        toolkit_.post([this] {
            const std::string before = app_.mainForm().at("Label4").text();
            app_.mainForm().tick();
            // "Connected" alone: this tick found a unit (its serial comes with the
            // next poll). A connection made now is good until the unit's next pull.
            if (!app_.unitConnected || app_.mainForm().at("Label4").text() != "Connected") return;
            for (Unit &unit : units_) unit.pullsSwitcherKnew = unit.pulls;
            if (before == "Connected") return;
            ++count("reconnections");
            note("switcher: finds a unit");
        });
    }
    app_.pass();
    // Without a unit the pass does not wait for one: nothing to spin for.
    if (!app_.unitConnected) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (const double t = now(); t >= nextHostTick_) {
        const int elapsed = std::clamp(static_cast<int>((t - lastHostTick_) * 1000), 0, 32767);
        lastHostTick_ = t;
        nextHostTick_ = t + kHostTickSeconds;
        for (auto &object : plugins_) object->Tick(static_cast<std::int16_t>(elapsed));
    }
    if (!act) return;
    bringUnitsBack(false);
    // One action a pass at most: what a user sees has had a poll to follow
    // the front panel (the plug-in's windows follow only every 500 ms).
    const auto take = [this](std::optional<Outcome> done, double &next, double low, double high) {
        if (done) afterAction(*done);
        next = now() + between(low, high);
    };
    if (now() >= nextFrontPanel_) take(frontPanel(), nextFrontPanel_, 0.05, 0.25);
    else if (now() >= nextSwitcherUser_) take(switcherUser(), nextSwitcherUser_, 0.15, 0.5);
    else if (now() >= nextPluginUser_) take(pluginUser(), nextPluginUser_, 0.15, 0.5);
}

// Pulled and silent units come back when their time is up, or at once.
void World::bringUnitsBack(bool atOnce) {
    for (std::size_t u = 0; u < units_.size(); ++u) {
        Unit &unit = units_[u];
        if ((!atOnce && now() < unit.backAt) || (unit.plugged && !unit.silenced)) continue;
        command(unit.plugged ? cat("silence ", u, " off") : cat("plug ", u));
        note("front panel: " + unit.serial + (unit.plugged ? " reports again" : " plugged in"));
        unit.plugged = true;
        unit.silenced = false;
    }
}

// The action's intended settings are claimed on its unit if they reached it;
// every unit is then looked at for what else changed.
void World::afterAction(const Outcome &done) {
    for (std::size_t u = 0; u < units_.size(); ++u) {
        Unit &unit = units_[u];
        const bool target = static_cast<int>(u) == done.target, blind = target && done.blind;
        std::set<int> intended;
        for (const auto &[f, value] : target && done.reached ? done.intents : Intents{}) {
            // Whoever wrote it, a silent unit does not report it: no writer
            // could have known of it.
            unit.ledger.claims[f] = {value, done.by, now(), !unit.silenced};
            intended.insert(f);
        }
        for (const std::string &what : unit.ledger.observe(state(static_cast<int>(u)), done.by, intended, now())) {
            ++count(blind ? "replaced by the switcher before it showed them" : "changes replaced");
            note(unit.serial + (blind ? ": not yet shown to its writer: " : ": ") + what);
            if (blind) continue;
            expect(unit.serial + " change kept", "kept", what);
        }
    }
}

// The unit the switcher shows, by the serial number in its status line; -1
// when it shows none.
int World::switcherUnit() {
    const std::string &status = app_.mainForm().at("Label4").text();
    for (std::size_t u = 0; u < units_.size(); ++u)
        if (status == "Connected to Corvil\r\nSerial No. " + units_[u].serial) return static_cast<int>(u);
    return -1;
}

plugin::CUnitDlg *World::windowOf(const HostUnit &h) const {
    const plugin::CCorvilPlugin &object = *plugins_[h.object];
    for (int place = 0; place < object.openWindowCount(); ++place)
        if (object.window(place)->unitId == h.id) return object.window(place);
    return nullptr;
}

} // namespace corvil::soak

// The actors: the units' front panels, the switcher's user, and the host with
// its user and its analyser; each picks its action from a table by weight.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "world.h"

namespace corvil::soak {

// A table's weights add up to 100.
std::optional<Outcome> World::oneOf(std::initializer_list<std::pair<int, Action>> table) {
    int roll = pick(0, 99);
    for (const auto &[weight, action] : table)
        if ((roll -= weight) < 0) return action();
    return std::nullopt;
}

// A change on a unit's front panel, a report of an undefined input, or the
// unit silent or pulled out for a while.
std::optional<Outcome> World::frontPanel() {
    const int u = pick(0, static_cast<int>(units_.size()) - 1), o = pick(0, 1);
    Unit &unit = units_[u];
    const std::string where = cat(u, " ", o + 1, " ");
    const auto set = [&](const std::vector<std::string> &lines, Intents intents) {
        std::string what;
        for (const std::string &line : lines) command(line), what += (what.empty() ? "" : ", ") + line;
        ++count("front-panel changes");
        note("front panel: " + unit.serial + ": " + what);
        return std::optional<Outcome>({"the front panel", u, std::move(intents), true});
    };
    const auto sequence = [o](int mask, Intents also) {
        for (int input = 1; input <= 8; ++input) also.push_back({field::sequenced(o, input), (mask >> (input - 1)) & 1});
        return also;
    };
    const bool answering = unit.plugged && !unit.silenced; // else none of the last three
    const auto away = [&](bool pull) -> std::optional<Outcome> {
        if (!answering) return std::nullopt;
        unit.backAt = now() + between(0.3, 2.5);
        command(pull ? cat("unplug ", u) : cat("silence ", u, " on"));
        (pull ? unit.plugged : unit.silenced) = !pull;
        unit.pulls += pull;
        ++unit.troubles;
        ++count(pull ? "unplugs" : "silences");
        note("front panel: " + unit.serial + (pull ? " pulled out" : " goes silent"));
        return std::nullopt;
    };
    return oneOf({
        {32, [&] { const int in = pick(0, 8); return set({cat("route ", where, in)}, {{field::route(o), in}}); }},
        {28, [&] {
             const int in = pick(1, 8), on = chance(50);
             return set({cat("pad ", where, in, on ? " on" : " off")}, {{field::pad(o, in), on}});
         }},
        {10, [&] {
             const int mask = pick(0, 255) & pick(0, 255);
             return set({cat("seq-inputs ", where, mask)}, sequence(mask, {}));
         }},
        {10, [&] {
             // Mostly steps of 0.5 to 3 s; now and then a code beyond the lists' 18.
             const int code = chance(90) ? pick(0, 6) : pick(19, 127);
             return set({cat("seq-interval ", where, code)}, {{field::interval(o), code}});
         }},
        {8, [&] {
             const int on = chance(40);
             return set({cat("seq ", where, on ? "on" : "off")}, {{field::sequencing(o), on}});
         }},
        {3, [&] {
             // Auto-sequencing starts stepping, fast, while the users go on.
             const int mask = pick(1, 255), code = pick(1, 2);
             ++count("auto-sequencing starts");
             return set({cat("seq-inputs ", where, mask), cat("seq-interval ", where, code), "seq " + where + "on"},
                        sequence(mask, {{field::interval(o), code}, {field::sequencing(o), 1}}));
         }},
        {3, [&]() -> std::optional<Outcome> {
             // One report with an undefined input; the unit's state stays as it is.
             if (!answering) return std::nullopt;
             UnitState s = state(u);
             s.input[o] = pick(9, 254);
             char raw[64];
             std::snprintf(raw, sizeof raw, "raw %d 03 %02x %02x %02x %02x", u, s.input[1], s.input[0], s.pads[1],
                           s.pads[0]);
             command(raw);
             ++count("undefined inputs");
             note(cat("front panel: ", unit.serial, " reports input ", s.input[o], " on output ", o + 1, " once"));
             return std::nullopt;
         }},
        {3, [&] { return away(false); }},
        {3, [&] { return away(true); }},
    });
}

// A click in one of the switcher's windows, or a configuration window closed.
std::optional<Outcome> World::switcherUser() {
    Form &main = app_.mainForm(), &pads = app_.attenuatorForm(), &sequencing = app_.autoSequencingForm();
    // (Looking at a window the user closed would make it anew.)
    const auto shown = [](Form &window) { return window.loaded() && window.isVisible(); };
    // A change reaches the unit the switcher shows when its connection still
    // stands and its first poll is done (clicks before it are ignored, and
    // the displays then show the unit again), and the record it is in was read.
    const int u = switcherUnit(), o = pick(0, 1);
    const bool reached = u >= 0 && app_.unitConnected && app_.syncComplete && units_[u].plugged &&
                         units_[u].pulls == units_[u].pullsSwitcherKnew;
    std::function<void()> act;
    const auto does = [&](std::function<void()> what, Intents intents, bool read) {
        act = std::move(what);
        return std::optional<Outcome>({"the switcher's user", u, std::move(intents), reached && read});
    };
    const auto click = [&](Control &c, Intents intents, bool read) {
        note("switcher: user clicks " + form::qualifiedName(c.name(), c.index()) + " in " + c.form().name());
        return does([&c] { c.click(); }, std::move(intents), read);
    };
    // A box of a configuration window's grid; half the time one that changed
    // since this user last looked, put back as it was.
    const auto box = [&](Form &window, const std::string &seen, int (*setting)(int, int),
                         bool read) -> std::optional<Outcome> {
        if (!shown(window)) return std::nullopt;
        const std::string grid = boxes(window);
        int k = -1;
        if (seen.size() == grid.size() && chance(50)) {
            const std::size_t i = std::mismatch(grid.begin(), grid.end(), seen.begin()).first - grid.begin();
            if (i < grid.size()) k = static_cast<int>(i < 8 ? i : i - 1); // past the gap between the outputs
        }
        if (k < 0) k = pick(0, 15);
        Control &c = window.at("Check1", k);
        return click(c, {{setting(k / 8, k % 8 + 1), !c.value()}}, read);
    };
    std::optional<Outcome> done = oneOf({
        {35, [&] {
             const int row = pick(1, 9);
             Control &c = main.at(cat("Option", row), o);
             return click(c, c.value() ? Intents{} : Intents{{field::route(o), row == 9 ? 0 : row}}, true);
         }},
        {10, [&] {
             Control &c = main.at(o ? "cAutoSeq2" : "cAutoSeq1");
             // Switching on an output with nothing to step through is refused.
             const bool takes = c.enabled() && (o ? app_.autoSeqInputs2 : app_.autoSeqInputs1) != 0;
             return click(c, takes ? Intents{{field::sequencing(o), !c.value()}} : Intents{}, app_.autoSeqLoaded);
         }},
        {5, [&] { return click(main.at(o ? "Command2" : "Command1"), {}, true); }},
        {3, [&]() -> std::optional<Outcome> {
             Form &window = o ? sequencing : pads;
             if (!shown(window)) return std::nullopt;
             note(std::string("switcher: user closes the ") + (o ? "auto-sequencing" : "attenuator") + " window");
             return does([&window] { window.unload(); }, {}, true);
         }},
        {25, [&] { return box(pads, padsSeen_, field::pad, app_.padsLoaded); }},
        {12, [&] { return box(sequencing, sequencingSeen_, field::sequenced, app_.autoSeqLoaded); }},
        {10, [&]() -> std::optional<Outcome> {
             if (!shown(sequencing)) return std::nullopt;
             Control &list = sequencing.at(o ? "cChan2Time" : "cChan1Time");
             const int index = pick(0, 18);
             note(cat("switcher: user chooses entry ", index, " of ", list.name()));
             // Choosing the entry shown is a choice too: the switcher sends it,
             // and the unit takes it even over a code the list cannot show
             // (shown as its last entry).
             const bool takes = index < static_cast<int>(list.entries().size()) && list.enabled();
             return does([&list, index] { list.choose(index); }, takes ? Intents{{field::interval(o), index}} : Intents{},
                         app_.autoSeqLoaded);
         }},
    });
    if (!done) return done;
    // The switcher sends the pad masks with every routing or pad change and
    // the auto-sequencing record whole, as it holds them: a change its
    // windows do not show yet can go with them.
    if (u >= 0) {
        const UnitState s = state(u);
        done->blind = app_.padMask1 != s.pads[0] || app_.padMask2 != s.pads[1] || app_.autoSeqInputs1 != s.seqInputs[0] ||
                      app_.autoSeqInputs2 != s.seqInputs[1] || app_.autoSeqControl1 != s.seqControl[0] ||
                      app_.autoSeqControl2 != s.seqControl[1];
    }
    toolkit_.post(act);
    app_.pass();
    if (shown(pads)) padsSeen_ = boxes(pads);
    if (shown(sequencing)) sequencingSeen_ = boxes(sequencing);
    if (done->reached && !done->intents.empty()) ++count("switcher");
    return done;
}

// The host's user opens windows, the analyser sets a unit's routing, or the
// host's user works a unit window they can see.
std::optional<Outcome> World::pluginUser() {
    std::vector<const HostUnit *> shown;
    for (const HostUnit &h : hostUnits_)
        if (shownView(windowOf(h))) shown.push_back(&h);
    const HostUnit *h = shown.empty() ? nullptr : shown[pick(0, static_cast<int>(shown.size()) - 1)];
    plugin::CUnitDlg *w = h ? windowOf(*h) : nullptr;
    const int u = h ? h->unit : -1;
    FakeUnitView *view = shownView(w);
    const int o = pick(0, 1), list = o ? plugin::kLevelList2 : plugin::kLevelList1;
    const int radios = o ? plugin::kRadioOutput2 : plugin::kRadioOutput1;
    const std::string by = h ? "the plug-in's user in \"" + h->name + "\"" : "";
    // A write that fails is reported ("Contact was lost ..."); one that is not
    // reported reached the unit.
    const auto inWindow = [&](const std::string &what, Intents intents, const std::function<void()> &act) {
        note("plug-in: user " + what + " in \"" + h->name + "\"");
        const std::size_t messages = surroundings_.host.messages.size();
        act(); // the window may be gone now
        const bool reached = surroundings_.host.messages.size() == messages;
        lastWindowChange_ = now();
        if (reached) ++count("plug-in");
        return std::optional<Outcome>({by, u, std::move(intents), reached});
    };
    return oneOf({
        {8, [&] { hostOpensWindows(); return std::optional<Outcome>(); }},
        {6, [&] {
             // The analyser sets a unit's routing through its own model: an
             // input and a level (Mic 0, Line 1, the input's pad) per output.
             const HostUnit &to = hostUnits_[pick(0, static_cast<int>(hostUnits_.size()) - 1)];
             const std::int32_t inputs[2] = {pick(0, 8), pick(0, 8)}, levels[2] = {pick(0, 1), pick(0, 1)},
                                reserved[2] = {};
             Intents intents;
             for (int out = 0; out < 2; ++out) {
                 intents.push_back({field::route(out), inputs[out]});
                 if (inputs[out]) intents.push_back({field::pad(out, inputs[out]), levels[out]});
             }
             const std::string address = "SERIAL " + units_[to.unit].serial;
             const bool reached = plugins_[to.object]->SetRouting(address.c_str(), inputs, reserved, levels, 2) == 0;
             note(cat("plug-in: host sets routing of \"", to.name, "\" to ", inputs[0], "/", levels[0], " ", inputs[1],
                      "/", levels[1], reached ? "" : ": failed"));
             if (reached) ++count("plug-in");
             return std::optional<Outcome>({"the analyser", to.unit, intents, reached});
         }},
        {3, [&]() -> std::optional<Outcome> {
             if (!w) return std::nullopt;
             note("plug-in: user presses Escape in \"" + h->name + "\"");
             view->events().onEscape();
             if (chance(50)) {
                 // The host opens (or updates) the window again before the poll
                 // pass that would remove it: the pass must leave it, unless the
                 // unit was found lost meanwhile (with a message).
                 plugin::CCorvilPlugin &p = *plugins_[h->object];
                 const std::string address = "SERIAL " + units_[u].serial;
                 const bool update = chance(50);
                 note("plug-in: host " + std::string(update ? "updates" : "opens") + " \"" + h->name + "\" again");
                 const std::size_t messages = surroundings_.host.messages.size();
                 p.EnumerateUnits(); // as the host does before it opens windows
                 const int result = update ? p.UpdateUnitWindow(address.c_str(), h->name.c_str(), h->id)
                                           : p.OpenUnitWindow(hostWindow_, address.c_str(), h->name.c_str(), h->id);
                 p.Tick(500);
                 ++count("again before the pass");
                 plugin::CUnitDlg *again = windowOf(*h);
                 if (surroundings_.host.messages.size() == messages && units_[u].plugged && !units_[u].silenced)
                     expect(cat("plug-in window \"", h->name, "\" ", update ? "updated" : "opened",
                                " again before the pass (result ", result, ")"),
                            "shown", shownView(again) && !again->closePending ? "shown" : "gone");
             }
             return Outcome{by, u, {}, false};
         }},
        {48, [&]() -> std::optional<Outcome> {
             if (!w) return std::nullopt;
             const int input = pick(0, 8);
             return inWindow(cat("clicks input ", input, " of output ", o + 1), {{field::route(o), input}}, [&] {
                 for (int k = 0; k <= 8; ++k) view->radios[radios + k] = k == input; // an auto radio button's group
                 view->events().onRadioClick(radios + input);
             });
         }},
        {35, [&]() -> std::optional<Outcome> {
             const int input = !w ? 0 : o ? w->input2 : w->input1;
             if (!w || !view->enabled[list] || input < 1 || input > 8) return std::nullopt;
             const int level = view->levelSelection(list) == 0 ? 1 : 0;
             const std::string what = cat("chooses ", level ? "Line" : "Mic", " for output ", o + 1);
             return inWindow(what, {{field::pad(o, input), level}}, [&] {
                 view->events().onDropDown(true);
                 view->events().onDropDown(false);
                 view->selections[list] = level;
                 view->events().onLevelChange(list); // last: the window may go while it runs
             });
         }},
    });
}

// The host's user opens the unit windows that went (closed, or contact lost)
// for units that are there. The host enumerates first, so that a unit
// plugged in since the plug-in's last look is found.
bool World::hostOpensWindows() {
    bool enumerated[2] = {false, false};
    for (HostUnit &h : hostUnits_) {
        const Unit &unit = units_[h.unit];
        if (windowOf(h) || !unit.plugged || unit.silenced) continue;
        plugin::CCorvilPlugin &object = *plugins_[h.object];
        if (!std::exchange(enumerated[h.object], true)) object.EnumerateUnits();
        note("plug-in: host opens window \"" + h.name + "\"");
        h.troublesAtOpen = unit.troubles;
        object.OpenUnitWindow(hostWindow_, ("SERIAL " + unit.serial).c_str(), h.name.c_str(), h.id);
        ++count("windows opened");
    }
    return enumerated[0] || enumerated[1];
}

} // namespace corvil::soak

// The checks: after a settle every display shows what its unit holds, and
// every change a user meant is still on the unit unless a later one replaced
// it (the ledgers). Each display is compared whole, as text built from the
// unit's state and from the controls in the same shape.
#include <algorithm>
#include <cstdio>
#include <iomanip>

#include "world.h"

namespace corvil::soak {
namespace {

// A check-box grid as its 16 boxes, input 1 first, output 1 then output 2.
std::string gridText(const std::function<bool(int)> &box) {
    std::string text;
    for (int k = 0; k < 16; ++k) text += std::string(k == 8 ? " " : "") + (box(k) ? '1' : '0');
    return text;
}

// Which of a group of option buttons, numbered first to last, are on.
std::string onesOn(int first, int last, const std::function<bool(int)> &on) {
    std::string text;
    for (int k = first; k <= last; ++k)
        if (on(k)) text += (text.empty() ? "" : " ") + std::to_string(k);
    return text;
}

std::string intervalText(int code) { return code ? cat(code / 2, code % 2 ? ".5" : ".0", " seconds") : "Disabled"; }
std::string ability(bool enabled) { return enabled ? "enabled" : "disabled"; }

} // namespace

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
                replaced.push_back(
                    cat(field::name(f), " = ", c.value, " (by ", c.by, ") replaced by ", after, " sent along by ", by));
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

std::string boxes(Form &form) { return gridText([&form](int k) { return form.at("Check1", k).value() != 0; }); }

// The front panels rest (the units are back and step no longer) while the
// host opens its windows again and every user's polling catches up; then
// every display is checked against its unit, and the ledgers start afresh.
void World::settle() {
    note("settle");
    checkClaims("before the settle");
    bringUnitsBack(true);
    for (int u = 0; u < static_cast<int>(units_.size()); ++u) {
        for (const char *output : {" 1 off", " 2 off"}) command("seq " + std::to_string(u) + output);
        afterAction({"the front panel", u, {{field::sequencing(0), 0}, {field::sequencing(1), 0}}, true});
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
        // What is still missing after 30 s shows in the checks.
        if (t - start >= 30 || (t - start >= kSettleSeconds && t - opened >= 1.5 && t - lastWindowChange_ >= 3.5)) break;
    }
    ++count("settles");
    std::vector<UnitState> states;
    for (std::size_t u = 0; u < units_.size(); ++u) states.push_back(state(static_cast<int>(u)));
    checkClaims("after the settle");
    checkDisplays(states);
    std::string shown;
    for (const auto *list : {&toolkit_.messages, &toolkit_.stops})
        for (const std::string &m : *list) shown += m;
    expect("switcher message boxes", "", shown);
    for (std::size_t u = 0; u < units_.size(); ++u) units_[u].ledger.baseline(states[u], now());
    surroundings_.host.messages.clear();
    note(cat("settle ", count("settles"), " done: ", count("checks"), " checks, ", count("failures"), " failures"));
    std::fflush(stdout);
}

// Every change whose maker meant it is on the unit, unless a later one
// replaced it.
void World::checkClaims(const std::string &when) {
    for (std::size_t u = 0; u < units_.size(); ++u) {
        const UnitState s = state(static_cast<int>(u));
        for (int f = 0; f < field::kCount; ++f)
            if (const Claim &c = units_[u].ledger.claims[f]; c.value >= 0)
                expect(cat(units_[u].serial, " ", field::name(f), " ", when, " (last changed by ", c.by, " at ",
                           std::fixed, std::setprecision(3), c.at, " s)"),
                       std::to_string(c.value), std::to_string(field::value(s, f)));
    }
}

// Per output of the switcher's main window: the display (the input, a point
// for its pad, "-" for none), the option button on (row 9 for none) and the
// auto-sequencing box. Per output of each unit window: the radio button on (0
// for none) and the level list, offering the chosen input's pad as Mic or Line.
void World::checkDisplays(const std::vector<UnitState> &states) {
    const auto output = [](int o, const std::string &radio, bool enabled, int selection) {
        return cat("; output ", o + 1, ": input ", radio, ", ", ability(enabled), ", ",
                   selection < 0 ? "none" : selection == 0 ? "Mic" : selection == 1 ? "Line" : "?");
    };
    for (const HostUnit &h : hostUnits_) {
        const UnitState &s = states[h.unit];
        plugin::CUnitDlg *w = windowOf(h);
        FakeUnitView *view = shownView(w);
        const bool shown = view && !w->closePending;
        std::string expected = "shown \"" + h.name + "\"";
        std::string found = shown ? "shown \"" + view->title + "\"" : w ? "closing" : "closed";
        for (int o = 0; o < 2; ++o) {
            const int radios = o ? plugin::kRadioOutput2 : plugin::kRadioOutput1;
            const int list = o ? plugin::kLevelList2 : plugin::kLevelList1, in = s.input[o];
            expected += output(o, std::to_string(in), in, in ? (s.pads[o] >> (in - 1)) & 1 : -1);
            if (shown)
                found += output(o, onesOn(0, 8, [&](int k) { return view->radio(radios + k); }), view->enabled[list],
                                view->levelSelection(list));
        }
        expect("plug-in window \"" + h.name + "\" (" + units_[h.unit].serial + ")", expected, found);
    }
    Form &main = app_.mainForm(), &pads = app_.attenuatorForm(), &sequencing = app_.autoSequencingForm();
    const int u = switcherUnit();
    if (u < 0)
        return expect("switcher status Label4", "Connected to Corvil\r\nSerial No. <a unit's>", main.at("Label4").text());
    const UnitState &s = states[u];
    const std::string of = "switcher (" + units_[u].serial + ") ";
    for (int o = 0; o < 2; ++o) {
        const int in = s.input[o];
        const Control &c = main.at(o ? "cAutoSeq2" : "cAutoSeq1");
        const auto shows = [&](const std::string &display, const std::string &row, bool ticked, bool enabled) {
            return cat("Text1 \"", display, "\", option ", row, ", ", c.name(), ticked ? " ticked, " : " unticked, ",
                       ability(enabled));
        };
        expect(cat(of, "output ", o + 1),
               shows(in ? cat(in, (s.pads[o] >> (in - 1)) & 1 ? "." : "") : "-", std::to_string(in ? in : 9),
                     s.stepping(o), (s.seqControl[o] & 0x7F) != 0),
               shows(main.at("Text1", o).text(),
                     onesOn(1, 9, [&](int row) { return main.at(cat("Option", row), o).value(); }),
                     c.value(), c.enabled()));
    }
    const auto grid = [](const int masks[2]) { return gridText([masks](int k) { return masks[k / 8] >> k % 8 & 1; }); };
    if (pads.loaded()) expect(of + "attenuator window Check1", grid(s.pads), boxes(pads));
    if (!sequencing.loaded()) return;
    // The interval lists, when the window is shown, as "index: entry"; a code
    // beyond the lists' 18 shows as the last entry.
    std::string expected = grid(s.seqInputs), found = boxes(sequencing);
    for (int o = 0; o < 2 && sequencing.isVisible(); ++o) {
        const Control &list = sequencing.at(o ? "cChan2Time" : "cChan1Time");
        const int index = std::min(s.seqControl[o] & 0x7F, 18);
        expected += cat(", ", list.name(), " ", index, ": ", intervalText(index));
        found += cat(", ", list.name(), " ", list.listIndex(), ": ", list.editText());
    }
    expect(of + "auto-sequencing window", expected, found);
}

} // namespace corvil::soak

// The checks: after a settle every display shows what its unit holds, and
// every change a user meant is still on the unit unless a later one replaced
// it.
#include <algorithm>
#include <cstdio>

#include "world.h"

namespace corvil::soak {
namespace {

std::string expectedDisplay(int input, int pads) {
    return input ? cat(input, (pads >> (input - 1)) & 1 ? "." : "") : "-";
}
std::string intervalText(int code) { return code ? cat(code / 2, code % 2 ? ".5" : ".0", " seconds") : "Disabled"; }

// A check-box grid as its 16 boxes, input 1 first, output 1 then output 2.
std::string gridText(const std::function<bool(int)> &box) {
    std::string text;
    for (int k = 0; k < 16; ++k) text += std::string(k == 8 ? " " : "") + (box(k) ? '1' : '0');
    return text;
}

std::string maskGrid(const int masks[2]) { return gridText([masks](int k) { return (masks[k / 8] >> (k % 8)) & 1; }); }

// Which of a group of option buttons, numbered first to last, are on.
std::string onesOn(int first, int last, const std::function<bool(int)> &on) {
    std::string text;
    for (int k = first; k <= last; ++k)
        if (on(k)) text += (text.empty() ? "" : " ") + std::to_string(k);
    return text;
}

} // namespace

std::string boxes(Form &form) { return gridText([&form](int k) { return form.at("Check1", k).value() != 0; }); }

// The front panels rest (the units are back and step no longer) while the
// host opens its windows again and every user's polling catches up; then
// every display is checked against its unit, and the ledgers start afresh.
void World::settle() {
    note("settle");
    failedHere_ = false;
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
    checkSwitcher(states);
    checkWindows(states);
    std::string boxes;
    for (const std::string &m : toolkit_.messages) boxes += m;
    for (const std::string &m : toolkit_.stops) boxes += m;
    expect("switcher message boxes", "", boxes);
    for (std::size_t u = 0; u < units_.size(); ++u) units_[u].ledger.baseline(states[u], now());
    surroundings_.host.messages.clear();
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
        printTrail();
    }
    if (options_.verbose)
        std::printf("corvil-soak: settle %ld at %.1f s: %ld checks, %ld failures\n", count("settles"), now(),
                    count("checks"), count("failures"));
    std::fflush(stdout);
}

// Every change whose maker meant it is on the unit, unless a later one
// replaced it.
void World::checkClaims(const std::string &when) {
    char at[32];
    for (std::size_t u = 0; u < units_.size(); ++u) {
        const UnitState s = state(static_cast<int>(u));
        for (int f = 0; f < field::kCount; ++f) {
            const Claim &c = units_[u].ledger.claims[f];
            if (c.value < 0) continue;
            std::snprintf(at, sizeof at, "%.3f s", c.at);
            expect(units_[u].serial + " " + field::name(f) + " " + when + " (last changed by " + c.by + " at " + at + ")",
                   field::text(f, c.value), field::text(f, field::value(s, f)));
        }
    }
}

void World::checkSwitcher(const std::vector<UnitState> &states) {
    Form &main = app_.mainForm();
    const int u = switcherUnit();
    if (u < 0) {
        expect("switcher status Label4", "Connected to Corvil\r\nSerial No. <a unit's>", main.at("Label4").text());
        return;
    }
    const UnitState &s = states[u];
    const std::string of = "switcher (" + s.serial + ") ";
    const auto box = [](bool ticked, bool enabled) {
        return std::string(ticked ? "ticked" : "unticked") + (enabled ? ", enabled" : ", disabled");
    };
    for (int o = 0; o < 2; ++o) {
        expect(cat(of, "Text1(", o, ")"), expectedDisplay(s.input[o], s.pads[o]), main.at("Text1", o).text());
        expect(cat(of, "option button on in column ", o), std::to_string(s.input[o] ? s.input[o] : 9),
               onesOn(1, 9, [&](int row) { return main.at(cat("Option", row), o).value() != 0; }));
        const Control &c = main.at(o ? "cAutoSeq2" : "cAutoSeq1");
        expect(of + c.name(), box(s.stepping(o), (s.seqControl[o] & 0x7F) != 0), box(c.value(), c.enabled()));
    }
    Form &pads = app_.attenuatorForm(), &sequencing = app_.autoSequencingForm();
    if (pads.loaded()) expect(of + "attenuator window Check1", maskGrid(s.pads), boxes(pads));
    if (!sequencing.loaded()) return;
    expect(of + "auto-sequencing window Check1", maskGrid(s.seqInputs), boxes(sequencing));
    for (int o = 0; o < 2 && sequencing.isVisible(); ++o) {
        const Control &list = sequencing.at(o ? "cChan2Time" : "cChan1Time");
        const int index = std::min(s.seqControl[o] & 0x7F, 18);
        expect(of + list.name(), std::to_string(index) + ": " + intervalText(index),
               std::to_string(list.listIndex()) + ": " + list.editText());
    }
}

void World::checkWindows(const std::vector<UnitState> &states) {
    const auto level = [](bool enabled, int selection) {
        return std::string(enabled ? "enabled, " : "disabled, ") +
               (selection < 0 ? "none" : selection == 0 ? "Mic" : selection == 1 ? "Line" : "?");
    };
    for (const HostUnit &h : hostUnits_) {
        const UnitState &s = states[h.unit];
        const std::string of = "plug-in window \"" + h.name + "\" (" + s.serial + ") ";
        plugin::CUnitDlg *w = windowOf(h);
        FakeUnitView *view = shownView(w);
        const bool shown = view && !w->closePending;
        expect(of + "open", "shown", shown ? "shown" : w ? "closing" : "closed");
        if (!shown) continue;
        expect(of + "title", h.name, view->title);
        for (int o = 0; o < 2; ++o) {
            const int radios = o ? plugin::kRadioOutput2 : plugin::kRadioOutput1;
            const int list = o ? plugin::kLevelList2 : plugin::kLevelList1, input = s.input[o];
            expect(cat(of, "output ", o + 1, " radio button on"), std::to_string(input),
                   onesOn(0, 8, [&](int k) { return view->radio(radios + k); }));
            expect(cat(of, "output ", o + 1, " level list"), level(input, input ? (s.pads[o] >> (input - 1)) & 1 : -1),
                   level(view->enabled[list], view->levelSelection(list)));
        }
    }
}

} // namespace corvil::soak

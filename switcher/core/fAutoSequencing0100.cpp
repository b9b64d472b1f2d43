// The auto-sequencing window: which inputs each output steps through, and
// the step interval of each.
#include "layout.h"
#include "window_units.h"

namespace corvil::switcher {

fAutoSequencing0100::fAutoSequencing0100(SwitcherApp0100 &app)
    : form(autoSequencingWindowLayout(),
           [this] {
               form::FormHandlers h;
               h.load = [this] { Form_Load(); };
               h.activate = [this] { Form_Activate(); };
               h.click["Check1"] = [this](int index) { Check1_Click(index); };
               h.click["cChan1Time"] = [this](int) { cChanTime_Click(1); };
               h.click["cChan2Time"] = [this](int) { cChanTime_Click(2); };
               return h;
           }(),
           app.observer),
      app_(app) {}

void fAutoSequencing0100::fillIntervalLists() {
    form::Control &list1 = form.at("cChan1Time");
    form::Control &list2 = form.at("cChan2Time");
    list1.clear();
    list2.clear();
    list1.addItem(intervalEntry(0), 0);
    list2.addItem(intervalEntry(0), 0);
    for (std::int16_t j = 1; j <= 18; ++j) {
        list1.addItem(intervalEntry(j), j);
        list2.addItem(intervalEntry(j), j);
    }
}

void fAutoSequencing0100::Form_Load() {
    app_.autoSeqLoaded = false;
    for (const char *name : {"cChan1Time", "cChan2Time"}) {
        form.at(name).clear();
        form.at(name).setEditText("");
    }
    fillIntervalLists();
}

void fAutoSequencing0100::Form_Activate() {
    app_.autoSeqLoaded = false;
    form.at("cChan1Time").clear();
    form.at("cChan2Time").clear();
    if (app_.unitConnected) {
        fillIntervalLists();
        form.at("Label1", 0).setText(kAutoSeqInstruction);
        form.at("cChan1Time").setEditText("");
        form.at("cChan2Time").setEditText("");
    } else {
        form.at("Label1", 0).setText(app_.corvhid.GetErrorText());
    }
}

void fAutoSequencing0100::Check1_Click(int index) {
    if (!app_.autoSeqLoaded) return;
    app_.userBusy = true;
    app_.setGridBit(app_.autoSeqInputs1, app_.autoSeqInputs2, index, form.at("Check1", index).value() > 0);
    app_.SendAutoSequencing();
    app_.userBusy = false;
}

void fAutoSequencing0100::cChanTime_Click(int channel) {
    if (!app_.autoSeqLoaded) return;
    app_.userBusy = true;
    form::Control &list = form.at(channel == 1 ? "cChan1Time" : "cChan2Time");
    std::uint8_t &control = channel == 1 ? app_.autoSeqControl1 : app_.autoSeqControl2;
    const std::uint8_t onBit = control & 0x80;
    control = static_cast<std::uint8_t>(static_cast<std::uint8_t>(list.listIndex()) | onBit);
    app_.userBusy = false;
    list.setEditText(list.entry(list.listIndex()));
    app_.SendAutoSequencing();
}

} // namespace corvil::switcher

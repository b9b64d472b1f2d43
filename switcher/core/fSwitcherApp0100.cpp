// The main window: routing, auto-sequencing switches, the two configuration
// buttons, the status line and the watchdog timer.
#include "corvhid.h"
#include "layout.h"
#include "window_units.h"

namespace corvil::switcher {

fSwitcherApp0100::fSwitcherApp0100(SwitcherApp0100 &app)
    : form(mainWindowLayout(),
           [this] {
               form::FormHandlers h;
               h.load = [this] { Form_Load(); };
               h.activate = [this] { Form_Activate(); };
               h.unload = [this] { Form_Unload(); };
               h.terminate = [this] { Form_Terminate(); };
               for (int row = 0; row < 9; ++row)
                   h.click["Option" + std::to_string(row + 1)] = [this, row](int index) {
                       SelectInput(static_cast<std::uint8_t>(row), static_cast<std::int16_t>(index));
                   };
               h.click["cAutoSeq1"] = [this](int) { cAutoSeq_Click(1); };
               h.click["cAutoSeq2"] = [this](int) { cAutoSeq_Click(2); };
               h.click["Command1"] = [this](int) { app_.attenuatorForm().show(); };
               h.click["Command2"] = [this](int) { app_.autoSequencingForm().show(); };
               h.timer = [this] { Timer1_Timer(); };
               return h;
           }(),
           app.observer),
      app_(app) {}

void fSwitcherApp0100::Form_Load() {
    for (int i = 0; i < 8; ++i) app_.bitMask[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(1u << i);
    app_.bitMask[8] = 0;
    form.show();
    responseCountdown = 30;
    if (app_.corvhid.FindFirstCorvil(app_.unitNumber) == CORVHID_SUCCESS) {
        responseCountdown = 30;
        app_.unitConnected = true;
        app_.userBusy = false;
        app_.serialShown = false;
        app_.settingsArrived = app_.autoSeqArrived = false;
        showFound();
    } else {
        app_.unitConnected = false;
        showNotFound();
    }
    app_.corvhid.DoneFindingCorvils();
    form.at("Option1", 0).setFocus();
}

void fSwitcherApp0100::Form_Activate() { form.at("Command1").setFocus(); }

void fSwitcherApp0100::Form_Unload() {
    app_.appClosing = true;
    if (app_.unitConnected) {
        app_.unitConnected = false;
        app_.syncComplete = false;
        app_.autoSeqLoaded = false;
        app_.padsLoaded = false;
        app_.corvhid.CleanupCorvil();
    }
}

void fSwitcherApp0100::Form_Terminate() {
    app_.appClosing = true;
    if (app_.unitConnected) {
        app_.unitConnected = false;
        app_.corvhid.CleanupCorvil();
    }
}

void fSwitcherApp0100::SelectInput(std::uint8_t row, std::int16_t column) {
    if (row > 8 || column > 1) {
        app_.toolkit.messageBox(
            "Illegal activation of cell " + std::to_string(row) + "," + std::to_string(column) + "!",
            "Internal Error");
        return;
    }
    if (!app_.unitConnected || app_.appClosing || !app_.syncComplete) return;
    app_.userBusy = true;
    std::uint8_t input = static_cast<std::uint8_t>(row + 1);
    if (input > 8) input = 0;
    std::uint8_t &selected = column == 0 ? app_.selectedInput1 : app_.selectedInput2;
    std::uint8_t &known = column == 0 ? app_.knownInput1 : app_.knownInput2;
    selected = input;
    if (selected != known && !app_.syncing) {
        app_.noteUserWrite(SwitcherApp0100::Group::Settings);
        if (column == 0)
            app_.corvhid.WriteCorvilSettings(app_.unitNumber, app_.selectedInput1, 255, app_.padMask1, app_.padMask2);
        else
            app_.corvhid.WriteCorvilSettings(app_.unitNumber, 255, app_.selectedInput2, app_.padMask1, app_.padMask2);
        known = selected;
    }
    app_.userBusy = false;
}

void fSwitcherApp0100::cAutoSeq_Click(int channel) {
    if (!app_.autoSeqLoaded) return;
    form::Control &box = form.at(channel == 1 ? "cAutoSeq1" : "cAutoSeq2");
    if (!app_.unitConnected) {
        box.setValue(0);
        return;
    }
    app_.userBusy = true;
    std::uint8_t &control = channel == 1 ? app_.autoSeqControl1 : app_.autoSeqControl2;
    control = static_cast<std::uint8_t>((control & 0x7F) + (box.value() == 1 ? 128 : 0));
    if (app_.syncing)
        (channel == 1 ? app_.sentAutoSeqControl1 : app_.sentAutoSeqControl2) = control;
    else
        app_.SendAutoSequencing();
    app_.userBusy = false;
}

void fSwitcherApp0100::Timer1_Timer() {
    app_.PollUnit();
    if (app_.unitResponded) {
        app_.unitResponded = false;
        responseCountdown = 3;
        return;
    }
    if (responseCountdown > 0 && app_.unitConnected) {
        if (!app_.userBusy && !app_.appClosing) --responseCountdown;
        return;
    }
    if (app_.unitConnected) {
        app_.corvhid.CleanupCorvil();
        app_.unitConnected = false;
        app_.serialShown = false;
    }
    if (app_.appClosing) return;
    emptyDisplays();
    search();
}

void fSwitcherApp0100::emptyDisplays() {
    for (int column = 0; column < 2; ++column)
        for (int r = 1; r <= 9; ++r) form.at("Option" + std::to_string(r), column).setValue(0);
    app_.shownInput1 = app_.shownInput2 = 255;
    app_.padsLoaded = false;
    app_.autoSeqLoaded = false;
    form.at("Text1", 0).setText("");
    form.at("Text1", 1).setText("");
    form.at("cAutoSeq1").setValue(0);
    form.at("cAutoSeq2").setValue(0);
    app_.shownSerialNumber.clear();
    if (app_.attenuatorForm().isVisible())
        for (int k = 0; k < 16; ++k) app_.attenuatorForm().at("Check1", k).setValue(0);
    form::Form &autoSeq = app_.autoSequencingForm();
    if (autoSeq.isVisible()) {
        for (int k = 0; k < 16; ++k) autoSeq.at("Check1", k).setValue(0);
        form.at("cAutoSeq1").setValue(0);
        form.at("cAutoSeq2").setValue(0);
        for (const char *name : {"cChan1Time", "cChan2Time"}) {
            autoSeq.at(name).clear();
            autoSeq.at(name).setEditText("");
        }
    }
}

void fSwitcherApp0100::search() {
    if (app_.corvhid.FindFirstCorvil(app_.unitNumber) == CORVHID_SUCCESS) {
        app_.unitConnected = true;
        app_.serialShown = false;
        // Until a poll has taken this unit's records, the state still holds
        // what the previous unit reported: a click sent meanwhile would carry
        // its pad masks to this unit. Clicks wait for that poll, as at start.
        app_.settingsArrived = app_.autoSeqArrived = false;
        app_.syncComplete = false;
        // An undefined input held from the previous connection would refuse
        // every poll of this one, so the sync above could never complete and
        // no click would be taken: the program would reconnect for ever. This
        // connection's records decide; an undefined input they report is
        // held again, and a click can replace it.
        if (app_.selectedInput1 > 8) app_.selectedInput1 = 0;
        if (app_.selectedInput2 > 8) app_.selectedInput2 = 0;
        responseCountdown = 3;
        showFound();
        form::Form &autoSeq = app_.autoSequencingForm();
        if (autoSeq.isVisible()) {
            app_.autoSequencingWindow->fillIntervalLists();
            for (const char *name : {"cChan1Time", "cChan2Time"}) {
                form::Control &list = autoSeq.at(name);
                list.setEditText(list.entry(list.listIndex()));
            }
        }
    } else {
        showNotFound();
    }
    app_.corvhid.DoneFindingCorvils();
}

void fSwitcherApp0100::showFound() {
    app_.statusLine().setText("Connected");
    if (app_.attenuatorForm().isVisible()) app_.attenuatorForm().at("Label1", 0).setText(kPadInstruction);
    if (app_.autoSequencingForm().isVisible()) app_.autoSequencingForm().at("Label1", 0).setText(kAutoSeqInstruction);
}

void fSwitcherApp0100::showNotFound() {
    // The configuration windows say why too, in place of their instructions.
    app_.statusLine().setText(app_.corvhid.GetErrorText());
    const std::string status = app_.statusLine().text();
    if (app_.attenuatorForm().isVisible()) app_.attenuatorForm().at("Label1", 0).setText(status);
    if (app_.autoSequencingForm().isVisible()) app_.autoSequencingForm().at("Label1", 0).setText(status);
}

} // namespace corvil::switcher

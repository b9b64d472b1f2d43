// The attenuator window: one check box per crosspoint, a checked box meaning
// the 35 dB pad is in.
#include "layout.h"
#include "window_units.h"

namespace corvil::switcher {

fAttenuator0100::fAttenuator0100(SwitcherApp0100 &app)
    : form(attenuatorWindowLayout(),
           [this] {
               form::FormHandlers h;
               h.load = [this] { Form_Load(); };
               h.activate = [this] { Form_Activate(); };
               h.click["Check1"] = [this](int index) { Check1_Click(index); };
               return h;
           }(),
           app.observer),
      app_(app) {}

void fAttenuator0100::Form_Load() { app_.padsLoaded = false; }

void fAttenuator0100::Form_Activate() {
    app_.padsLoaded = false;
    form.at("Label1", 0).setText(app_.unitConnected ? std::string(kPadInstruction) : app_.corvhid.GetErrorText());
}

void fAttenuator0100::Check1_Click(int index) {
    if (!app_.padsLoaded) return;
    app_.userBusy = true;
    app_.setGridBit(app_.padMask1, app_.padMask2, index, form.at("Check1", index).value() > 0);
    if (app_.unitConnected && !app_.appClosing && app_.syncComplete &&
        (app_.sentPadMask1 != app_.padMask1 || app_.sentPadMask2 != app_.padMask2)) {
        if (!app_.syncing) {
            app_.noteUserWrite(SwitcherApp0100::Group::Settings);
            app_.corvhid.WriteCorvilSettings(app_.unitNumber, 255, 255, app_.padMask1, app_.padMask2);
        }
        app_.sentPadMask1 = app_.padMask1;
        app_.sentPadMask2 = app_.padMask2;
    }
    app_.userBusy = false;
}

} // namespace corvil::switcher

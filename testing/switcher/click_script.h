// One user's session with Corvil Switcher against an emulated unit, written
// once and run through each window toolkit: real clicks reach the unit, the
// unit's changes reach the widgets, configuration windows come back and take
// the activation, the main window's first button takes the focus on every
// return, a closed configuration window is discarded.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "SwitcherApp0100.h"
#include "headless_toolkit.h"
#include "emulator_process.h"
#include "layout.h"

namespace corvil::switcher::testing {

// What the user does and sees, in one toolkit's widgets.
class Desk {
public:
    virtual ~Desk() = default;
    virtual void click(form::Form &form, const std::string &name, int index = -1) = 0;
    virtual std::string text(form::Form &form, const std::string &name, int index = -1) = 0;
    virtual bool checked(form::Form &form, const std::string &name, int index = -1) = 0;
    virtual bool hasFocus(form::Form &form, const std::string &name, int index = -1) = 0;
    virtual void focus(form::Form &form, const std::string &name, int index = -1) = 0;
    virtual bool active(form::Form &form) = 0;
    virtual void activate(form::Form &form) = 0;
    virtual void minimise(form::Form &form) = 0;
    virtual bool minimised(form::Form &form) = 0;
    virtual void close(form::Form &form) = 0;
    virtual void screenshots() = 0;
};

// The three windows, each with the name its screenshot takes and its design.
struct Window {
    form::Form *form;
    std::string name;
    form::FormLayout design;
};
inline std::vector<Window> windows(SwitcherApp0100 &app) {
    return {{&app.mainForm(), "main", mainWindowLayout()},
            {&app.attenuatorForm(), "attenuator", attenuatorWindowLayout()},
            {&app.autoSequencingForm(), "auto-sequencing", autoSequencingWindowLayout()}};
}

// A label whose designed caption must fit its box (the status lines say what the program says).
inline bool fixedCaption(const form::ControlLayout &c) {
    return c.kind == form::Kind::Label && c.name != kStatusLine && !(c.name == "Label1" && c.index == 0);
}

// Every control of the three windows a screen reader reaches: `heard` gives the
// name it hears, which must be the control's own (a list's ends in
// `listSuffix`) and heard once in its window.
inline void forEachFocusable(SwitcherApp0100 &app, const std::string &listSuffix,
                             const std::function<std::string(form::Form &, form::Control &, const std::string &)> &heard) {
    for (const Window &w : windows(app)) {
        std::set<std::string> names;
        for (auto &c : w.form->controls()) {
            if (!form::takesFocus(c->kind())) continue;
            const std::string where = w.form->name() + " " + form::qualifiedName(c->name(), c->index());
            const std::string name = heard(*w.form, *c, where);
            EXPECT_EQ(name, c->accessibleName() + (c->kind() == form::Kind::ComboBox ? listSuffix : "")) << where;
            EXPECT_TRUE(names.insert(name).second) << where << ": \"" << name << "\" twice";
        }
    }
}

// Starts the program against `emulator` with both configuration windows open.
inline bool startWithEveryWindow(SwitcherApp0100 &app, corvil::testing::EmulatorProcess &emulator) {
    if (!emulator.start({})) return false;
    app.start();
    app.mainForm().at("Command1").click();
    app.mainForm().at("Command2").click();
    app.pass();
    return true;
}

inline void runClickScript(SwitcherApp0100 &app, Desk &desk, const std::string &serial) {
    corvil::testing::EmulatorProcess emulator({"--serial", serial});
    ASSERT_EQ(emulator.command("pad 0 1 2 on"), "ok");
    auto runUntil = [&](const std::function<bool()> &done) { return testing::runUntil(app, done); };
    app.start();
    form::Form &main = app.mainForm(), &pads = app.attenuatorForm(), &sequencing = app.autoSequencingForm();
    ASSERT_TRUE(runUntil([&] { return app.syncComplete && desk.text(main, kStatusLine).find(serial) != std::string::npos; }));
    EXPECT_EQ(desk.text(main, kStatusLine), "Connected to Corvil\r\nSerial No. " + serial);
    EXPECT_TRUE(desk.hasFocus(main, "Command1")) << "the first activation gives the first button the focus";

    desk.click(main, "Option5", 1);
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=1 last=03 05 ff 00 02");
    EXPECT_TRUE(desk.checked(main, "Option5", 1));
    EXPECT_FALSE(desk.checked(main, "Option9", 1));

    ASSERT_EQ(emulator.command("route 0 1 2"), "ok");
    EXPECT_TRUE(runUntil([&] { return desk.text(main, "Text1", 0) == "2."; }));
    EXPECT_TRUE(desk.checked(main, "Option2", 0));

    // One report with an undefined input: the program lets the unit go, finds
    // it again, shows what it holds and takes the next click.
    ASSERT_EQ(emulator.command("raw 0 03 05 09 00 02"), "ok");
    ASSERT_TRUE(runUntil([&] { return desk.text(main, "Text1", 0) == "9."; }));
    ASSERT_TRUE(runUntil([&] { return desk.text(main, "Text1", 0) == "2." && app.syncComplete; }));
    desk.click(main, "Option4", 0);
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=2 last=03 ff 04 00 02");
    EXPECT_TRUE(runUntil([&] { return desk.text(main, "Text1", 0) == "4" && desk.checked(main, "Option4", 0); }));

    desk.click(main, "Command1");
    // Its activation (which takes the pads out of step) comes as an event of its own.
    ASSERT_TRUE(runUntil([&] { return desk.active(pads) && app.padsLoaded; }));
    desk.click(pads, "Check1", 12);
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=3 last=03 ff ff 10 02");

    desk.click(main, "Command2");
    for (const char *c : {"seq-inputs 0 1 0x0c", "seq-interval 0 1 6"}) ASSERT_EQ(emulator.command(c), "ok");
    ASSERT_TRUE(runUntil([&] { return desk.text(sequencing, "cChan1Time") == "3.0 seconds"; }));
    EXPECT_TRUE(desk.checked(sequencing, "Check1", 2));
    desk.screenshots();

    // A second click on the button of an open window, even a minimised one,
    // brings it back and activates it: its activate handler runs again.
    desk.minimise(pads);
    desk.activate(main);
    ASSERT_TRUE(runUntil([&] { return desk.active(main); }));
    pads.at("Label1", 0).setText("");
    desk.click(main, "Command1");
    EXPECT_TRUE(runUntil([&] {
        return desk.active(pads) && !desk.minimised(pads) && desk.text(pads, "Label1", 0) == kPadInstruction;
    }));

    // Every return to the main window gives its first button the focus, also
    // after the user moved the focus elsewhere.
    for (int activation = 2; activation <= 3; ++activation) {
        desk.focus(main, "Option3", 0);
        desk.activate(pads);
        ASSERT_TRUE(runUntil([&] { return desk.active(pads); }));
        desk.activate(main);
        EXPECT_TRUE(runUntil([&] { return desk.active(main) && desk.hasFocus(main, "Command1"); }))
            << "activation " << activation;
    }

    // Closing a configuration window discards it; the poll makes it again, hidden.
    desk.close(pads);
    app.pass();
    EXPECT_FALSE(pads.isVisible());
    ASSERT_EQ(emulator.command("pad 0 1 1 on"), "ok");
    EXPECT_TRUE(runUntil([&] { return pads.loaded() && app.padsLoaded; }));
}

} // namespace corvil::switcher::testing

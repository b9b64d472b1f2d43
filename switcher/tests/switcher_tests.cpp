// Corvil Switcher's core driven as a user would (clicks, window activation,
// timer ticks, event-pump passes) against a scripted stand-in for corvhid:
// exact writes, their order, the hold-off, the watchdog and the texts.
#include <gtest/gtest.h>

#include <algorithm>

#include "headless_toolkit.h"
#include "layout.h"
#include "scripted_corvhid.h"
#include "window_units.h"

using namespace corvil::switcher;
using corvil::form::Control;
using corvil::form::Form;
using Strings = std::vector<std::string>;

namespace {

class Switcher : public ::testing::Test {
protected:
    ScriptedCorvhid &unit = *scripted_corvhid();
    HeadlessToolkit toolkit;
    Corvil_0100_Interface corvhid{SCRIPTED_CORVHID_PATH};
    SwitcherApp0100 app{toolkit, corvhid};

    void SetUp() override { unit = ScriptedCorvhid{}; }

    Form &mainForm() { return app.mainForm(); }
    Form &pads() { return app.attenuatorForm(); }
    Form &sequencing() { return app.autoSequencingForm(); }
    Control &main(const std::string &name, int index = -1) { return mainForm().at(name, index); }
    std::string status() { return main("Label4").text(); }

    void start() {
        app.start();
        toolkit.processPendingEvents();
    }
    // Starts with a unit, and polls until every display is in step.
    void startInStep() {
        start();
        for (int i = 0; i < 4; ++i) app.PollUnit();
        ASSERT_TRUE(app.syncComplete);
        unit.calls.clear();
    }
    // A user's action, delivered by the event pump.
    void user(std::function<void()> action) {
        toolkit.post(std::move(action));
        toolkit.processPendingEvents();
    }
    void tick() { user([&] { mainForm().tick(); }); }
    // The user clicks these controls, one event each.
    void click(std::initializer_list<Control *> controls) {
        for (Control *c : controls) user([c] { c->click(); });
    }
    // The writes sent since the last look.
    Strings newWrites() { Strings w = unit.writes(); unit.calls.clear(); return w; }
    void openBothConfigurationWindows() { click({&main("Command1"), &main("Command2")}); }
    // The row (1..9) whose option button is on in a column of the main window; -1 when none.
    int optionOn(int column) {
        int on = -1;
        for (int r = 1; r <= 9; ++r) on = main("Option" + std::to_string(r), column).value() ? r : on;
        return on;
    }
    // Per output channel: the display, the option button on, the auto-sequence box.
    std::string shown() {
        std::string s;
        for (int c = 0; c < 2; ++c) {
            Control &box = main(c ? "cAutoSeq2" : "cAutoSeq1");
            s += (c ? ", \"" : "\"") + main("Text1", c).text() + "\" " + std::to_string(optionOn(c)) +
                 (box.value() ? " on" : " off") + (box.enabled() ? "" : " disabled");
        }
        return s;
    }
    // A configuration window's sixteen boxes: output channel 1's inputs, then 2's.
    static std::string boxes(Form &form) {
        std::string s;
        for (int k = 0; k < 16; ++k) s += (k == 8 ? " " : "") + std::to_string(form.at("Check1", k).value());
        return s;
    }
    // The status lines of the main window and both configuration windows.
    std::string statuses() {
        return status() + " | " + pads().at("Label1", 0).text() + " | " + sequencing().at("Label1", 0).text();
    }
};

TEST_F(Switcher, StartsWithoutAUnitAndSaysWhy) {
    unit.unitPresent = false;
    start();
    EXPECT_EQ(status(), "Corvil not detected!");
    EXPECT_EQ(unit.calls, (Strings{"FindFirstCorvil", "DoneFindingCorvils"}));

    // Both configuration windows show the reason in their status lines.
    openBothConfigurationWindows();
    EXPECT_EQ(statuses(), "Corvil not detected! | Corvil not detected! | Corvil not detected!");

    EXPECT_TRUE(sequencing().at("cChan1Time").entries().empty()) << "activation without a unit empties the lists";

    // Nothing to poll: the loop waits for events instead of spinning.
    app.pass();
    EXPECT_EQ(toolkit.waits, 1);
    EXPECT_EQ(unit.reads, 0);

    // Closing the main window without a unit calls no cleanup.
    user([&] { mainForm().unload(); });
    EXPECT_EQ(std::count(unit.calls.begin(), unit.calls.end(), "CleanupCorvil"), 0);
}

TEST_F(Switcher, FirstPollsShowTheSerialAndEveryDisplay) {
    unit.serial = std::string("A\0CDE", 5);
    unit.settings = {3, 0, 0x04, 0x00};
    unit.autoSequencing = {0x05, 0x00, 0x84, 0x00};
    start();
    EXPECT_EQ(status(), "Connected");

    app.PollUnit(); // serial, then the settings record
    EXPECT_EQ(status(), std::string("Connected to Corvil\r\nSerial No. A\0CDE", 37));
    EXPECT_EQ(main("Text1", 0).text(), "") << "nothing is shown before both records have come";

    app.PollUnit(); // the auto-sequencing record; no interval chosen for channel 2
    EXPECT_EQ(shown(), "\"3.\" 3 on, \"-\" 9 off disabled");
    EXPECT_EQ(boxes(pads()), "00100000 00000000");
    EXPECT_FALSE(pads().isVisible()) << "the poll fills the pad boxes of a hidden window";
    EXPECT_EQ(boxes(sequencing()), "10100000 00000000");
    EXPECT_EQ(unit.serialReads, 1) << "the serial is read once per connection";
    EXPECT_TRUE(unit.writes().empty()) << "showing the unit's values sends nothing back";
}

TEST_F(Switcher, RoutingClicksSendOnlyTheClickedChannel) {
    unit.settings = {2, 5, 0x01, 0x80};
    startInStep();
    click({&main("Option3", 1), &main("Option9", 0), &main("Option9", 0)}); // the last already on
    EXPECT_EQ(newWrites(), (Strings{"WriteCorvilSettings(0,255,3,1,128)", "WriteCorvilSettings(0,0,255,1,128)"}));

    // Clicking the input the unit already has sends nothing.
    user([&] { main("Option3", 1).setValue(0); main("Option3", 1).click(); });
    EXPECT_TRUE(unit.writes().empty());

    app.mainWindow->SelectInput(9, 1);
    EXPECT_EQ(toolkit.messages, (Strings{"Internal Error: Illegal activation of cell 9,1!"}));
    EXPECT_TRUE(unit.writes().empty());

    // Closing the main window cleans up once; the loop reads the unit no more.
    user([&] { mainForm().unload(); });
    mainForm().terminate();
    EXPECT_EQ(unit.calls, (Strings{"CleanupCorvil"}));
    const int reads = unit.reads;
    app.pass();
    EXPECT_EQ(unit.reads, reads) << "no device traffic once closing";
}

// Another writer (the front panel, the plug-in) puts back what the user just
// changed before the switcher reads the unit again. Reports of the unit's are
// not adopted for three polls after a write (they may predate it); then each
// group the user changed is redrawn in full from the next record of its own,
// even back to what the windows showed before the click, but never from the
// other group's read-back, which may be older than the unit taking the write.
TEST_F(Switcher, AfterAClickTheWindowsFollowTheUnitEvenBackToWhatTheyShowedBefore) {
    unit.settings = {4, 6, 0x0F, 0x0F};
    unit.autoSequencing = {0x03, 0x30, 0x84, 0x04};
    start();
    openBothConfigurationWindows();
    for (int i = 0; i < 4; ++i) app.PollUnit(); // the next record is the settings
    unit.calls.clear();
    click({&main("Option5", 0), &pads().at("Check1", 8), &main("cAutoSeq1"), &sequencing().at("Check1", 0)});
    ASSERT_EQ(unit.writes().size(), 4u);
    for (int poll = 1; poll <= 5; ++poll) { // the unit still holds what it held
        app.PollUnit();
        // The four clicked: the routing, a pad box, the auto-sequence box, an include box.
        const std::string seen = std::to_string(optionOn(0)) + boxes(pads())[9] +
                                 std::to_string(main("cAutoSeq1").value()) + boxes(sequencing())[0];
        EXPECT_EQ(seen, poll < 4 ? "5000" : poll < 5 ? "5011" : "4111") << "poll " << poll;
    }
    EXPECT_EQ(main("Text1", 0).text(), "4.");
    EXPECT_EQ(unit.writes().size(), 4u) << "showing the unit's values sends nothing";
}

// A write while a hold-off stands at 1 is held off for one further poll only:
// the poll after it adopts a report queued before the write.
TEST_F(Switcher, AWriteDuringAHoldOffDoesNotLengthenIt) {
    startInStep();
    user([&] { main("Option6", 0).click(); });
    app.PollUnit(); // 0 -> 2
    app.PollUnit(); // 2 -> 1
    user([&] { main("Option7", 0).click(); });
    EXPECT_EQ(unit.writes().back(), "WriteCorvilSettings(0,7,255,0,0)");
    unit.next = {{3, {2, 0, 0, 0}}, {3, {2, 0, 0, 0}}};
    app.PollUnit(); // 1 -> 0: released
    EXPECT_EQ(optionOn(0), 7);
    app.PollUnit();
    EXPECT_EQ(optionOn(0), 2);
}

TEST_F(Switcher, PadClicksSendBothMasksWithRoutingLeftAlone) {
    unit.settings = {1, 1, 0xFF, 0x00};
    startInStep();
    user([&] { main("Command1").click(); }); // activation: pads out of step
    EXPECT_EQ(pads().at("Label1", 0).text(), kPadInstruction);
    user([&] { pads().at("Check1", 10).click(); });
    EXPECT_TRUE(unit.writes().empty()) << "a click before the poll rewrote the boxes is not taken";

    app.PollUnit();
    app.PollUnit();
    EXPECT_EQ(pads().at("Check1", 10).value(), 0) << "the poll undid the untaken click";
    click({&pads().at("Check1", 10), &pads().at("Check1", 7)});
    EXPECT_EQ(unit.writes(),
              (Strings{"WriteCorvilSettings(0,255,255,255,4)", "WriteCorvilSettings(0,255,255,127,4)"}));
}

TEST_F(Switcher, AutoSequencingSwitchAndIntervals) {
    unit.autoSequencing = {0x01, 0x00, 0x06, 0x83};
    startInStep();
    click({&main("cAutoSeq1"), &main("cAutoSeq1")});
    // Channel 2 has nothing to step through: it is never sent switched on.
    EXPECT_EQ(newWrites(), (Strings{"WriteCorvilAutoSequencingParameters(0,1,0,134,3)",
                                    "WriteCorvilAutoSequencingParameters(0,1,0,6,3)"}));

    user([&] { main("Command2").click(); });
    for (int i = 0; i < 6; ++i) app.PollUnit();
    Control &list2 = sequencing().at("cChan2Time");
    EXPECT_EQ(list2.editText() + " at " + std::to_string(list2.listIndex()), "1.5 seconds at 3");

    user([&] { list2.choose(5); });
    user([&] { sequencing().at("Check1", 8).click(); });
    EXPECT_EQ(newWrites(), (Strings{"WriteCorvilAutoSequencingParameters(0,1,0,6,5)",
                                    "WriteCorvilAutoSequencingParameters(0,1,1,6,5)"}));
    EXPECT_EQ(list2.editText(), "2.5 seconds");

    // "Disabled" keeps only the on bit of the control byte; a chosen
    // interval keeps it too.
    Control &list1 = sequencing().at("cChan1Time");
    user([&] { main("cAutoSeq1").click(); });
    user([&] { list1.choose(0); });
    user([&] { list1.choose(4); });
    EXPECT_EQ(newWrites(), (Strings{"WriteCorvilAutoSequencingParameters(0,1,1,134,5)",
                                    "WriteCorvilAutoSequencingParameters(0,1,1,128,5)",
                                    "WriteCorvilAutoSequencingParameters(0,1,1,132,5)"}));

    // Emptying an include mask switches its channel off. The cleared box's
    // own handler sends first, nested; then the mask change sends the same
    // bytes once more.
    user([&] { sequencing().at("Check1", 0).click(); });
    EXPECT_EQ(unit.writes(), (Strings{"WriteCorvilAutoSequencingParameters(0,0,1,4,5)",
                                      "WriteCorvilAutoSequencingParameters(0,0,1,4,5)"}));
    EXPECT_EQ(main("cAutoSeq1").value(), 0);
}

TEST_F(Switcher, UnusualAutoSequencingBytesFromTheUnit) {
    unit.autoSequencing = {0x01, 0x01, 0x80, 0x99}; // on without interval; code 25
    startInStep();
    user([&] { main("Command2").click(); });
    for (int i = 0; i < 2; ++i) app.PollUnit();
    EXPECT_EQ(shown(), "\"-\" 9 off disabled, \"-\" 9 on");
    EXPECT_EQ(sequencing().at("cChan1Time").editText() + " " + std::to_string(sequencing().at("cChan2Time").listIndex()),
              "Disabled 18");

    // On with an empty mask: shown unticked but enabled; the next send clears bit 7.
    unit.autoSequencing = {0x00, 0x01, 0x85, 0x99};
    for (int i = 0; i < 2; ++i) app.PollUnit();
    EXPECT_EQ(shown(), "\"-\" 9 off, \"-\" 9 on");
    user([&] { sequencing().at("Check1", 9).click(); });
    // Code 25 is only shown as the last entry; the unit's byte goes back unchanged.
    EXPECT_EQ(unit.writes(), (Strings{"WriteCorvilAutoSequencingParameters(0,0,3,5,153)"}));
}

// Polls and searches that bring nothing new touch no control: a window
// toolkit redraws only what changed (under Wine every redraw is a round trip
// through the window server).
TEST_F(Switcher, IdleTicksTouchNoControl) {
    startInStep();
    openBothConfigurationWindows();
    tick(); // the interval lists filled for the opened window
    app.pass();
    const int before = toolkit.controlChanges, readsBefore = unit.reads;
    for (int t = 0; t < 50; ++t) {
        tick();
        app.pass();
    }
    EXPECT_EQ(unit.reads - readsBefore, 100) << "a poll at each tick and at each pass";
    EXPECT_EQ(toolkit.controlChanges, before) << "connected and idle";

    // A front-panel change moves its display and its two option buttons only.
    unit.settings[0] = 5;
    app.pass();
    EXPECT_EQ(main("Text1", 0).text(), "5");
    EXPECT_EQ(toolkit.controlChanges, before + 3);

    unit.answering = unit.serialAnswers = unit.unitPresent = false;
    for (int t = 0; t < 5; ++t) tick();
    ASSERT_FALSE(app.unitConnected);
    const int lost = toolkit.controlChanges;
    for (int t = 0; t < 50; ++t) {
        tick();
        app.pass();
    }
    EXPECT_EQ(toolkit.controlChanges, lost) << "no unit";
}

TEST_F(Switcher, AUnitSilentFromTheStartIsLostOnTheThirtyFirstTick) {
    start();
    unit.answering = unit.serialAnswers = unit.unitPresent = false; // not found again by the tick that lets it go
    for (int t = 0; t < 30; ++t) tick();
    EXPECT_TRUE(app.unitConnected);
    tick();
    EXPECT_FALSE(app.unitConnected);
}

TEST_F(Switcher, WatchdogCountsDownAndReconnects) {
    unit.settings = {4, 6, 0x0F, 0x0F};
    unit.autoSequencing = {0x03, 0x30, 0x84, 0x84};
    start();
    tick();
    tick(); // the second record: now everything is shown
    openBothConfigurationWindows();
    ASSERT_EQ(shown(), "\"4.\" 4 on, \"6\" 6 on");

    unit.answering = unit.serialAnswers = unit.unitPresent = false;
    unit.calls.clear();
    // While a user's handler runs, the countdown stands still.
    app.userBusy = true;
    tick();
    app.userBusy = false;
    for (int t = 1; t <= 3; ++t) {
        tick();
        EXPECT_TRUE(app.unitConnected) << "silent tick " << t;
    }
    tick();
    EXPECT_FALSE(app.unitConnected) << "lost on the fourth silent tick";
    EXPECT_EQ(shown(), "\"\" -1 off, \"\" -1 off");
    EXPECT_EQ(boxes(pads()) + " " + boxes(sequencing()), "00000000 00000000 00000000 00000000");
    EXPECT_EQ(unit.calls, (Strings{"CleanupCorvil", "FindFirstCorvil", "DoneFindingCorvils"}));
    EXPECT_EQ(statuses(), "Corvil not detected! | Corvil not detected! | Corvil not detected!");
    EXPECT_TRUE(sequencing().at("cChan2Time").entries().empty());
    tick();
    EXPECT_EQ(std::count(unit.calls.begin(), unit.calls.end(), "FindFirstCorvil"), 2) << "a search every tick";

    // Back again, a unit without pads, reporting auto-sequencing first: found
    // on the next tick. Until a poll has brought both its records, the read-back
    // still holds the previous unit's settings: they must not be shown, and
    // clicks must not send its pads, nor anything else.
    unit.unitPresent = unit.answering = unit.serialAnswers = true;
    unit.settings = {1, 6, 0, 0};
    unit.reportSettingsNext = false;
    tick();
    EXPECT_TRUE(app.unitConnected);
    // "Connected" until a poll has read the serial number.
    EXPECT_EQ(statuses(), std::string("Connected | ") + kPadInstruction + " | " + kAutoSeqInstruction);
    EXPECT_EQ(sequencing().at("cChan1Time").entries().size(), 19u);
    unit.calls.clear();
    click({&main("Option2", 0), &pads().at("Check1", 3), &sequencing().at("Check1", 3), &main("cAutoSeq1")});
    app.PollUnit(); // auto-sequencing only
    EXPECT_EQ(main("Text1", 0).text(), "");
    user([&] { main("Option5", 0).click(); });
    EXPECT_TRUE(unit.writes().empty());
    app.PollUnit();
    EXPECT_EQ(status(), "Connected to Corvil\r\nSerial No. SCR01");
    EXPECT_EQ(main("Text1", 0).text(), "1");
    EXPECT_EQ(pads().at("Check1", 3).value(), 0);
    user([&] { main("Option2", 0).click(); });
    EXPECT_EQ(unit.writes(), (Strings{"WriteCorvilSettings(0,2,255,0,0)"}));
}

// A report with undefined inputs is shown as such, and every poll after it
// counts as unanswered, so the watchdog lets the unit go and finds it again
// (the click script proves the new connection's records shown and a click
// taken). A unit that itself holds an undefined input shows it on each
// connection, and the user's choice replaces it, with this connection's pads.
TEST_F(Switcher, AReportWithUndefinedInputsIsLeftByReconnecting) {
    unit.settings = {2, 3, 0x02, 0x00};
    startInStep();
    unit.applyWrites = true;
    unit.next.push_back({3, {9, 11, 0x02, 0x00}});
    app.PollUnit();
    EXPECT_EQ(main("Text1", 0).text(), "9.");
    EXPECT_EQ(main("Text1", 1).text(), "?");

    unit.settings = {9, 3, 0x10, 0x00};
    unit.calls.clear();
    for (int i = 0; i < 31 && unit.calls.empty(); ++i) tick();
    EXPECT_EQ(unit.calls, (Strings{"CleanupCorvil", "FindFirstCorvil", "DoneFindingCorvils"}));
    for (int i = 0; i < 4; ++i) app.PollUnit();
    EXPECT_EQ(main("Text1", 0).text(), "9.");
    unit.calls.clear();
    user([&] { main("Option4", 0).click(); });
    EXPECT_EQ(unit.writes(), (Strings{"WriteCorvilSettings(0,4,255,16,0)"}));
    for (int i = 0; i < 6; ++i) app.PollUnit();
    EXPECT_EQ(main("Text1", 0).text(), "4");
}

TEST_F(Switcher, AStoppingProgramSendsNothing) {
    // A handler fails while a tick and a click are still pending; the stop
    // message runs them, and neither may reach the unit.
    unit.settings = {2, 0, 0, 0};
    int reads = 0;
    toolkit.post([&] {
        for (int i = 0; i < 4; ++i) app.PollUnit();
        unit.calls.clear();
        reads = unit.reads;
        toolkit.post([&] { mainForm().tick(); });
        toolkit.post([&] { main("Option5", 0).click(); });
        throw std::runtime_error("a handler failed");
    });
    EXPECT_EQ(app.Main(), 1);
    ASSERT_EQ(toolkit.stops.size(), 1u);
    EXPECT_NE(toolkit.stops[0].find("a handler failed"), std::string::npos);
    EXPECT_TRUE(app.syncComplete);
    EXPECT_TRUE(unit.writes().empty());
    EXPECT_EQ(unit.reads, reads);
}

TEST(SwitcherBinding, AMissingLibraryOrExportStopsTheProgramWithAMessage) {
#if defined(_WIN32)
    const char *withoutExports = "kernel32.dll";
#else
    const char *withoutExports = "libc.so.6";
#endif
    const std::pair<const char *, const char *> cases[] = {
        {"/nonexistent/libcorvhid.so", "could not be loaded"},
        {withoutExports, "has no entry point FindFirstCorvil"},
    };
    for (const auto &[library, why] : cases) {
        HeadlessToolkit toolkit;
        Corvil_0100_Interface corvhid(library);
        SwitcherApp0100 app(toolkit, corvhid);
        EXPECT_EQ(app.Main(), 1);
        ASSERT_EQ(toolkit.stops.size(), 1u);
        EXPECT_NE(toolkit.stops[0].find(why), std::string::npos) << toolkit.stops[0];
    }
}

} // namespace

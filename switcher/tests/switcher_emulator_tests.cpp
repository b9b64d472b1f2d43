// Corvil Switcher's core end to end: the real corvhid against a unit served
// by corvil-emulator, driven through the form model as a user would.
#include <gtest/gtest.h>

#include "headless_toolkit.h"
#include "emulator_process.h"
#include "process_resources.h"

using namespace corvil::switcher;
using corvil::form::Control;
using corvil::form::Form;
using corvil::testing::EmulatorProcess;

namespace {

class SwitcherWithEmulator : public ::testing::Test {
protected:
    void SetUp() override { corvil::testing::usePrivateRendezvous(); }
    void TearDown() override { app.mainForm().unload(); }

    HeadlessToolkit toolkit;
    Corvil_0100_Interface corvhid{CORVHID_LIBRARY_PATH};
    SwitcherApp0100 app{toolkit, corvhid};

    Control &main(const std::string &name, int index = -1) { return app.mainForm().at(name, index); }
    std::string status() { return main("Label4").text(); }
    void user(std::function<void()> action) {
        toolkit.post(std::move(action));
        app.pass();
    }
    void tick() { user([&] { app.mainForm().tick(); }); }
    bool runUntil(const std::function<bool()> &done, int seconds = 30) { return corvil::switcher::testing::runUntil(app, done, seconds); }
    bool connectedTo(const std::string &serial) {
        return runUntil([&] { return status() == "Connected to Corvil\r\nSerial No. " + serial && app.syncComplete; });
    }
    int optionOn(int column) { return corvil::switcher::testing::optionOn(app, column); }
};

TEST_F(SwitcherWithEmulator, FrontPanelChangesShowInEveryWindowAndUserChangesReachTheUnit) {
    EmulatorProcess emulator({"--serial", "E2E01"});
    app.start();
    user([&] { main("Command1").click(); });
    user([&] { main("Command2").click(); });
    ASSERT_TRUE(connectedTo("E2E01"));

    for (const char *command : {"route 0 1 3", "pad 0 1 3 on", "route 0 2 8", "seq-inputs 0 2 0x05",
                                "seq-interval 0 2 4"})
        ASSERT_EQ(emulator.command(command), "ok");
    Form &pads = app.attenuatorForm();
    Form &sequencing = app.autoSequencingForm();
    EXPECT_TRUE(runUntil([&] {
        return main("Text1", 0).text() == "3." && main("Text1", 1).text() == "8" && pads.at("Check1", 2).value() == 1 &&
               sequencing.at("Check1", 8).value() == 1 && sequencing.at("Check1", 10).value() == 1 &&
               sequencing.at("cChan2Time").listIndex() == 4;
    }));
    EXPECT_EQ(optionOn(0), 3);
    EXPECT_EQ(optionOn(1), 8);
    EXPECT_EQ(sequencing.at("cChan2Time").editText(), "2.0 seconds");
    EXPECT_TRUE(main("cAutoSeq2").enabled());
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=0 last=-") << "nothing was echoed back to the unit";

    user([&] { main("Option5", 1).click(); });
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=1 last=03 05 ff 00 04");
    // Reports queued before the unit took the change never flip the choice back.
    bool steady = true;
    runUntil([&] {
        steady = steady && optionOn(1) == 5;
        return false;
    }, 1);
    EXPECT_TRUE(steady);
    EXPECT_EQ(main("Text1", 1).text(), "5");

    user([&] { pads.at("Check1", 0).click(); });
    user([&] { sequencing.at("Check1", 0).click(); });
    user([&] { sequencing.at("cChan1Time").choose(1); });
    ASSERT_TRUE(runUntil([&] { return main("cAutoSeq1").enabled() && !app.writePending; }));
    user([&] { main("cAutoSeq1").click(); });
    EXPECT_EQ(emulator.command("state 0"), "ok input1=3 input2=5 pads1=0x05 pads2=0x00 seqinputs1=0x01 "
                                           "seqinputs2=0x05 seqcontrol1=0x81 seqcontrol2=0x04 serial=E2E01");

}

// Reconnections as the switcher goes through them, from the unit going to
// its displays showing the unit again: the last holds no more than the first.
TEST_F(SwitcherWithEmulator, AThousandReconnectionsHoldNoMoreThanOne) {
    using corvil::testing::ProcessResources;
    EmulatorProcess emulator({"--serial", "PLUG3"});
    app.start();
    ASSERT_TRUE(connectedTo("PLUG3"));
    ProcessResources first;
    for (int cycle = 1; cycle <= RECONNECTIONS; ++cycle) {
        const int input = 1 + cycle % 8;
        ASSERT_EQ(emulator.command("route 0 1 " + std::to_string(input)), "ok");
        ASSERT_TRUE(runUntil([&] { return main("Text1", 0).text() == std::to_string(input); })) << "cycle " << cycle;
        ASSERT_EQ(emulator.command("unplug 0"), "ok");
        int ticks = 0;
        for (; ticks < 10 && app.unitConnected; ++ticks) tick();
        ASSERT_FALSE(app.unitConnected) << "cycle " << cycle;
        // The first tick still counts the answer of the last poll before the
        // unplug; the fourth silent tick after it lets the unit go.
        ASSERT_LE(ticks, 5) << "cycle " << cycle;
        ASSERT_EQ(emulator.command("plug 0"), "ok");
        tick();
        ASSERT_TRUE(app.unitConnected) << "cycle " << cycle << ": the next tick finds it";
        ASSERT_TRUE(connectedTo("PLUG3")) << "cycle " << cycle << ": " << status();
        ASSERT_TRUE(runUntil([&] { return optionOn(0) == input; })) << "cycle " << cycle;
        if (cycle == 1) first = ProcessResources::now();
    }
    const ProcessResources last = ProcessResources::now();
    EXPECT_EQ(last.descriptors, first.descriptors) << first.describe() << " -> " << last.describe();
    EXPECT_EQ(last.threads, first.threads);
    EXPECT_LE(last.heap, first.heap + 16 * 1024) << first.describe() << " -> " << last.describe();
}

} // namespace

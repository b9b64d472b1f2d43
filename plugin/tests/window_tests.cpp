// The unit windows: opening, controls from and to the unit's settings, the
// poll passes, Escape and close-pending, contact lost, placement, and the
// host re-entering while a window's own handler runs.
#include <gtest/gtest.h>

#include "emulator_process.h"
#include "fakes.h"
#include "virtual/virtual_platform.h"

using namespace corvil::plugin;
using namespace corvil::plugin::fakes;
using Bytes = std::vector<std::uint8_t>;

namespace {

class UnitWindows : public ::testing::Test, protected fakes::FakeSurroundings {
protected:
    std::unique_ptr<CCorvilPlugin> plugin;
    HostWindow hostWindow = reinterpret_cast<HostWindow>(0x1234);

    FakeUnitView &viewOf(int place) { return *static_cast<FakeUnitView *>(plugin->window(place)->view()); }
    // Unit AAAAA reporting these settings, and a new object.
    corvhid::FakeInterface &start(std::vector<std::uint8_t> settings = {3, 1, 2, 0, 0}) {
        auto &unit = addUnit("AAAAA", std::move(settings));
        plugin = std::make_unique<CCorvilPlugin>(services);
        plugin->SetHost(&host.iface);
        return unit;
    }
    // The object's windows in place order, as display() shows them; hidden ones marked.
    std::string shown() {
        std::string text;
        for (int place = 0; place < plugin->openWindowCount(); ++place)
            text += (place ? "; " : "") + std::string(viewOf(place).visible ? "" : "hidden ") + viewOf(place).display();
        return text;
    }
    // The same with unit AAAAA's window "Desk" as unit 7.
    corvhid::FakeInterface &openDesk(std::vector<std::uint8_t> settings = {3, 1, 2, 0, 0}) {
        auto &unit = start(std::move(settings));
        EXPECT_EQ(plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "Desk", 7), 0);
        return unit;
    }
};

TEST_F(UnitWindows, OpeningShowsTheUnitsSettings) {
    auto &unit = openDesk({3, 0, 5, 0x00, 0x10}); // output 1: input 5 with its pad; output 2: none
    FakeUnitView &v = viewOf(0);
    EXPECT_TRUE(v.visible);
    EXPECT_EQ(v.display(), "Desk | 5 Line | 0 [-]") << "Line: pad in; no input: disabled, no selection";
    EXPECT_EQ(v.levels[kLevelList1], (std::vector<std::string>{"Mic", "Line"}));
    EXPECT_EQ(windows.focused.back(), hostWindow);

    // A unit reporting an input no option stands for: no option is on, and the
    // level comes from no pad bit (200 would shift past the mask's width).
    unit.standing = {3, 9, 200, 0xFF, 0xFF};
    plugin->Tick(500);
    EXPECT_EQ(v.display(), "Desk | Mic | Mic");

    // "About" on its system menu, over the host's window (fathom-host's suite reads its texts).
    v.events().onSystemCommand(kAboutCommand);
    EXPECT_EQ(dialogs.templates, (std::vector<int>{kAboutTemplate}));
    EXPECT_EQ(dialogs.parent, hostWindow);
}

TEST_F(UnitWindows, SixteenPlacesInOpeningOrder) {
    start();
    windows.refuse = true;
    EXPECT_EQ(plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "U", 1), -1);
    EXPECT_EQ(plugin->openWindowCount(), 0) << "a place whose window could not be made is given back";
    windows.refuse = false;
    for (int id = 1; id <= 16; ++id) ASSERT_EQ(plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "U", id), 0);
    EXPECT_EQ(plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "U", 17), -1);
    EXPECT_EQ(plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "again", 5), 0) << "an open id reuses its place";
    EXPECT_EQ(plugin->openWindowCount(), 16);
    ASSERT_EQ(plugin->CloseUnitWindow(3), 0);
    EXPECT_EQ(plugin->window(2)->unitId, 4) << "later places move down";
    EXPECT_EQ(plugin->CloseUnitWindow(3), -1);
    EXPECT_EQ(windows.live.size(), 15u);

    // A place in use whose window went with its host window and cannot be
    // made again keeps its unit.
    viewOf(4).destroy();
    windows.refuse = true;
    EXPECT_EQ(plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "U", 6), -1);
    EXPECT_EQ(plugin->openWindowCount(), 15);
    EXPECT_EQ(plugin->window(4)->unitId, 6);
}

// The window's settings may be seconds old: a click writes the unit's present
// settings with only the clicked control's change, so the other writers'
// changes meanwhile (front panel, other programs) are not put back.
TEST_F(UnitWindows, AClickSendsOnlyItsChangeOverWhatTheUnitHoldsNow) {
    auto &unit = openDesk({3, 0, 3, 0x00, 0x10});
    FakeUnitView &v = viewOf(0);
    unit.standing = {3, 6, 3, 0x20, 0x11}; // another writer: input 6 with its pad on output 2, a pad on output 1
    v.radios[kRadioOutput1 + 3] = false;
    v.radios[kRadioOutput1 + 5] = true;
    v.events().onRadioClick(kRadioOutput1 + 5);
    EXPECT_EQ(unit.writes.back(), (Bytes{3, 0xFF, 5, 0x20, 0x11})) << "output 2 left alone, the pads as they are";
    EXPECT_EQ(v.display(), "Desk | 5 Line | 6 Line") << "input 5's pad; the other writer's change is shown";
    EXPECT_EQ(plugin->pollCountdown, 2500);

    // "Mic" for output 2's input 6 clears only its bit; both inputs left alone.
    unit.standing = {3, 6, 2, 0x21, 0x11};
    v.selections[kLevelList2] = 0;
    v.events().onLevelChange(kLevelList2);
    EXPECT_EQ(unit.writes.back(), (Bytes{3, 0xFF, 0xFF, 0x01, 0x11}));
    EXPECT_EQ(v.display(), "Desk | 2 Mic | 6 Mic");

    // A unit that does not answer the read is lost contact, and nothing is written.
    const std::size_t writes = unit.writes.size();
    unit.readFailure = corvhid::Transfer::NotStarted;
    v.events().onRadioClick(kRadioOutput1 + 4);
    EXPECT_EQ(unit.writes.size(), writes);
    EXPECT_EQ(host.messages, (std::vector<std::string>{"48: Contact was lost with unit Desk."}));
}

TEST_F(UnitWindows, PollPassesCloseEscapedWindowsAndRespectTheDropDown) {
    auto &unit = start();
    plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "One", 1);
    plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "Two", 2);
    viewOf(0).events().onEscape();
    unit.standing = {3, 1, 6, 0, 0};
    plugin->Tick(499);
    EXPECT_EQ(shown(), "hidden One | 2 Mic | 1 Mic; Two | 2 Mic | 1 Mic")
        << "Escape hides at once; no pass before 500 ms";
    plugin->Tick(1);
    EXPECT_EQ(shown(), "Two | 6 Mic | 1 Mic") << "one pass removes the first and refreshes the second";

    viewOf(0).events().onDropDown(true);
    unit.standing = {3, 1, 7, 0, 0};
    plugin->Tick(500);
    EXPECT_EQ(shown(), "Two | 6 Mic | 1 Mic") << "no refresh while a level list is open";
    viewOf(0).events().onDropDown(false);
    plugin->Tick(500);
    EXPECT_EQ(shown(), "Two | 7 Mic | 1 Mic") << "and polling goes on once it closes";

    // A window closed by Escape and opened or updated again before the next
    // pass is not removed by it.
    viewOf(0).events().onEscape();
    ASSERT_EQ(plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "Two", 2), 0);
    plugin->Tick(500);
    EXPECT_EQ(shown(), "Two | 7 Mic | 1 Mic") << "opened again";
    viewOf(0).events().onEscape();
    ASSERT_EQ(plugin->UpdateUnitWindow("SERIAL AAAAA", "Two", 2), 0);
    plugin->Tick(500);
    EXPECT_EQ(shown(), "Two | 7 Mic | 1 Mic") << "updated again";
}

TEST_F(UnitWindows, TheHostReEnteringDuringAHandlerNeverPullsTheWindowAway) {
    auto &unit = openDesk();
    FakeUnitView *view = &viewOf(0);

    // While the contact-lost message of a click is shown, the host ticks
    // (which would remove the window) and closes it outright.
    unit.writeOutcome = corvhid::Transfer::NotStarted;
    host.duringMessage = [&] {
        plugin->Tick(500);
        plugin->CloseUnitWindow(7);
        EXPECT_TRUE(view->alive) << "not destroyed under its running handler";
    };
    view->radios[kRadioOutput1 + 3] = true;
    view->events().onRadioClick(kRadioOutput1 + 3);
    EXPECT_EQ(plugin->openWindowCount(), 0);
    EXPECT_TRUE(windows.live.empty()) << "destroyed once the handler returned";
    host.duringMessage = nullptr;

    // "Configure": the host closes the window while it handles the request.
    unit.writeOutcome = corvhid::Transfer::Completed;
    plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "Desk", 7);
    view = &viewOf(0);
    host.duringConfigure = [&](std::int32_t id) { plugin->CloseUnitWindow(id); };
    view->events().onSystemCommand(kConfigureCommand);
    EXPECT_EQ(host.configureRequests, (std::vector<std::int32_t>{7}));
    EXPECT_TRUE(windows.live.empty());
}

TEST_F(UnitWindows, PlacementMaximizeAndTheSavedRectangleAndScrollPosition) {
    openDesk();
    FakeUnitView &v = viewOf(0);
    EXPECT_EQ(v.rect, (Rect{1280 - 290, 1000 - 90, 1280, 1000})) << "bottom-right of the work area";
    v.rect = Rect{10, 10, 600, 600};
    v.events().onMaximize();
    EXPECT_EQ(v.rect, (Rect{10, 10, 300, 100})) << "back to the design size";
    plugin->CloseUnitWindow(7);
    EXPECT_EQ(plugin->savedRect, (Rect{10, 10, 300, 100})) << "the destroyed window's rectangle is kept";

    // A saved rectangle narrower than the design: the next window takes it,
    // with its scroll bars.
    plugin->savedRect = Rect{10, 10, 200, 100};
    plugin->savedScrollX = 7;
    ASSERT_EQ(plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "Desk", 7), 0);
    EXPECT_EQ(viewOf(0).rect, (Rect{10, 10, 200, 100}));

    // A place whose window went with its host window gets a whole new one.
    viewOf(0).destroy(); // the host destroyed its window, and the windows it owned with it
    ASSERT_EQ(plugin->OpenUnitWindow(hostWindow, "SERIAL AAAAA", "Desk", 7), 0);
    FakeUnitView &again = viewOf(0);
    EXPECT_EQ(again.position[ScrollWindow::Horizontal], 7) << "the new window scrolled to the saved position";
    again.position[ScrollWindow::Horizontal] = 3;
    ASSERT_EQ(plugin->CloseUnitWindow(7), 0);
    EXPECT_EQ(plugin->savedScrollX, 3) << "read from the new window, not the old one";
}

TEST_F(UnitWindows, UpdatingToAnUnattachedSerialRemovesTheWindowSilently) {
    openDesk();
    EXPECT_EQ(plugin->UpdateUnitWindow("SERIAL AAAAA", "Renamed", 7), 0);
    EXPECT_EQ(viewOf(0).title, "Renamed");
    EXPECT_EQ(plugin->UpdateUnitWindow("SERIAL ZZZZZ", "Renamed", 7), 0);
    EXPECT_EQ(plugin->openWindowCount(), 0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(plugin->UpdateUnitWindow("SERIAL AAAAA", "x", 7), -1);
}

// The first unit goes while a pass reads it: the second is still refreshed
// after the new enumeration (fathom-host's suite shows one window going
// through the DLL). A second object sharing the device code finds its unit
// again after that clean-up renumbered every unit, and routes nothing to
// another one.
TEST(UnitWindowsWithEmulator, AUnitUnpluggedDuringAPassLosesContactAlone) {
    corvil::testing::usePrivateRendezvous();
    corvil::testing::EmulatorProcess emulator({"--serial", "WIN01", "--serial", "WIN02", "--serial", "WIN03"});
    corvhid::VirtualPlatform platform;
    Surroundings world(platform);
    CCorvilPlugin plugin(world.services), other(world.services);
    plugin.SetHost(&world.host.iface);
    ASSERT_EQ(plugin.OpenUnitWindow(nullptr, "SERIAL WIN01", "Left", 1), 0);
    ASSERT_EQ(plugin.OpenUnitWindow(nullptr, "SERIAL WIN02", "Right", 2), 0);
    auto view = [&](int place) { return static_cast<FakeUnitView *>(plugin.window(place)->view()); };

    ASSERT_EQ(emulator.command("unplug 0"), "ok");
    ASSERT_EQ(emulator.command("route 1 1 6"), "ok");
    plugin.Tick(500);
    EXPECT_EQ(world.host.messages, (std::vector<std::string>{"48: Contact was lost with unit Left."}));
    EXPECT_TRUE(view(1)->radios[kRadioOutput1 + 6]) << "the other unit, found again after the new enumeration";
    EXPECT_EQ(plugin.unitCount(), 2) << "the list was made again without the unplugged unit";
    EXPECT_TRUE(view(0)->alive) << "controls keep the last settings until the next pass";
    plugin.Tick(500);
    ASSERT_EQ(plugin.openWindowCount(), 1);
    EXPECT_EQ(plugin.window(0)->unitId, 2);

    const std::int32_t inputs[2] = {4, 255}, reserved[2] = {}, levels[2] = {1, 0};
    EXPECT_EQ(other.SetRouting("SERIAL WIN02", inputs, reserved, levels, 2), 0);
    EXPECT_EQ(emulator.command("outputs 2"), "ok count=0 last=-") << "nothing reached another unit";
    const std::string state = emulator.command("state 1");
    EXPECT_NE(state.find("input1=4 input2=0 pads1=0x08 "), std::string::npos) << state;
}

} // namespace

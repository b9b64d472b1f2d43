// The Win32 windows under Wine: the live layout, clicks posted to the real
// controls reaching the unit, the unit's changes reaching the controls, and
// screenshots of the three windows (BMP files under the build tree).
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "SwitcherApp0100.h"
#include "designed_layout.h"
#include "driving.h"
#include "emulator_process.h"
#include "win32_screenshot.h"
#include "layout.h"
#include "win32_toolkit.h"
#include "window_units.h"

using namespace corvil::switcher;
using corvil::form::Control;
using corvil::form::ControlLayout;
using corvil::form::Form;
using corvil::form::Kind;
using corvil::testing::EmulatorProcess;
using win32::px;

namespace {

class Win32Windows : public ::testing::Test {
protected:
    void SetUp() override { corvil::testing::usePrivateRendezvous(); }
    void TearDown() override { app.mainForm().unload(); }

    win32::Win32Toolkit toolkit{::GetModuleHandleA(nullptr)};
    Corvil_0100_Interface corvhid{CORVHID_LIBRARY_PATH};
    SwitcherApp0100 app{toolkit, corvhid};

    HWND hwnd(Form &form, const std::string &name, int index = -1) { return toolkit.control(form.at(name, index)); }
    std::string text(HWND h) {
        char buffer[256] = {};
        ::GetWindowTextA(h, buffer, sizeof buffer);
        return buffer;
    }
    RECT clientRect(HWND child) {
        RECT r;
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT *>(&r), 2);
        return r;
    }
    bool runUntil(const std::function<bool()> &done) { return corvil::switcher::testing::runUntil(app, done); }
    // A mouse click as the control's own window receives it.
    void click(HWND h) {
        ::PostMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        ::PostMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
        app.pass();
    }
    void screenshot(Form &form, const char *name) {
        ::CreateDirectoryA(SCREENSHOT_DIR, nullptr);
        const std::string dpi = toolkit.dpi() == 96 ? "" : "-" + std::to_string(toolkit.dpi()) + "dpi";
        EXPECT_TRUE(corvil::screenshot::save(toolkit.window(form),
                                             std::string(SCREENSHOT_DIR) + "/win32-" + name + dpi + ".bmp"));
    }
};

TEST_F(Win32Windows, LiveWindowsFollowTheDescription) {
    // The Wine prefix of the 192 dpi run says so; the program must see it.
    if (const char *wanted = std::getenv("CORVIL_WINE_DPI")) EXPECT_EQ(toolkit.dpi(), std::atoi(wanted));
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({}));
    app.start();
    app.mainForm().at("Command1").click();
    app.mainForm().at("Command2").click();
    app.pass();
    // Compared with the design itself, not with the layout data the windows
    // were built from.
    const auto windows = corvil::switcher::testing::designedWindows();
    for (Form *form : {&app.mainForm(), &app.attenuatorForm(), &app.autoSequencingForm()}) {
        HWND w = toolkit.window(*form);
        ASSERT_NE(w, nullptr);
        const auto &designedWindow =
            *std::find_if(windows.begin(), windows.end(), [&](const auto &d) { return d.name == form->name(); });
        EXPECT_EQ(text(w), designedWindow.title);
        RECT client;
        ::GetClientRect(w, &client);
        EXPECT_EQ(client.right, toolkit.px(designedWindow.clientWidth)) << form->name();
        EXPECT_EQ(client.bottom, toolkit.px(designedWindow.clientHeight)) << form->name();
        for (const auto &c : corvil::switcher::testing::designedControls()) {
            if (c.window != form->name() || c.kind == Kind::Line) continue;
            HWND h = hwnd(*form, c.name, c.index);
            ASSERT_NE(h, nullptr) << c.name;
            const RECT r = clientRect(h);
            EXPECT_EQ(r.right - r.left, toolkit.px(c.width)) << c.name << "(" << c.index << ")";
            if (c.kind != Kind::ComboBox) {
                EXPECT_EQ(r.bottom - r.top, toolkit.px(c.height)) << c.name;
            }
            if (c.kind == Kind::Label && c.name != "Label4" && !(c.name == "Label1" && c.index == 0)) { // not status lines
                // Nothing cut: the caption wraps within its box in the font it is shown in.
                const HFONT shown = reinterpret_cast<HFONT>(::SendMessageA(h, WM_GETFONT, 0, 0));
                EXPECT_TRUE(win32::Win32Toolkit::fits(shown, c.caption, toolkit.px(c.width), toolkit.px(c.height)))
                    << form->name() << " " << c.caption;
            }
            const std::string face = c.font.name.empty() ? designedWindow.font.name : c.font.name;
            if (!face.empty()) {
                LOGFONTA font{};
                ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(h, WM_GETFONT, 0, 0)), sizeof font, &font);
                EXPECT_STREQ(font.lfFaceName, face.c_str()) << c.name;
            }
        }
    }
    // Option buttons sit in their frame: centre level with the row label's.
    Form &main = app.mainForm();
    for (int r = 1; r <= 9; ++r) {
        const RECT button = clientRect(hwnd(main, "Option" + std::to_string(r), 1));
        const RECT label = clientRect(hwnd(main, "Label1", r - 1));
        EXPECT_NEAR((button.top + button.bottom) / 2.0, (label.top + label.bottom) / 2.0, 1.0) << r;
        EXPECT_EQ(button.left, toolkit.px(3600) + toolkit.px(240));
    }
    // The tab order follows the tab indexes: the display boxes first.
    HWND first = ::GetNextDlgTabItem(toolkit.window(main), nullptr, FALSE);
    EXPECT_EQ(first, hwnd(main, "Text1", 1));
    EXPECT_EQ(::GetNextDlgTabItem(toolkit.window(main), first, FALSE), hwnd(main, "Text1", 0));
}

TEST_F(Win32Windows, PostedClicksReachTheUnitAndTheUnitReachesTheControls) {
    EmulatorProcess emulator({"--serial", "WIN01"});
    ASSERT_EQ(emulator.command("pad 0 1 2 on"), "ok");
    app.start();
    Form &main = app.mainForm();
    ASSERT_TRUE(runUntil([&] { return app.syncComplete && text(hwnd(main, "Label4")).find("WIN01") != std::string::npos; }));
    EXPECT_EQ(text(hwnd(main, "Label4")), "Connected to Corvil\r\nSerial No. WIN01");
    EXPECT_EQ(::GetFocus(), hwnd(main, "Command1")) << "the first activation gives the first button the focus";

    click(hwnd(main, "Option5", 1));
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=1 last=03 05 ff 00 02");
    EXPECT_EQ(::SendMessageA(hwnd(main, "Option5", 1), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::SendMessageA(hwnd(main, "Option9", 1), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    ASSERT_EQ(emulator.command("route 0 1 2"), "ok");
    EXPECT_TRUE(runUntil([&] { return text(hwnd(main, "Text1", 0)) == "2."; }));

    click(hwnd(main, "Command1"));
    ASSERT_TRUE(runUntil([&] { return app.padsLoaded; }));
    click(hwnd(app.attenuatorForm(), "Check1", 12));
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=2 last=03 ff ff 10 02");

    click(hwnd(main, "Command2"));
    for (const char *c : {"seq-inputs 0 1 0x0c", "seq-interval 0 1 6", "route 0 2 3", "pad 0 2 3 on"})
        ASSERT_EQ(emulator.command(c), "ok");
    ASSERT_TRUE(runUntil([&] {
        return text(hwnd(app.autoSequencingForm(), "cChan1Time")) == "3.0 seconds" &&
               text(hwnd(main, "Text1", 1)) == "3.";
    }));
    // Keep the windows apart for the pictures.
    ::SetWindowPos(toolkit.window(main), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::SetWindowPos(toolkit.window(app.attenuatorForm()), nullptr, 320, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::SetWindowPos(toolkit.window(app.autoSequencingForm()), nullptr, 660, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    for (int i = 0; i < 5; ++i) app.pass();
    screenshot(main, "main");
    screenshot(app.attenuatorForm(), "attenuator");
    screenshot(app.autoSequencingForm(), "auto-sequencing");

    // A second click on the button of an open window, even a minimised one,
    // brings it back and activates it: its activate handler runs again.
    HWND mainWindow = toolkit.window(main);
    HWND attenuator = toolkit.window(app.attenuatorForm());
    ::ShowWindow(attenuator, SW_MINIMIZE);
    ::SetForegroundWindow(mainWindow);
    ASSERT_TRUE(runUntil([&] { return ::GetActiveWindow() == mainWindow; }));
    app.attenuatorForm().at("Label1", 0).setText("");
    click(hwnd(main, "Command1"));
    EXPECT_TRUE(runUntil([&] {
        return ::GetActiveWindow() == attenuator && !::IsIconic(attenuator) &&
               text(hwnd(app.attenuatorForm(), "Label1", 0)) == kPadInstruction;
    }));

    // Every return to the main window gives its first button the focus, also
    // after the user moved the focus elsewhere.
    for (int activation = 2; activation <= 3; ++activation) {
        ::SetFocus(hwnd(main, "Option3", 0));
        ::SetForegroundWindow(attenuator);
        ASSERT_TRUE(runUntil([&] { return ::GetActiveWindow() == attenuator; }));
        ::SetForegroundWindow(mainWindow);
        EXPECT_TRUE(runUntil([&] { return ::GetActiveWindow() == mainWindow && ::GetFocus() == hwnd(main, "Command1"); }))
            << "activation " << activation;
    }

    // The user closes a configuration window: it is discarded.
    ::PostMessageA(toolkit.window(app.attenuatorForm()), WM_CLOSE, 0, 0);
    app.pass();
    EXPECT_EQ(toolkit.window(app.attenuatorForm()), nullptr);
}

// What the stop message test sees from a thread timer, which runs in the
// program's message loop and in the box's own alike.
struct StopProbe {
    SwitcherApp0100 *app = nullptr;
    win32::Win32Toolkit *toolkit = nullptr;
    bool failed = false, seen = false, ownerDisabled = false;
    HWND owner = nullptr;
} stopProbe;

void CALLBACK probeStop(HWND, UINT, UINT_PTR, DWORD) {
    StopProbe &p = stopProbe;
    if (!p.failed) {
        if (!p.app->syncComplete) return;
        p.failed = true;
        p.toolkit->deliver([] { throw std::runtime_error("a handler failed"); });
        return;
    }
    HWND box = ::FindWindowA("#32770", "Corvil Switcher");
    if (!box || p.seen) return;
    p.seen = true;
    p.owner = ::GetWindow(box, GW_OWNER);
    p.ownerDisabled = !::IsWindowEnabled(p.toolkit->window(p.app->mainForm()));
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST_F(Win32Windows, TheStopMessageBelongsToTheMainWindowAndTheTimerIsStopped) {
    EmulatorProcess emulator;
    ASSERT_TRUE(emulator.start({}));
    stopProbe = StopProbe{&app, &toolkit};
    const UINT_PTR probe = ::SetTimer(nullptr, 0, 20, probeStop);
    EXPECT_EQ(app.Main(), 1);
    ::KillTimer(nullptr, probe);
    EXPECT_TRUE(stopProbe.seen);
    EXPECT_EQ(stopProbe.owner, toolkit.window(app.mainForm()));
    EXPECT_TRUE(stopProbe.ownerDisabled) << "the main window takes no clicks meanwhile";
    EXPECT_FALSE(::KillTimer(toolkit.window(app.mainForm()), 1)) << "the window's timer was stopped";
}

} // namespace

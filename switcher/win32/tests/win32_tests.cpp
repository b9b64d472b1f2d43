// The Win32 windows under Wine: the live layout, clicks posted to the real
// controls reaching the unit, the unit's changes reaching the controls, the
// controls as a screen reader reads them, and screenshots of the three
// windows (BMP files under the build tree).
#include <gtest/gtest.h>

#include <map>

#include <windows.h>
#include <oleacc.h>

#include <cstdlib>

#include "click_script.h"
#include "layout.h"
#include "win32_screenshot.h"
#include "win32_toolkit.h"

using namespace corvil::switcher;
using corvil::form::Control;
using corvil::form::Form;
using corvil::form::Kind;
using corvil::testing::EmulatorProcess;

namespace {

class Win32Windows : public ::testing::Test {
public:
    void SetUp() override { corvil::testing::usePrivateRendezvous(); }
    void TearDown() override { app.mainForm().unload(); }

    EmulatorProcess emulator;
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
};

TEST_F(Win32Windows, LiveWindowsFollowTheDescription) {
    // The Wine prefix of the 192 dpi run says so; the program must see it.
    if (const char *wanted = std::getenv("CORVIL_WINE_DPI")) { EXPECT_EQ(toolkit.dpi(), std::atoi(wanted)); }
    ASSERT_TRUE(corvil::switcher::testing::startWithEveryWindow(app, emulator));
    for (const auto &[form, _, designedWindow] : corvil::switcher::testing::windows(app)) {
        HWND w = toolkit.window(*form);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(text(w), designedWindow.title);
        RECT client;
        ::GetClientRect(w, &client);
        EXPECT_EQ(client.right, toolkit.px(designedWindow.clientWidth)) << form->name();
        EXPECT_EQ(client.bottom, toolkit.px(designedWindow.clientHeight)) << form->name();
        for (const auto &c : designedWindow.controls) {
            if (c.kind == Kind::Line || c.kind == Kind::Timer) continue;
            HWND h = hwnd(*form, c.name, c.index);
            ASSERT_NE(h, nullptr) << c.name;
            const RECT r = clientRect(h);
            EXPECT_EQ(r.right - r.left, toolkit.px(c.width)) << c.name << "(" << c.index << ")";
            if (c.kind != Kind::ComboBox) {
                EXPECT_EQ(r.bottom - r.top, toolkit.px(c.height)) << c.name;
            }
            if (corvil::switcher::testing::fixedCaption(c)) {
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

std::string narrow(BSTR text) {
    const int n = text ? ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr) : 0;
    std::string out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

// A property of the object itself as a screen reader reads it, or as a
// late-bound (script) client does: by the id it looks up by the name.
std::string said(IAccessible *acc, const std::wstring &property, bool lateBound) {
    VARIANT self{}, out{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    HRESULT hr = E_FAIL;
    if (lateBound) {
        LPOLESTR name = const_cast<LPOLESTR>(property.c_str());
        DISPID id = DISPID_UNKNOWN;
        DISPPARAMS args{&self, nullptr, 1, 0};
        if (SUCCEEDED(acc->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)))
            hr = acc->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &args, &out, nullptr, nullptr);
    } else if (property == L"accName") {
        out.vt = VT_BSTR;
        hr = acc->get_accName(self, &out.bstrVal);
    } else {
        hr = property == L"accRole" ? acc->get_accRole(self, &out) : acc->get_accState(self, &out);
    }
    const std::string text = hr != S_OK           ? "none"
                             : out.vt == VT_BSTR ? narrow(out.bstrVal)
                             : out.vt == VT_I4   ? std::to_string(out.lVal)
                                                 : "?";
    ::VariantClear(&out);
    return text;
}

// What a screen reader hears from a control's window through MSAA: its name,
// role and state; the name and role again read late-bound; and whether the
// object says it came from that window.
struct Announced {
    std::string name, role, late;
    LONG state = 0;
    bool ownWindow = false;
};

Announced announced(HWND h) {
    IAccessible *acc = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(h, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void **>(&acc))) ||
        !acc)
        return {"no accessible object"};
    HWND window = nullptr;
    ::WindowFromAccessibleObject(acc, &window);
    Announced a{said(acc, L"accName", false), said(acc, L"accRole", false),
                said(acc, L"accName", true) + "; " + said(acc, L"accRole", true),
                std::atol(said(acc, L"accState", false).c_str()), window == h};
    acc->Release();
    return a;
}

TEST_F(Win32Windows, ScreenReadersReadEachControlsNameAndRole) {
    ASSERT_TRUE(corvil::switcher::testing::startWithEveryWindow(app, emulator));
    ASSERT_TRUE(corvil::switcher::testing::runUntil(app, [&] { return app.padsLoaded && app.autoSeqLoaded; }));
    const std::map<Kind, LONG> roles{{Kind::CommandButton, ROLE_SYSTEM_PUSHBUTTON},
                                     {Kind::OptionButton, ROLE_SYSTEM_RADIOBUTTON},
                                     {Kind::CheckBox, ROLE_SYSTEM_CHECKBUTTON},
                                     {Kind::TextBox, ROLE_SYSTEM_TEXT},
                                     {Kind::ComboBox, ROLE_SYSTEM_COMBOBOX}};
    std::string checked;
    corvil::switcher::testing::forEachFocusable(app, "", [&](Form &, Control &c, const std::string &where) {
        HWND h = toolkit.control(c);
        const Announced a = announced(h);
        EXPECT_EQ(a.role, std::to_string(roles.at(c.kind()))) << where;
        EXPECT_EQ(a.late, a.name + "; " + a.role) << where;
        EXPECT_TRUE(a.ownWindow) << where;
        if (c.kind() == Kind::OptionButton || c.kind() == Kind::CheckBox) {
            const bool on = ::SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
            if (on) checked += (checked.empty() ? "" : ", ") + a.name;
            EXPECT_EQ((a.state & STATE_SYSTEM_CHECKED) != 0, on) << where;
        }
        if (c.kind() == Kind::ComboBox) {
            // The keyboard focus lands in the list's edit field.
            COMBOBOXINFO info{};
            info.cbSize = sizeof info;
            EXPECT_TRUE(::GetComboBoxInfo(h, &info) && info.hwndItem) << where;
            const Announced field = announced(info.hwndItem);
            EXPECT_EQ(field.name + "; " + field.role, a.name + "; " + std::to_string(ROLE_SYSTEM_TEXT)) << where;
        }
        return a.name;
    });
    EXPECT_EQ(checked, "No Input to Output Channel 1, No Input to Output Channel 2") << "the emulated unit's routing";
}

// The shared session, with clicks posted to the controls' own windows.
class Win32Desk : public corvil::switcher::testing::Desk {
public:
    explicit Win32Desk(Win32Windows &suite) : t_(suite) {}
    HWND control(Form &form, const std::string &name, int index) { return t_.hwnd(form, name, index); }
    // A mouse click as the control's own window receives it.
    void click(Form &form, const std::string &name, int index) override {
        HWND h = control(form, name, index);
        ::PostMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        ::PostMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
        t_.app.pass();
    }
    std::string text(Form &form, const std::string &name, int index) override {
        return t_.text(control(form, name, index));
    }
    bool checked(Form &form, const std::string &name, int index) override {
        return ::SendMessageA(control(form, name, index), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    bool hasFocus(Form &form, const std::string &name, int index) override {
        return ::GetFocus() == control(form, name, index);
    }
    void focus(Form &form, const std::string &name, int index) override { ::SetFocus(control(form, name, index)); }
    bool active(Form &form) override { return ::GetActiveWindow() == t_.toolkit.window(form); }
    void activate(Form &form) override { ::SetForegroundWindow(t_.toolkit.window(form)); }
    void minimise(Form &form) override { ::ShowWindow(t_.toolkit.window(form), SW_MINIMIZE); }
    bool minimised(Form &form) override { return ::IsIconic(t_.toolkit.window(form)); }
    void close(Form &form) override { ::PostMessageA(t_.toolkit.window(form), WM_CLOSE, 0, 0); }
    void screenshots() override {
        // Keep the windows apart for the pictures.
        SwitcherApp0100 &app = t_.app;
        int x = 0;
        for (const auto &w : corvil::switcher::testing::windows(app)) {
            ::SetWindowPos(t_.toolkit.window(*w.form), nullptr, x, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            x += t_.toolkit.px(4800); // wider than the widest window
        }
        for (int i = 0; i < 5; ++i) app.pass();
        ::CreateDirectoryA(SCREENSHOT_DIR, nullptr);
        const int dpi = t_.toolkit.dpi();
        for (const auto &[form, name, _] : corvil::switcher::testing::windows(app)) {
            const std::string file = std::string(SCREENSHOT_DIR) + "/win32-" + name +
                                     (dpi == 96 ? "" : "-" + std::to_string(dpi) + "dpi") + ".bmp";
            EXPECT_TRUE(corvil::screenshot::save(t_.toolkit.window(*form), file)) << file;
        }
    }

private:
    Win32Windows &t_;
};

TEST_F(Win32Windows, PostedClicksReachTheUnitAndTheUnitReachesTheControls) {
    Win32Desk desk(*this);
    corvil::switcher::testing::runClickScript(app, desk, "WIN01");
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

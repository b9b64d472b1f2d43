#include "main_window.h"

#include <string>

namespace fathom_host {

namespace {

constexpr char kWindowClass[] = "FathomHostWindow";
constexpr char kTitle[] = "FathomLive";
constexpr UINT_PTR kTickTimer = 1;

enum Control : int {
    kUnitList = 100,
    kAdd,
    kConfigure,
    kRemove,
    kOpen,
    kUpdate,
    kClose,
    kOutputLabel1 = 110,
    kOutputLabel2,
    kInput1 = 120,
    kInput2,
    kLevel1 = 130,
    kLevel2,
    kReadRouting = 140,
    kSetRouting,
    kStatus = 150,
};

} // namespace

MainWindow::MainWindow(HINSTANCE instance, Host &host, UINT tickPeriodMs)
    : instance_(instance), host_(host), tickPeriodMs_(tickPeriodMs) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(1)); // the program's own, from its resources
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    ::RegisterClassExA(&wc);
    font_ = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    RECT r{0, 0, 480, 318};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    ::AdjustWindowRect(&r, style, FALSE);
    hwnd_ = ::CreateWindowExA(0, kWindowClass, kTitle, style, 20, 20, r.right - r.left, r.bottom - r.top, nullptr,
                              nullptr, instance, this);
    createControls();
    refresh();
    ::ShowWindow(hwnd_, SW_SHOWNORMAL);
    ::UpdateWindow(hwnd_);
}

MainWindow::~MainWindow() {
    if (::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
}

LRESULT CALLBACK MainWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto *self = static_cast<MainWindow *>(reinterpret_cast<CREATESTRUCTA *>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<MainWindow *>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self) return self->handle(message, wParam, lParam);
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

void MainWindow::createControls() {
    auto make = [&](const char *cls, const char *text, DWORD style, int x, int y, int w, int h, int id,
                    DWORD exStyle = 0) {
        HWND c = ::CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
        ::SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        return c;
    };
    make("STATIC", "Units:", 0, 10, 8, 300, 16, -1);
    make("LISTBOX", "", WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 10, 26, 300, 172, kUnitList,
         WS_EX_CLIENTEDGE);
    const char *buttons[] = {"&Add unit...", "&Configure...", "&Remove unit", "&Open window", "&Update window",
                             "C&lose window"};
    const int ys[] = {26, 56, 86, 122, 152, 182};
    for (int i = 0; i < 6; ++i) make("BUTTON", buttons[i], WS_TABSTOP | BS_PUSHBUTTON, 320, ys[i], 150, 24, kAdd + i);
    make("BUTTON", "Routing of the selected unit", BS_GROUPBOX, 10, 206, 460, 82, -1);
    for (int o = 0; o < 2; ++o) {
        const int y = 228 + 28 * o;
        make("STATIC", "", 0, 22, y + 4, 60, 16, kOutputLabel1 + o);
        make("COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 86, y, 120, 200, kInput1 + o);
        make("COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 214, y, 90, 200, kLevel1 + o);
    }
    make("BUTTON", "R&ead routing", WS_TABSTOP | BS_PUSHBUTTON, 320, 226, 140, 24, kReadRouting);
    make("BUTTON", "&Set routing", WS_TABSTOP | BS_PUSHBUTTON, 320, 254, 140, 24, kSetRouting);
    make("STATIC", "", SS_LEFTNOWORDWRAP, 10, 296, 460, 16, kStatus);
}

void MainWindow::status(const std::string &text) { ::SetDlgItemTextA(hwnd_, kStatus, text.c_str()); }

void MainWindow::refresh() {
    HWND list = ::GetDlgItem(hwnd_, kUnitList);
    const std::int32_t selected = selectedUnit();
    ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const Unit &u : host_.units().units()) {
        std::string line = std::to_string(u.id) + "   " + (u.name.empty() ? "(no name)" : u.name) + "   " + u.address;
        if (host_.created() && host_.windowOpen(u.id)) line += "   [window]";
        const auto at = ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        ::SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(u.id));
        if (u.id == selected) ::SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    }
    // The routing choices are the plug-in's: its output, input and level names.
    for (int o = 0; o < 2; ++o) {
        HWND inputs = ::GetDlgItem(hwnd_, kInput1 + o);
        const bool filled = ::SendMessageA(inputs, CB_GETCOUNT, 0, 0) > 0;
        if (!host_.created() || filled) continue;
        ::SetDlgItemTextA(hwnd_, kOutputLabel1 + o, (host_.outputName(o) + ":").c_str());
        const std::int32_t count = host_.inputCount();
        for (std::int32_t k = 0; k < count; ++k)
            ::SendMessageA(inputs, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(host_.inputName(k).c_str()));
        ::SendMessageA(inputs, CB_SETCURSEL, 0, 0);
        showLevelChoice(o);
    }
    const BOOL on = host_.created() ? TRUE : FALSE;
    for (int id : {kAdd, kConfigure, kRemove, kOpen, kUpdate, kClose, kReadRouting, kSetRouting})
        ::EnableWindow(::GetDlgItem(hwnd_, id), on);
}

void MainWindow::showLevelChoice(int output) {
    HWND levels = ::GetDlgItem(hwnd_, kLevel1 + output);
    const LRESULT input = ::SendMessageA(::GetDlgItem(hwnd_, kInput1 + output), CB_GETCURSEL, 0, 0);
    const LRESULT keep = ::SendMessageA(levels, CB_GETCURSEL, 0, 0);
    ::SendMessageA(levels, CB_RESETCONTENT, 0, 0);
    const std::int32_t count = input == CB_ERR ? 0 : host_.levelCount(static_cast<std::int32_t>(input));
    for (std::int32_t v = 0; v < count; ++v)
        ::SendMessageA(levels, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(host_.levelName(v).c_str()));
    if (count > 0) ::SendMessageA(levels, CB_SETCURSEL, keep == CB_ERR || keep >= count ? 0 : keep, 0);
    ::EnableWindow(levels, count > 0);
}

std::int32_t MainWindow::selectedUnit() const {
    HWND list = ::GetDlgItem(hwnd_, kUnitList);
    const LRESULT at = ::SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (at == LB_ERR) return 0;
    return static_cast<std::int32_t>(::SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(at), 0));
}

void MainWindow::readRouting() {
    Routing routing;
    if (host_.getRouting(selectedUnit(), routing) != corvil::plugin::kEqOk) {
        status("GetRouting failed: the unit is not attached or did not answer.");
        return;
    }
    for (int o = 0; o < 2; ++o) {
        ::SendDlgItemMessageA(hwnd_, kInput1 + o, CB_SETCURSEL, static_cast<WPARAM>(routing.inputs[o]), 0);
        showLevelChoice(o);
        ::SendDlgItemMessageA(hwnd_, kLevel1 + o, CB_SETCURSEL, static_cast<WPARAM>(routing.levels[o]), 0);
    }
    status("Routing read.");
}

void MainWindow::writeRouting() {
    Routing routing;
    for (int o = 0; o < 2; ++o) {
        const LRESULT input = ::SendDlgItemMessageA(hwnd_, kInput1 + o, CB_GETCURSEL, 0, 0);
        const LRESULT level = ::SendDlgItemMessageA(hwnd_, kLevel1 + o, CB_GETCURSEL, 0, 0);
        routing.inputs[o] = input == CB_ERR ? 0 : static_cast<std::int32_t>(input);
        routing.levels[o] = level == CB_ERR ? 0 : static_cast<std::int32_t>(level);
    }
    status(host_.setRouting(selectedUnit(), routing) == corvil::plugin::kEqOk
               ? "Routing set."
               : "SetRouting failed: the unit is not attached or did not answer.");
}

void MainWindow::command(int id, int code) {
    if (!host_.created()) return;
    const std::int32_t unit = selectedUnit();
    const bool needsUnit = id == kConfigure || id == kRemove || id == kOpen || id == kUpdate || id == kClose ||
                           id == kReadRouting || id == kSetRouting;
    if (needsUnit && code == BN_CLICKED && !host_.units().find(unit)) {
        status("Select a unit first.");
        return;
    }
    switch (id) {
    case kUnitList:
        if (code == LBN_DBLCLK) host_.openWindow(unit, hwnd_);
        break;
    case kInput1:
    case kInput2:
        if (code == CBN_SELCHANGE) showLevelChoice(id - kInput1);
        return;
    case kAdd: {
        if (code != BN_CLICKED) return;
        std::int32_t added = 0;
        std::string error;
        if (!host_.addUnit("", added, error)) {
            status(error);
            break;
        }
        // A new unit is named and bound at once; cancelling drops it again.
        if (host_.configure(added, hwnd_).result != corvil::plugin::kEqOk) host_.removeUnit(added, error);
        break;
    }
    case kConfigure:
        if (code == BN_CLICKED) host_.configure(unit, hwnd_);
        break;
    case kRemove: {
        std::string error;
        if (code == BN_CLICKED && !host_.removeUnit(unit, error)) status(error);
        break;
    }
    case kOpen:
        if (code == BN_CLICKED && host_.openWindow(unit, hwnd_) != corvil::plugin::kEqOk)
            status("OpenUnitWindow failed.");
        break;
    case kUpdate:
        if (code == BN_CLICKED && host_.updateWindow(unit) != corvil::plugin::kEqOk) status("No unit window to update.");
        break;
    case kClose:
        if (code == BN_CLICKED && host_.closeWindow(unit) != corvil::plugin::kEqOk) status("No unit window to close.");
        break;
    case kReadRouting:
        if (code == BN_CLICKED) readRouting();
        return;
    case kSetRouting:
        if (code == BN_CLICKED) writeRouting();
        return;
    default:
        return;
    }
    refresh();
}

void MainWindow::setTicking(bool on) {
    if (on == ticking_) return;
    ticking_ = on;
    if (on) {
        lastTick_ = ::GetTickCount64();
        ::SetTimer(hwnd_, kTickTimer, tickPeriodMs_, nullptr);
    } else {
        ::KillTimer(hwnd_, kTickTimer);
    }
}

void MainWindow::onTimer() {
    const ULONGLONG now = ::GetTickCount64();
    const ULONGLONG elapsed = now - lastTick_;
    lastTick_ = now;
    if (!host_.created()) return;
    // Tick takes a 16-bit count; a longer stall is passed as the most it can say.
    const auto ms = static_cast<std::int16_t>(elapsed > 32767 ? 32767 : elapsed);
    ++ticks_;
    reportedMs_ += ms;
    host_.tick(ms);
}

void MainWindow::close() {
    if (!::IsWindow(hwnd_)) return;
    setTicking(false);
    host_.shutDown();
    ::DestroyWindow(hwnd_);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kTickTimer && ticking_) onTimer();
        return 0;
    case WM_CLOSE:
        close();
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcA(hwnd_, message, wParam, lParam);
    }
}

} // namespace fathom_host

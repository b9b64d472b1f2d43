// The unit windows on USER32: a modeless dialog from template 353 whose
// events go to the core's unit window, and whose controls, placement and
// standard scroll bars the core reaches through its view.
#include "shell.h"

#include <algorithm>
#include <map>
#include <set>

namespace corvil::plugin::win32 {

namespace {

using Bar = ScrollWindow::Bar;
int barOf(Bar bar) { return bar == Bar::Horizontal ? SB_HORZ : SB_VERT; }

// The host's message loop need not know the plug-in's windows, yet Tab,
// Enter and Escape must reach them as in any dialog: a message hook on the
// windows' thread runs the dialog keyboard for them.
class KeyboardRouting {
public:
    void add(HWND window) {
        if (windows_.empty()) hook_ = ::SetWindowsHookExA(WH_GETMESSAGE, hookProc, nullptr, ::GetCurrentThreadId());
        windows_.insert(window);
    }
    void remove(HWND window) {
        windows_.erase(window);
        if (windows_.empty() && hook_) {
            ::UnhookWindowsHookEx(hook_);
            hook_ = nullptr;
        }
    }

private:
    static LRESULT CALLBACK hookProc(int code, WPARAM wParam, LPARAM lParam) {
        KeyboardRouting &self = instance();
        auto *msg = reinterpret_cast<MSG *>(lParam);
        if (code == HC_ACTION && wParam == PM_REMOVE && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) {
            HWND top = ::GetAncestor(msg->hwnd, GA_ROOT);
            if (self.windows_.count(top) && ::IsDialogMessageA(top, msg)) {
                msg->message = WM_NULL; // handled: the host's loop sees nothing
                msg->wParam = msg->lParam = 0;
            }
        }
        return ::CallNextHookEx(self.hook_, code, wParam, lParam);
    }

public:
    static KeyboardRouting &instance() {
        static KeyboardRouting routing;
        return routing;
    }

private:
    HHOOK hook_ = nullptr;
    std::set<HWND> windows_;
};

class UnitWindow : public UnitWindowView, public ScrollWindow {
public:
    explicit UnitWindow(UnitWindowEvents &events) : events_(events) {}
    ~UnitWindow() override {
        if (window_) {
            // The core is done with it: no more events.
            ::SetWindowLongPtrA(window_, DWLP_USER, 0);
            KeyboardRouting::instance().remove(window_);
            ::DestroyWindow(window_);
        }
    }

    static INT_PTR CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // UnitWindowView
    bool exists() override { return window_ && ::IsWindow(window_); }
    void destroy() override {
        if (exists()) ::DestroyWindow(window_);
    }
    void show() override { ::ShowWindow(window_, SW_SHOW); }
    void hide() override { ::ShowWindow(window_, SW_HIDE); }
    void repaintNow() override { ::UpdateWindow(window_); }
    // Every poll pass shows the unit's settings again: a control is touched
    // only when it changes, so that an idle window costs nothing and does
    // not flicker.
    void setTitle(const std::string &title) override {
        char shown[64] = {};
        ::GetWindowTextA(window_, shown, sizeof shown);
        if (title != shown) ::SetWindowTextA(window_, title.c_str());
    }
    void setRadio(int id, bool on) override {
        if (radio(id) != on) ::SendMessageA(item(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    bool radio(int id) override { return ::SendMessageA(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void levelClear(int id) override { ::SendMessageA(item(id), CB_RESETCONTENT, 0, 0); }
    void levelAdd(int id, const std::string &entry) override {
        ::SendMessageA(item(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    }
    void levelSelect(int id, int index) override {
        if (levelSelection(id) != index) ::SendMessageA(item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    int levelSelection(int id) override {
        const LRESULT selection = ::SendMessageA(item(id), CB_GETCURSEL, 0, 0);
        return selection == CB_ERR ? -1 : static_cast<int>(selection);
    }
    void enable(int id, bool enabled) override {
        HWND control = item(id);
        if ((::IsWindowEnabled(control) != FALSE) != enabled) ::EnableWindow(control, enabled);
    }
    Rect windowRect() override {
        RECT r{};
        ::GetWindowRect(window_, &r);
        return {r.left, r.top, r.right, r.bottom};
    }
    void place(const Rect &r) override { ::MoveWindow(window_, r.left, r.top, r.width(), r.height(), TRUE); }
    void moveTo(std::int32_t left, std::int32_t top) override {
        ::SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void resizeNotTopmost(std::int32_t width, std::int32_t height) override {
        ::SetWindowPos(window_, HWND_NOTOPMOST, 0, 0, width, height, SWP_NOMOVE);
    }
    Size clientSize() override {
        RECT r{};
        ::GetClientRect(window_, &r);
        return {r.right - r.left, r.bottom - r.top};
    }
    void hideScrollBars() override { ::ShowScrollBar(window_, SB_BOTH, FALSE); }
    void appendSystemMenu(const std::string &configure, const std::string &about) override {
        HMENU menu = ::GetSystemMenu(window_, FALSE);
        ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(menu, MF_STRING, kConfigureCommand, configure.c_str());
        ::AppendMenuA(menu, MF_STRING, kAboutCommand, about.c_str());
    }
    void focusSelf() override { ::SetFocus(window_); }
    ScrollWindow &scrolling() override { return *this; }

    // ScrollWindow: the window's standard scroll bars; it has no scroll-bar
    // controls of its own.
    bool hasBorderStyle() override { return (style() & WS_BORDER) != 0; }
    bool hasScrollBarControl(Bar) override { return false; }
    std::int32_t systemBarSize(Bar bar) override {
        return ::GetSystemMetrics(bar == Bar::Vertical ? SM_CXVSCROLL : SM_CYHSCROLL);
    }
    bool barShowing(Bar bar) override { return (style() & (bar == Bar::Vertical ? WS_VSCROLL : WS_HSCROLL)) != 0; }
    void showBar(Bar bar, bool show) override { ::ShowScrollBar(window_, barOf(bar), show); }
    bool setBarInfo(Bar bar, std::int32_t max, std::int32_t page) override {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_PAGE | SIF_RANGE;
        info.nMin = 0;
        info.nMax = max;
        info.nPage = static_cast<UINT>(std::max(page, 0));
        ::SetScrollInfo(window_, barOf(bar), &info, TRUE);
        return true;
    }
    void setBarRange(Bar bar, std::int32_t max) override { ::SetScrollRange(window_, barOf(bar), 0, max, TRUE); }
    std::int32_t barPosition(Bar bar) override { return ::GetScrollPos(window_, barOf(bar)); }
    void setBarPosition(Bar bar, std::int32_t position) override {
        ::SetScrollPos(window_, barOf(bar), position, TRUE);
    }
    std::int32_t scrollLimit(Bar bar) override {
        int low = 0, high = 0;
        ::GetScrollRange(window_, barOf(bar), &low, &high);
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_PAGE;
        if (::GetScrollInfo(window_, barOf(bar), &info)) high -= std::max(static_cast<int>(info.nPage) - 1, 0);
        return high;
    }
    bool barEnabled(Bar bar) override { return barShowing(bar); }
    void moveContent(std::int32_t dx, std::int32_t dy) override {
        ::ScrollWindowEx(window_, dx, dy, nullptr, nullptr, nullptr, nullptr,
                         SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
    }
    void invalidate(bool erase) override { ::InvalidateRect(window_, nullptr, erase); }
    void updateNow() override { ::UpdateWindow(window_); }
    Size toDevice(std::int32_t mapMode, Size size) override {
        HDC screen = ::GetDC(nullptr);
        ::SetMapMode(screen, mapMode);
        POINT p{size.cx, size.cy};
        ::LPtoDP(screen, &p, 1);
        ::ReleaseDC(nullptr, screen);
        return {p.x, p.y};
    }

private:
    LONG_PTR style() const { return ::GetWindowLongPtrA(window_, GWL_STYLE); }
    // A control's window, looked up once: under Wine each lookup asks the
    // window server, and a poll pass looks at some twenty controls a window.
    HWND item(int id) {
        auto found = items_.find(id);
        if (found != items_.end()) return found->second;
        HWND control = ::GetDlgItem(window_, id);
        if (control) items_.emplace(id, control);
        return control;
    }
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);

    UnitWindowEvents &events_;
    HWND window_ = nullptr;
    std::map<int, HWND> items_; // controls of window_
};

bool isRadio(int id) {
    return (id >= kRadioOutput1 && id <= kRadioOutput1 + 8) || (id >= kRadioOutput2 && id <= kRadioOutput2 + 8);
}

INT_PTR UnitWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDOK && code == BN_CLICKED) {
            events_.onEnter();
            return TRUE;
        }
        if (id == IDCANCEL && code == BN_CLICKED) { // Escape, and Close on the system menu
            events_.onEscape();
            return TRUE;
        }
        if (isRadio(id) && code == BN_CLICKED) {
            events_.onRadioClick(id);
            return TRUE;
        }
        if (id == kLevelList1 || id == kLevelList2) {
            if (code == CBN_SELCHANGE) events_.onLevelChange(id);
            if (code == CBN_DROPDOWN) events_.onDropDown(true);
            if (code == CBN_CLOSEUP) events_.onDropDown(false);
            return TRUE;
        }
        return FALSE;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MAXIMIZE) {
            events_.onMaximize();
            return TRUE;
        }
        if (wParam == kConfigureCommand || wParam == kAboutCommand) {
            events_.onSystemCommand(static_cast<int>(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_SIZE: events_.onSize(); return FALSE;
    case WM_HSCROLL:
    case WM_VSCROLL: {
        const bool vertical = message == WM_VSCROLL;
        const int code = LOWORD(wParam);
        int position = static_cast<short>(HIWORD(wParam));
        if (code == SB_THUMBTRACK && lParam == 0) {
            // The message carries 16 bits; the bar knows the whole position.
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_TRACKPOS;
            if (::GetScrollInfo(window_, vertical ? SB_VERT : SB_HORZ, &info)) position = info.nTrackPos;
        }
        events_.onScroll(vertical, code, position, lParam != 0);
        return FALSE;
    }
    case WM_DESTROY: events_.onDestroy(); return FALSE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK UnitWindow::proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *self = reinterpret_cast<UnitWindow *>(::GetWindowLongPtrA(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<UnitWindow *>(lParam);
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        self->window_ = window;
        KeyboardRouting::instance().add(window);
    }
    if (!self) return FALSE;
    INT_PTR result = FALSE;
    try {
        if (message == WM_INITDIALOG) {
            self->events_.onInit(*self);
            result = TRUE;
        } else {
            result = self->handle(message, wParam, lParam);
        }
    } catch (...) {
        // Nothing may unwind through USER32; the next poll pass shows the unit again.
        result = TRUE;
    }
    if (message == WM_NCDESTROY) {
        KeyboardRouting::instance().remove(window);
        ::SetWindowLongPtrA(window, DWLP_USER, 0);
        self->window_ = nullptr;
        self->items_.clear();
    }
    return result;
}

} // namespace

std::unique_ptr<UnitWindowView> Win32WindowSystem::createUnitWindow(HostWindow parent, UnitWindowEvents &events) {
    auto view = std::make_unique<UnitWindow>(events);
    HWND window = ::CreateDialogParamA(instance_, MAKEINTRESOURCEA(kUnitWindowTemplate), static_cast<HWND>(parent),
                                       UnitWindow::proc, reinterpret_cast<LPARAM>(view.get()));
    if (!window || !view->exists()) return nullptr;
    return view;
}

void Win32WindowSystem::focus(HostWindow window) {
    if (window && ::IsWindow(static_cast<HWND>(window))) ::SetFocus(static_cast<HWND>(window));
}

Rect Win32WindowSystem::workArea() {
    RECT r{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
    return {r.left, r.top, r.right, r.bottom};
}

} // namespace corvil::plugin::win32

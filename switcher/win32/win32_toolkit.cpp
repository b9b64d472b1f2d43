#include "win32_toolkit.h"

#include <objbase.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "accessible_name.h"
#include "layout.h"

namespace corvil::switcher::win32 {

using form::Control;
using form::Form;
using form::Kind;

namespace {

constexpr char kWindowClass[] = "CorvilSwitcherWindow";
constexpr int kFirstControlId = 100;
constexpr UINT_PTR kTimerId = 1;

Win32Toolkit *gToolkit = nullptr;

struct Creation {
    Win32Toolkit *toolkit;
    Form *form;
};

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto *creation = static_cast<Creation *>(reinterpret_cast<CREATESTRUCTA *>(lParam)->lpCreateParams);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->form));
    }
    auto *form = reinterpret_cast<Form *>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (form && gToolkit) return gToolkit->handle(*form, hwnd, message, wParam, lParam);
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}


// Where a control sits in its window's client area: inside a frame, from
// the frame's top-left corner.
POINT origin(Form &form, const form::ControlLayout &s, int dpi) {
    POINT p{px(s.left, dpi), px(s.top, dpi)};
    if (s.container.empty()) return p;
    const auto open = s.container.find('(');
    const std::string name = s.container.substr(0, open);
    const int index = open == std::string::npos ? -1 : std::atoi(s.container.c_str() + open + 1);
    for (const form::ControlLayout &c : form.layout().controls) {
        if (c.name == name && c.index == index) {
            p.x += px(c.left, dpi);
            p.y += px(c.top, dpi);
        }
    }
    return p;
}

} // namespace

Win32Toolkit::Win32Toolkit(HINSTANCE instance) : instance_(instance) {
    gToolkit = this;
    // The controls answer screen readers with COM objects of their own.
    comInitialised_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (HDC screen = ::GetDC(nullptr)) {
        dpi_ = ::GetDeviceCaps(screen, LOGPIXELSY);
        ::ReleaseDC(nullptr, screen);
    }
    if (dpi_ <= 0) dpi_ = 96;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(1));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    ::RegisterClassExA(&wc);
}

Win32Toolkit::~Win32Toolkit() {
    for (auto &[form, w] : windows_) ::DestroyWindow(w.hwnd);
    for (auto &[key, f] : fonts_) ::DeleteObject(f);
    if (comInitialised_) ::CoUninitialize();
    gToolkit = nullptr;
}

void Win32Toolkit::rethrow() {
    if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
}

void Win32Toolkit::processPendingEvents() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        HWND top = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (top && ::IsDialogMessageA(top, &msg)) continue; // Tab moves the focus in tab order
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    rethrow();
}

void Win32Toolkit::waitForEvent() {
    ::WaitMessage();
    processPendingEvents();
}

HWND Win32Toolkit::mainWindow() const {
    for (auto &[form, w] : windows_)
        if (form->name() == kMainWindow) return w.hwnd;
    return nullptr;
}

// Owned by the main window, a box disables it while shown: no click on the
// main window reaches the program meanwhile.
void Win32Toolkit::messageBox(const std::string &text, const std::string &title) {
    ::MessageBoxA(mainWindow(), text.c_str(), title.c_str(), MB_ICONERROR | MB_OK);
}

void Win32Toolkit::stopMessage(const std::string &text) {
    // The box's own message loop would go on dispatching the timers' ticks.
    for (auto &[form, w] : windows_) ::KillTimer(w.hwnd, kTimerId);
    ::MessageBoxA(mainWindow(), text.c_str(), "Corvil Switcher", MB_ICONERROR | MB_OK);
}

HWND Win32Toolkit::window(Form &form) const {
    auto it = windows_.find(&form);
    return it == windows_.end() ? nullptr : it->second.hwnd;
}

HWND Win32Toolkit::control(Control &control) const {
    auto it = controls_.find(&control);
    return it == controls_.end() ? nullptr : it->second;
}

HFONT Win32Toolkit::font(const form::Font &wanted, HFONT inherited) {
    if (wanted.name.empty()) return inherited;
    const std::string key = wanted.name + "/" + std::to_string(wanted.size) + (wanted.bold ? "/b" : "");
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    const int height = -static_cast<int>(std::lround(wanted.size * dpi_ / 72.0));
    HFONT f = ::CreateFontA(height, 0, 0, 0, wanted.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                            wanted.name.c_str());
    fonts_[key] = f;
    return f;
}

namespace {
// The system window class, styles and drop-down height of each kind of control.
struct ChildKind {
    const char *cls;
    DWORD style;
    bool visible = true;
    int dropDownHeight = 0;
};
ChildKind childKind(const form::ControlLayout &s) {
    switch (s.kind) {
    // A label's box may reach under a button beside it (the design overlaps
    // them): it must not paint over the button.
    case Kind::Label: return {"STATIC", static_cast<DWORD>((s.rightAligned ? SS_RIGHT : SS_LEFT) | WS_CLIPSIBLINGS)};
    case Kind::TextBox: return {"EDIT", ES_CENTER | ES_READONLY | WS_BORDER};
    // A frame without caption only places its buttons.
    case Kind::Frame: return s.caption.empty() ? ChildKind{"STATIC", 0, false} : ChildKind{"BUTTON", BS_GROUPBOX};
    case Kind::OptionButton: return {"BUTTON", BS_RADIOBUTTON};
    case Kind::CheckBox: return {"BUTTON", BS_CHECKBOX};
    case Kind::CommandButton: return {"BUTTON", BS_PUSHBUTTON | BS_MULTILINE};
    case Kind::ComboBox: return {"COMBOBOX", CBS_DROPDOWN | WS_VSCROLL, true, 200};
    case Kind::Line:  // drawn by the window
    case Kind::Timer: break;
    }
    return {"STATIC", 0};
}
} // namespace

HWND Win32Toolkit::makeChild(Form &form, HWND parent, Control &c, HFONT windowFont) {
    const form::ControlLayout &s = c.layout();
    const ChildKind kind = childKind(s);
    const DWORD style =
        WS_CHILD | kind.style | (kind.visible ? WS_VISIBLE : 0) | (form::takesFocus(s.kind) ? WS_TABSTOP : 0);
    const POINT at = origin(form, s, dpi_);
    Window &w = windows_[&form];
    const int id = kFirstControlId + static_cast<int>(w.controls.size());
    HWND child = ::CreateWindowExA(0, kind.cls, "", style, at.x, at.y, px(s.width), px(s.height) + kind.dropDownHeight,
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    HFONT f = font(s.font, windowFont);
    if (s.kind == Kind::Label) f = fitted(f, s.caption, px(s.width), px(s.height));
    ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
    w.controls.push_back(&c);
    controls_[&c] = child;
    return child;
}

// Screen readers hear each control that takes the focus by its own name; a
// drop-down list's focus is in its edit field, named alike.
void Win32Toolkit::nameForScreenReaders(HWND child, Control &c) {
    setAccessibleName(child, c.accessibleName());
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (c.kind() == Kind::ComboBox && ::GetComboBoxInfo(child, &info) && info.hwndItem)
        setAccessibleName(info.hwndItem, c.accessibleName());
}

// The focus follows the z-order of the children: they go in tab order, and
// frames beneath what they hold.
void Win32Toolkit::orderChildren(Form &form, std::vector<std::pair<int, HWND>> tabOrder) {
    std::stable_sort(tabOrder.begin(), tabOrder.end(), [](auto &a, auto &b) { return a.first < b.first; });
    HWND previous = HWND_TOP;
    for (auto &[tab, child] : tabOrder) {
        ::SetWindowPos(child, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = child;
    }
    for (Control *c : windows_[&form].controls)
        if (c->kind() == Kind::Frame)
            ::SetWindowPos(controls_[c], HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32Toolkit::formCreated(Form &form) {
    const form::FormLayout &layout = form.layout();
    RECT frame{0, 0, px(layout.clientWidth), px(layout.clientHeight)};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
    Creation creation{this, &form};
    HWND hwnd = ::CreateWindowExA(0, kWindowClass, layout.title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance_,
                                  &creation);
    windows_[&form].hwnd = hwnd;
    HFONT windowFont = font(layout.font, static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));

    std::vector<std::pair<int, HWND>> tabOrder;
    for (auto &owned : form.controls()) {
        Control &c = *owned;
        const form::ControlLayout &s = c.layout();
        if (s.kind == Kind::Line) continue; // drawn by the window
        if (s.kind == Kind::Timer) {
            ::SetTimer(hwnd, kTimerId, static_cast<UINT>(s.timerIntervalMs), nullptr);
            continue;
        }
        HWND child = makeChild(form, hwnd, c, windowFont);
        if (form::takesFocus(s.kind)) {
            tabOrder.emplace_back(s.tabIndex, child);
            nameForScreenReaders(child, c);
        }
        apply(c);
    }
    orderChildren(form, std::move(tabOrder));
}

void Win32Toolkit::formDestroyed(Form &form) {
    auto it = windows_.find(&form);
    if (it == windows_.end()) return;
    for (Control *c : it->second.controls) controls_.erase(c);
    HWND hwnd = it->second.hwnd;
    windows_.erase(it);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd);
}

void Win32Toolkit::formShown(Form &form) {
    if (HWND h = window(form)) {
        ::ShowWindow(h, ::IsIconic(h) ? SW_RESTORE : SW_SHOW);
        ::SetForegroundWindow(h);
    }
}

void Win32Toolkit::formHidden(Form &form) {
    if (HWND h = window(form)) ::ShowWindow(h, SW_HIDE);
}

void Win32Toolkit::focusChanged(Form &, Control *c) {
    if (c)
        if (HWND h = control(*c)) ::SetFocus(h);
}

void Win32Toolkit::controlChanged(Control &c) { apply(c); }

bool Win32Toolkit::fits(HFONT f, const std::string &text, int width, int height) {
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, f);
    RECT r{0, 0, width, 0};
    // As a static control wraps: at spaces, a word too long for a line
    // sticking out to the right.
    ::DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    return r.right <= width && r.bottom <= height;
}

HFONT Win32Toolkit::fitted(HFONT base, const std::string &text, int width, int height) {
    if (fits(base, text, width, height)) return base;
    // The face standing in for the designed one (Liberation Sans for Arial,
    // say) can run a pixel or two wider a word: narrow it just enough, by at
    // most a quarter, rather than cut the caption.
    LOGFONTA lf{};
    ::GetObjectA(base, sizeof lf, &lf);
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, base);
    TEXTMETRICA tm{};
    ::GetTextMetricsA(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    for (LONG w = tm.tmAveCharWidth - 1; w > 0 && w >= tm.tmAveCharWidth * 3 / 4; --w) {
        const std::string key = std::string(lf.lfFaceName) + "/" + std::to_string(lf.lfHeight) + "/" +
                                std::to_string(lf.lfWeight) + "/w" + std::to_string(w);
        HFONT &narrow = fonts_[key];
        if (!narrow) {
            lf.lfWidth = w;
            narrow = ::CreateFontIndirectA(&lf);
        }
        if (narrow && fits(narrow, text, width, height)) return narrow;
    }
    return base;
}

void Win32Toolkit::apply(Control &c) {
    HWND h = control(c);
    if (!h) return;
    ::EnableWindow(h, c.enabled());
    switch (c.kind()) {
    case Kind::Label:
    case Kind::TextBox:
    case Kind::Frame:
    case Kind::CommandButton: ::SetWindowTextA(h, c.text().c_str()); break;
    case Kind::OptionButton:
    case Kind::CheckBox: ::SendMessageA(h, BM_SETCHECK, c.value() ? BST_CHECKED : BST_UNCHECKED, 0); break;
    case Kind::ComboBox: {
        const int count = static_cast<int>(::SendMessageA(h, CB_GETCOUNT, 0, 0));
        bool same = count == static_cast<int>(c.entries().size());
        for (int i = 0; same && i < count; ++i) {
            char text[64] = {};
            ::SendMessageA(h, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            same = c.entries()[i] == text;
        }
        if (!same) {
            ::SendMessageA(h, CB_RESETCONTENT, 0, 0);
            for (const std::string &e : c.entries()) ::SendMessageA(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
        }
        ::SendMessageA(h, CB_SETCURSEL, c.listIndex(), 0);
        ::SetWindowTextA(h, c.editText().c_str());
        break;
    }
    default: break;
    }
}

LRESULT Win32Toolkit::handle(Form &form, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        auto it = windows_.find(&form);
        const int index = LOWORD(wParam) - kFirstControlId;
        if (it == windows_.end() || index < 0 || index >= static_cast<int>(it->second.controls.size())) break;
        Control *c = it->second.controls[static_cast<std::size_t>(index)];
        const int code = HIWORD(wParam);
        if (c->kind() == Kind::ComboBox && code == CBN_SELCHANGE) {
            const int chosen = static_cast<int>(::SendMessageA(reinterpret_cast<HWND>(lParam), CB_GETCURSEL, 0, 0));
            deliver([c, chosen] { c->choose(chosen); });
            if (control(*c)) apply(*c);
            return 0;
        }
        if (code == BN_CLICKED && (c->kind() == Kind::OptionButton || c->kind() == Kind::CheckBox ||
                                   c->kind() == Kind::CommandButton)) {
            deliver([c] { c->click(); });
            if (control(*c)) apply(*c); // the model may have refused the change
            return 0;
        }
        break;
    }
    case WM_TIMER:
        if (wParam == kTimerId) deliver([&form] { form.tick(); });
        return 0;
    case WM_ACTIVATE: {
        // The default handling gives the focus to the window itself; the
        // form's activate handler comes after it, so that the focus it gives
        // stays.
        const LRESULT result = ::DefWindowProcA(hwnd, message, wParam, lParam);
        if (LOWORD(wParam) != WA_INACTIVE) deliver([&form] { form.activated(); });
        return result;
    }
    case WM_CLOSE: {
        const bool main = form.layout().name == kMainWindow;
        deliver([&form, main] {
            form.unload();
            if (main) form.terminate();
        });
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        HGDIOBJ old = ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
        for (const form::ControlLayout &s : form.layout().controls) {
            if (s.kind != Kind::Line) continue;
            ::MoveToEx(dc, px(s.left), px(s.top), nullptr);
            ::LineTo(dc, px(s.width), px(s.height));
            ::SetPixel(dc, px(s.width), px(s.height), 0); // LineTo leaves out the end point
        }
        ::SelectObject(dc, old);
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    default: break;
    }
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

} // namespace corvil::switcher::win32

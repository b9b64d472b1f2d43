#include "window_tools.h"

#include "win32_screenshot.h"

#include <cstdio>

namespace fathom_host {

namespace {

// The unit window's controls: one radio button per input choice and one
// level list per output.
constexpr int kFirstRadio[2] = {1311, 1321};
constexpr int kLevelList[2] = {1331, 1332};
// The configuration dialog's name box and serial list; the About dialog's two lines.
constexpr int kNameBox = 1373, kSerialList = 1372;
constexpr int kVersionLine = 1000, kProductLine = 1001;

// A dialog that stays up after OK (or never comes) is given this long.
constexpr ULONGLONG kDialogPatienceMs = 20000;
constexpr UINT kWatchPeriodMs = 50;

DialogDriver *gDriver = nullptr;

std::string windowText(HWND w) {
    const int length = ::GetWindowTextLengthA(w);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextA(w, text.data(), length + 1)));
    return text;
}

std::string listText(HWND list, int index) {
    const LRESULT length = ::SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    ::SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// The entry of exactly this text (CB_FINDSTRINGEXACT ignores letter case).
int findExact(HWND list, const std::string &text) {
    const int count = static_cast<int>(::SendMessageA(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (listText(list, i) == text) return i;
    return -1;
}

// A list choice as the user makes it: the selection, then the notification.
void select(HWND list, int index) {
    ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageA(::GetParent(list), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(list), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(list));
}

struct Search {
    HWND owner;
    const std::string *title;
    HWND exact = nullptr, exactHidden = nullptr, shortened = nullptr;
};

BOOL CALLBACK visitOwned(HWND w, LPARAM context) {
    auto &search = *reinterpret_cast<Search *>(context);
    if (::GetWindow(w, GW_OWNER) != search.owner || !::GetDlgItem(w, kFirstRadio[0])) return TRUE;
    const std::string text = windowText(w);
    if (text == *search.title) {
        (::IsWindowVisible(w) ? search.exact : search.exactHidden) = w;
    } else if (!text.empty() && search.title->compare(0, text.size(), text) == 0 && !search.shortened) {
        search.shortened = w;
    }
    return TRUE;
}

} // namespace

bool dispatchMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return true;
}

HWND findUnitWindow(HWND owner, const std::string &title) {
    Search search{owner, &title};
    ::EnumThreadWindows(::GetCurrentThreadId(), visitOwned, reinterpret_cast<LPARAM>(&search));
    if (search.exact) return search.exact;
    if (search.exactHidden) return search.exactHidden;
    return search.shortened;
}

UnitWindowState readUnitWindow(HWND window) {
    UnitWindowState state;
    state.visible = ::IsWindowVisible(window) != 0;
    state.title = windowText(window);
    for (int o = 0; o < 2; ++o) {
        std::string checked;
        for (int input = 0; input <= 8; ++input) {
            HWND radio = ::GetDlgItem(window, kFirstRadio[o] + input);
            if (radio && ::SendMessageA(radio, BM_GETCHECK, 0, 0) == BST_CHECKED)
                checked += (checked.empty() ? "" : "+") + std::to_string(input);
        }
        state.input[o] = checked.empty() ? "-" : checked;
        HWND list = ::GetDlgItem(window, kLevelList[o]);
        const LRESULT selected = list ? ::SendMessageA(list, CB_GETCURSEL, 0, 0) : CB_ERR;
        state.level[o] = selected == CB_ERR ? "-" : listText(list, static_cast<int>(selected));
        state.levelEnabled[o] = list && ::IsWindowEnabled(list);
    }
    ::GetWindowRect(window, &state.rect);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    if (::GetScrollInfo(window, SB_HORZ, &info)) state.scrollX = info.nPos;
    info.nPos = 0;
    if (::GetScrollInfo(window, SB_VERT, &info)) state.scrollY = info.nPos;
    return state;
}

bool clickInput(HWND window, int output, int input, std::string &error) {
    HWND radio = ::GetDlgItem(window, kFirstRadio[output - 1] + input);
    if (!radio) {
        error = "the window has no radio button " + std::to_string(kFirstRadio[output - 1] + input);
        return false;
    }
    ::SendMessageA(radio, BM_CLICK, 0, 0);
    return true;
}

bool chooseLevel(HWND window, int output, const std::string &level, std::string &error) {
    HWND list = ::GetDlgItem(window, kLevelList[output - 1]);
    if (!list) {
        error = "the window has no level list " + std::to_string(kLevelList[output - 1]);
        return false;
    }
    if (!::IsWindowEnabled(list)) {
        error = "the level list of output " + std::to_string(output) + " is disabled";
        return false;
    }
    const int index = findExact(list, level);
    if (index < 0) {
        error = "the level list of output " + std::to_string(output) + " has no entry \"" + level + "\"";
        return false;
    }
    select(list, index);
    return true;
}

void scrollBy(HWND window, bool horizontal, int lines) {
    const UINT message = horizontal ? WM_HSCROLL : WM_VSCROLL;
    const WPARAM code = lines < 0 ? SB_LINEUP : SB_LINEDOWN; // SB_LINELEFT, SB_LINERIGHT are the same codes
    for (int i = 0; i < (lines < 0 ? -lines : lines); ++i) ::SendMessageA(window, message, code, 0);
    ::SendMessageA(window, message, SB_ENDSCROLL, 0);
}

bool saveScreenshot(HWND window, const std::string &path, std::string &error) {
    ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Let the display catch up with the raise and the repaint.
    const ULONGLONG until = ::GetTickCount64() + 150;
    while (::GetTickCount64() < until && dispatchMessages()) ::Sleep(10);
    if (corvil::screenshot::save(window, path, true)) return true;
    error = "cannot save " + path;
    return false;
}

DialogDriver::DialogDriver(DialogPlan plan, const int &messagesShown)
    : plan_(std::move(plan)), messagesShown_(messagesShown), outer_(gDriver) {
    gDriver = this;
    deadline_ = ::GetTickCount64() + kDialogPatienceMs;
    timer_ = ::SetTimer(nullptr, 0, kWatchPeriodMs, &DialogDriver::onTimer);
}

DialogDriver::~DialogDriver() {
    ::KillTimer(nullptr, timer_);
    gDriver = outer_;
}

void CALLBACK DialogDriver::onTimer(HWND, UINT, UINT_PTR id, DWORD) {
    // Only the innermost watcher acts; an outer one waits for its dialog to end.
    if (gDriver && gDriver->timer_ == id) gDriver->step();
}

struct DialogSearch {
    DialogPlan::Kind kind;
    HWND found = nullptr;
};

static BOOL CALLBACK visitDialog(HWND w, LPARAM context) {
    auto &search = *reinterpret_cast<DialogSearch *>(context);
    if (!::IsWindowVisible(w) || !::IsWindowEnabled(w)) return TRUE;
    const bool configuration = ::GetDlgItem(w, kNameBox) && ::GetDlgItem(w, kSerialList);
    const bool about = ::GetDlgItem(w, kVersionLine) && ::GetDlgItem(w, kProductLine);
    if (search.kind == DialogPlan::Kind::Configuration ? configuration : about) {
        search.found = w;
        return FALSE;
    }
    return TRUE;
}

HWND DialogDriver::findDialog() const {
    DialogSearch search{plan_.kind};
    ::EnumThreadWindows(::GetCurrentThreadId(), visitDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void DialogDriver::press(HWND dialog, int id) {
    if (HWND button = ::GetDlgItem(dialog, id)) ::SendMessageA(button, BM_CLICK, 0, 0);
}

void DialogDriver::step() {
    // Pressing a button runs the dialog's handlers, which may pump messages.
    if (state_ == State::Done || stepping_) return;
    stepping_ = true;
    act();
    stepping_ = false;
}

void DialogDriver::act() {
    HWND dialog = findDialog();
    if (state_ == State::Pressed) {
        if (dialog != dialog_) {
            state_ = State::Done;
            return;
        }
        if (::GetTickCount64() > deadline_) {
            // Still up long after OK: take it down the way a user would give up.
            report_.gaveUp = true;
            press(dialog, IDCANCEL);
            state_ = State::Done;
        }
        return;
    }
    if (!dialog) {
        if (::GetTickCount64() > deadline_) {
            report_.gaveUp = true;
            state_ = State::Done;
            // Whatever took its place must not hold the host: end the active window's modal loop.
            if (HWND active = ::GetActiveWindow()) ::PostMessageA(active, WM_COMMAND, IDCANCEL, 0);
        }
        return;
    }
    dialog_ = dialog;
    report_.seen = true;
    report_.title = windowText(dialog);
    if (plan_.shot && !corvil::screenshot::save(dialog, *plan_.shot, true)) report_.shotFailed = true;
    if (plan_.kind == DialogPlan::Kind::About) {
        report_.texts = {windowText(::GetDlgItem(dialog, kVersionLine)), windowText(::GetDlgItem(dialog, kProductLine))};
        state_ = State::Done;
        press(dialog, IDOK);
        return;
    }
    HWND nameBox = ::GetDlgItem(dialog, kNameBox), serialList = ::GetDlgItem(dialog, kSerialList);
    report_.proposed = windowText(nameBox);
    const int count = static_cast<int>(::SendMessageA(serialList, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) report_.offered.push_back(listText(serialList, i));
    const LRESULT selected = ::SendMessageA(serialList, CB_GETCURSEL, 0, 0);
    report_.selected = selected == CB_ERR ? "" : listText(serialList, static_cast<int>(selected));

    if (plan_.name) ::SetWindowTextA(nameBox, plan_.name->c_str());
    if (plan_.serial) {
        const int index = findExact(serialList, *plan_.serial);
        if (index < 0) {
            report_.serialNotOffered = true;
            state_ = State::Done;
            press(dialog, IDCANCEL);
            return;
        }
        select(serialList, index);
    }
    if (plan_.cancel) {
        state_ = State::Done;
        press(dialog, IDCANCEL);
        return;
    }
    // A refusal is said with a message while OK is being handled; the
    // dialog then stays, and is cancelled as a user would give up.
    const int before = messagesShown_;
    state_ = State::Pressed;
    deadline_ = ::GetTickCount64() + kDialogPatienceMs;
    press(dialog, IDOK);
    if (messagesShown_ != before && ::IsWindow(dialog) && ::IsWindowVisible(dialog)) {
        report_.refused = true;
        state_ = State::Done;
        press(dialog, IDCANCEL);
    }
}

} // namespace fathom_host

// The modal dialogs on USER32: a dialog box from the plug-in's template,
// its controls seen by id through the core's dialog view.
#include "shell.h"

#include <vector>

namespace corvil::plugin::win32 {

namespace {

std::string windowText(HWND window) {
    const int length = window ? ::GetWindowTextLengthA(window) : 0;
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    if (length > 0) ::GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return text;
}

class DialogBoxView : public DialogView {
public:
    explicit DialogBoxView(DialogHandler &handler) : handler(handler) {}
    DialogHandler &handler;
    HWND window = nullptr;
    bool focusSet = false;

    HWND item(int id) const { return ::GetDlgItem(window, id); }
    LRESULT send(int id, UINT message, WPARAM w = 0, LPARAM l = 0) const {
        return ::SendDlgItemMessageA(window, id, message, w, l);
    }

    void setTitle(const std::string &title) override { ::SetWindowTextA(window, title.c_str()); }
    void setItemText(int id, const std::string &text) override { ::SetDlgItemTextA(window, id, text.c_str()); }
    std::string itemText(int id) override { return windowText(item(id)); }
    void listClear(int id) override { send(id, CB_RESETCONTENT); }
    void listAdd(int id, const std::string &entry) override {
        send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    }
    // The list's own search ignores letter case; serials are told apart by it.
    int listFind(int id, const std::string &entry) override {
        const int count = static_cast<int>(send(id, CB_GETCOUNT));
        for (int i = 0; i < count; ++i)
            if (listEntry(id, i) == entry) return i;
        return -1;
    }
    void listSelect(int id, int index) override { send(id, CB_SETCURSEL, static_cast<WPARAM>(index)); }
    int listSelection(int id) override {
        const LRESULT selection = send(id, CB_GETCURSEL);
        return selection == CB_ERR ? -1 : static_cast<int>(selection);
    }
    std::string listEntry(int id, int index) override {
        const LRESULT length = send(id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
        if (length == CB_ERR || length < 0) return {};
        std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
        send(id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
        return text.data();
    }
    void focus(int id) override {
        ::SetFocus(item(id));
        focusSet = true;
    }
    void end(int result) override { ::EndDialog(window, result); }
};

INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *view = reinterpret_cast<DialogBoxView *>(::GetWindowLongPtrA(window, DWLP_USER));
    try {
        switch (message) {
        case WM_INITDIALOG:
            view = reinterpret_cast<DialogBoxView *>(lParam);
            ::SetWindowLongPtrA(window, DWLP_USER, lParam);
            view->window = window;
            view->handler.onInit(*view);
            return view->focusSet ? FALSE : TRUE; // FALSE: the handler placed the focus
        case WM_COMMAND:
            if (!view || HIWORD(wParam) != BN_CLICKED) break;
            if (LOWORD(wParam) == IDOK) {
                view->handler.onOk(*view);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) { // also Escape and the close box
                view->handler.onCancel(*view);
                return TRUE;
            }
            break;
        default: break;
        }
    } catch (...) {
        // Nothing may unwind through USER32: the dialog ends as cancelled.
        ::EndDialog(window, DialogHandler::kIdCancel);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int Win32Dialogs::runModal(int templateId, HostWindow parent, DialogHandler &handler) {
    DialogBoxView view(handler);
    const INT_PTR result = ::DialogBoxParamA(instance_, MAKEINTRESOURCEA(templateId), static_cast<HWND>(parent),
                                             dialogProc, reinterpret_cast<LPARAM>(&view));
    return result <= 0 ? DialogHandler::kIdCancel : static_cast<int>(result);
}

std::string Win32Dialogs::loadString(int id) {
    char text[256] = {};
    const int n = ::LoadStringA(instance_, static_cast<UINT>(id), text, sizeof text);
    return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

} // namespace corvil::plugin::win32

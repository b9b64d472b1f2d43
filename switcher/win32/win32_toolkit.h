// Corvil Switcher's windows in plain Win32: each form of the core becomes a
// top-level window built from its layout data, its controls kept in step
// with the model; every user action goes to the model, whose handlers decide.
#pragma once

#include <windows.h>

#include <exception>
#include <map>
#include <string>
#include <vector>

#include "toolkit.h"

namespace corvil::switcher::win32 {

inline int px(int twips, int dpi = 96) { return form::twipsToPixels(twips, dpi); }

class Win32Toolkit : public Toolkit, public form::FormObserver {
public:
    explicit Win32Toolkit(HINSTANCE instance);
    ~Win32Toolkit() override;

    form::FormObserver *observer() override { return this; }
    void processPendingEvents() override;
    void waitForEvent() override;
    void messageBox(const std::string &text, const std::string &title) override;
    void stopMessage(const std::string &text) override;

    void controlChanged(form::Control &control) override;
    void formShown(form::Form &form) override;
    void formHidden(form::Form &form) override;
    void formCreated(form::Form &form) override;
    void formDestroyed(form::Form &form) override;
    void focusChanged(form::Form &form, form::Control *control) override;

    HWND window(form::Form &form) const;
    HWND control(form::Control &control) const;

    // The screen's dots per inch the windows are laid out at (the program
    // declares itself aware of it, so this is the screen's own).
    int dpi() const { return dpi_; }
    int px(int twips) const { return win32::px(twips, dpi_); }
    // Whether `text` wraps within width x height pixels in font `f` as a
    // label shows it.
    static bool fits(HFONT f, const std::string &text, int width, int height);

    // Runs a model action from a window message; an exception is kept and
    // raised again from the event pump.
    template <typename F> void deliver(F &&action) {
        try {
            action();
        } catch (...) {
            if (!pending_) pending_ = std::current_exception();
        }
    }
    LRESULT handle(form::Form &form, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct Window {
        HWND hwnd = nullptr;
        std::vector<form::Control *> controls; // by control id - 100
    };
    HFONT font(const form::Font &wanted, HFONT inherited);
    HFONT fitted(HFONT base, const std::string &text, int width, int height);
    HWND makeChild(form::Form &form, HWND parent, form::Control &control, HFONT windowFont);
    void nameForScreenReaders(HWND child, form::Control &control);
    void orderChildren(form::Form &form, std::vector<std::pair<int, HWND>> tabOrder);
    void apply(form::Control &control);
    void rethrow();
    // The main window, owner of the message boxes; null before it exists.
    HWND mainWindow() const;

    HINSTANCE instance_;
    int dpi_ = 96;
    std::map<form::Form *, Window> windows_;
    std::map<form::Control *, HWND> controls_;
    std::map<std::string, HFONT> fonts_;
    std::exception_ptr pending_;
    bool comInitialised_ = false;
};

} // namespace corvil::switcher::win32

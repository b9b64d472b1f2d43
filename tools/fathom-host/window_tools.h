// The plug-in's windows as the user meets them: a unit window found by its
// title among the host window's owned windows, its controls read and used
// the way a click or a list choice uses them, modal dialogs answered by a
// watcher on this thread, and any window saved as a picture.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace fathom_host {

// Dispatches every waiting message of this thread, as a plain message loop:
// the host knows nothing of the plug-in's windows, which see to their own
// dialog keys. False when the loop is to end: WM_QUIT is posted again for
// the outermost loop.
bool dispatchMessages();

// The unit window titled `title` among the top-level windows of this thread
// owned by `owner`; a shown one before a hidden one. A title the window
// shortened (the plug-in keeps 19 characters) matches the name's beginning.
HWND findUnitWindow(HWND owner, const std::string &title);

struct UnitWindowState {
    bool visible = false;
    std::string title;
    std::string input[2];   // the checked input choice per output: "0".."8", "-" for none, "3+5" for several
    std::string level[2];   // the level list's selected text, "-" for none
    bool levelEnabled[2] = {};
    RECT rect{};            // outer rectangle, screen coordinates
    int scrollX = 0, scrollY = 0;
};
UnitWindowState readUnitWindow(HWND window);

// The radio button of input choice `input` (0..8) of output 1 or 2, clicked.
bool clickInput(HWND window, int output, int input, std::string &error);
// The level list of output 1 or 2 set to the entry of exactly this text,
// with the selection-change notification a user's choice sends.
bool chooseLevel(HWND window, int output, const std::string &level, std::string &error);
// `lines` clicks on a scroll bar's arrow (negative: towards the start), then the end of scrolling.
void scrollBy(HWND window, bool horizontal, int lines);

// The window as it stands on the screen, raised first, as a 24-bit BMP file.
bool saveScreenshot(HWND window, const std::string &path, std::string &error);

// What the watcher does with the next modal dialog of this thread.
struct DialogPlan {
    enum class Kind { Configuration, About } kind = Kind::Configuration;
    std::optional<std::string> name;   // typed into the name box; absent: left as proposed
    std::optional<std::string> serial; // chosen in the serial list by exact text; absent: left
    bool cancel = false;               // Cancel instead of OK
    std::optional<std::string> shot;  // a screenshot of the dialog as it opened, to this BMP file
};

struct DialogReport {
    bool seen = false;
    std::string title;
    std::string proposed;               // the name box when the dialog opened
    std::string selected;               // the serial list's selection when it opened
    std::vector<std::string> offered;   // the serial list's entries
    std::vector<std::string> texts;     // About: the version and product lines
    bool serialNotOffered = false;      // the plan's serial was not in the list: cancelled
    bool refused = false;               // OK did not close it: cancelled
    bool gaveUp = false;                // no dialog came in time, or it stayed open
    bool shotFailed = false;            // the screenshot could not be saved
};

// Watches this thread's windows from a thread timer (its messages are
// dispatched by the dialog's own modal loop) while it exists.
class DialogDriver {
public:
    DialogDriver(DialogPlan plan, const int &messagesShown);
    ~DialogDriver();
    DialogDriver(const DialogDriver &) = delete;
    DialogDriver &operator=(const DialogDriver &) = delete;
    const DialogReport &report() const { return report_; }

private:
    static void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD);
    void step();
    void act();
    HWND findDialog() const;
    void press(HWND dialog, int id);

    DialogPlan plan_;
    const int &messagesShown_;
    DialogReport report_;
    UINT_PTR timer_ = 0;
    DialogDriver *outer_ = nullptr;
    HWND dialog_ = nullptr;
    enum class State { Waiting, Pressed, Done } state_ = State::Waiting;
    ULONGLONG deadline_ = 0;
    bool stepping_ = false;
};

} // namespace fathom_host

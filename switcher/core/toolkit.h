// What the switcher needs of a window toolkit beyond the form model: the
// event pump, the idle wait, the message box and the stop message.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "form.h"

namespace corvil::switcher {

class Toolkit {
public:
    virtual ~Toolkit() = default;
    // Mirrors the forms; may be null.
    virtual form::FormObserver *observer() = 0;
    // Runs every pending window event (clicks, timer ticks, repaints) and returns.
    virtual void processPendingEvents() = 0;
    // Blocks until the next window event or timer tick is pending.
    virtual void waitForEvent() = 0;
    // A message box with text, title, error icon and OK button.
    virtual void messageBox(const std::string &text, const std::string &title) = 0;
    // Shows why the program stops; the program ends after it. The windows'
    // timers stop first, and the box belongs to the main window, which takes
    // no clicks while it is shown.
    virtual void stopMessage(const std::string &text) = 0;
};

// A toolkit without windows: events are queued functions, timer ticks come
// when asked for, and a window's showing makes it the active window. Tests
// drive the program through it as a user would.
class HeadlessToolkit : public Toolkit, public form::FormObserver {
public:
    form::FormObserver *observer() override { return this; }
    void processPendingEvents() override;
    void waitForEvent() override { ++waits; }
    void messageBox(const std::string &text, const std::string &title) override {
        messages.push_back(title + ": " + text);
    }
    // Like a real box's own event loop, the stop message runs whatever
    // events are still pending while it is shown.
    void stopMessage(const std::string &text) override;

    // Queues a window event (a user's action, a timer tick).
    void post(std::function<void()> event) { events_.push_back(std::move(event)); }

    void controlChanged(form::Control &) override {}
    void formShown(form::Form &form) override;
    void formHidden(form::Form &) override {}
    void formCreated(form::Form &) override {}
    void formDestroyed(form::Form &) override {}
    void focusChanged(form::Form &form, form::Control *control) override { focused[&form] = control; }

    int waits = 0;
    // The control with the keyboard focus in each window, as a toolkit keeps
    // it: the program sets it, and the user moves it (Tab, clicks) without
    // the program's knowing.
    std::map<const form::Form *, form::Control *> focused;
    std::vector<std::string> messages, stops;

private:
    std::deque<std::function<void()>> events_;
};

} // namespace corvil::switcher
